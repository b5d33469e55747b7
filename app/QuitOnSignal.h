#pragma once
// Turns SIGINT and SIGTERM into a Qt signal in the GUI thread, so that Ctrl-C
// or a kill at the end of a night run closes the window the normal way:
// slices in progress finish and every thread is waited for.
#include <QObject>

class QSocketNotifier;

class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

signals:
    void requested(int signalNumber);

private slots:
    void readSignal();

private:
    QSocketNotifier* notifier = nullptr;
};
