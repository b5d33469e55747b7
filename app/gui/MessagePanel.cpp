#include "MessagePanel.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

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
    view->setMaximumBlockCount(n);
}

void MessagePanel::append(const LogLine& line)
{
    QTextCharFormat f;
    bool counted = true;
    switch (line.type) {
    case QtWarningMsg:
        // The program's own warnings are its failures; Qt's (a platform
        // plugin's remarks) are shown, grey and uncounted.
        if (!line.category.startsWith(QLatin1String("zuvo2."))) {
            f.setForeground(QColor(110, 110, 110));
            counted = false;
            break;
        }
        ++warnings;
        f.setBackground(QColor(255, 240, 160));
        break;
    case QtCriticalMsg:
    case QtFatalMsg:
        ++errors;
        f.setBackground(QColor(255, 190, 190));
        f.setFontWeight(QFont::Bold);
        break;
    default:
        counted = false;
        break;
    }
    // Follow the end only when the reader is there already.
    QScrollBar* bar = view->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    QTextCursor c(view->document());
    c.movePosition(QTextCursor::End);
    if (!view->document()->isEmpty())
        c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    c.insertText(line.when.toString(QStringLiteral("hh:mm:ss ")) + line.text, f);
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
