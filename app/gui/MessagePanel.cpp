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
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(clearButton);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(2);
    box->addWidget(view);
    box->addLayout(row);
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
