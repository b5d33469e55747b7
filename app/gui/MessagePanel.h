#pragma once
// The log inside the window: every message the program writes, newest at the
// bottom, its warnings (zuvo2.* categories) on yellow and errors (critical
// messages of any source) on red, with their counts.  Lines
// come from the log relay as queued calls, whatever thread wrote them.
#include "LogRelay.h"

#include <QFrame>

class QLabel;
class QTextCharFormat;
class QPlainTextEdit;
class QPushButton;

class MessagePanel : public QFrame
{
    Q_OBJECT
public:
    explicit MessagePanel(QWidget* parent = nullptr);

    int warningCount() const { return warnings; }
    int errorCount() const { return errors; }
    // Lines kept; older ones scroll away.  Default 5000.
    void setMaximumLines(int n);

    QPlainTextEdit* view = nullptr;
    QPushButton* clearButton = nullptr;

signals:
    void countsChanged(int warnings, int errors);

public slots:
    void append(const LogLine& line);
    // Many lines in one edit: only the last lines kept are laid out.
    void appendLines(const QList<LogLine>& lines);
    // Empties the panel and sets both counts back to 0.
    void clearMessages();

private:
    // The line's format; false when the line is not counted.
    bool classify(const LogLine& line, QTextCharFormat* f);
    int maxLines = 5000;
    int warnings = 0;
    int errors = 0;
};
