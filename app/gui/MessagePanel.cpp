#include "MessagePanel.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

MessagePanel::MessagePanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("MessagePanel"));
    view = new QPlainTextEdit(this);
    view->setObjectName(QStringLiteral("Messages"));
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setMaximumBlockCount(5000);
    view->setFont(QFont(QStringLiteral("monospace")));
    clearButton = new QPushButton(tr("Clear"), this);
    clearButton->setObjectName(QStringLiteral("ClearMessages"));
    // The button beside the lines: every pixel of height goes to the images.
    auto* side = new QVBoxLayout;
    side->addWidget(clearButton);
    side->addStretch();
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(4);
    box->addWidget(view, 1);
    box->addLayout(side);
    connect(clearButton, &QPushButton::clicked, this, &MessagePanel::clearMessages);
}

void MessagePanel::setMaximumLines(int n)
{
    maxLines = n;
    view->setMaximumBlockCount(n);
}

bool MessagePanel::classify(const LogLine& line, QTextCharFormat* f)
{
    switch (line.type) {
    case QtWarningMsg:
        // The program's own warnings are its failures.
        if (!line.category.startsWith(QLatin1String("zuvo2.")))
            return false;
        f->setBackground(QColor(255, 240, 160));
        ++warnings;
        return true;
    case QtCriticalMsg:
    case QtFatalMsg:
        f->setBackground(QColor(255, 190, 190));
        f->setFontWeight(QFont::Bold);
        ++errors;
        return true;
    default:
        return false;
    }
}

void MessagePanel::append(const LogLine& line)
{
    appendLines({line});
}

void MessagePanel::appendLines(const QList<LogLine>& lines)
{
    if (lines.isEmpty())
        return;
    // Follow the end only when the reader is there already.
    QScrollBar* bar = view->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    // Lines that would scroll away at once are counted but never laid out.
    const qsizetype shown = maxLines > 0 ? std::max<qsizetype>(0, lines.size() - maxLines) : 0;
    bool counted = false;
    QTextCursor c(view->document());
    c.beginEditBlock();
    c.movePosition(QTextCursor::End);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QTextCharFormat f;
        counted = classify(lines.at(i), &f) || counted;
        if (i < shown)
            continue;
        if (!view->document()->isEmpty())
            c.insertBlock(QTextBlockFormat(), QTextCharFormat());
        c.insertText(lines.at(i).when.toString(QStringLiteral("hh:mm:ss ")) + lines.at(i).text, f);
    }
    c.endEditBlock();
    if (atEnd)
        bar->setValue(bar->maximum());
    if (counted)
        emit countsChanged(warnings, errors);
}

void MessagePanel::clearMessages()
{
    view->clear();
    warnings = errors = 0;
    emit countsChanged(0, 0);
}
