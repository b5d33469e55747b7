#pragma once
// The log inside the window: every message the program writes, newest at the
// bottom, its warnings (zuvo2.* categories) on yellow and errors (critical
// messages of any source) on red, with their counts.  Lines
// come from the log relay as queued calls, whatever thread wrote them.
#include "LogRelay.h"

#include <QFrame>

class QLabel;
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
    // Empties the panel and sets both counts back to 0.
    void clearMessages();

private:
    int warnings = 0;
    int errors = 0;
};
