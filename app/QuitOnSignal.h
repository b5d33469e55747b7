#pragma once
// Turns SIGINT and SIGTERM into a Qt signal in the main thread, so that
// Ctrl-C or a kill at the end of a night run ends the work the normal way:
// slices in progress finish and every thread is waited for.  A second signal
// ends the process at once with status 128 + its number.
#include <QObject>

class QSocketNotifier;

class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    // Catches the signals from now on; one that arrives before an object
    // exists is kept and reported by the first one made.  Call it before
    // anything slow (the application object, the window).
    static void install();

    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

    // The first signal caught (0: none).
    static int received();

signals:
    void requested(int signalNumber);

private slots:
    void readSignal();

private:
    QSocketNotifier* notifier = nullptr;
};
