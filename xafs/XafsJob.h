#pragma once
// One long XAFS computation (a stack's maps, fits, classes) run by a worker
// living in a thread of its own, so that the window stays responsive and can
// offer Cancel.
// While it runs, the session it works on belongs to it: the window reads
// neither the session nor its results until finished() has arrived.
#include "XafsProgress.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;
class XafsWorker;

class XafsJob : public QObject
{
    Q_OBJECT
public:
    // The work: true when done, else false with why.
    using Work = std::function<bool(XafsProgress* progress, QString& why, int& kind)>;

    explicit XafsJob(QObject* parent = nullptr);
    ~XafsJob() override;

    // Starts work in a new thread; false when a job is still running.
    bool start(const QString& what, Work work);
    bool busy() const { return running.load(); }
    void cancel() { progress.cancel = true; }
    // Cancels the work in hand and waits for it; nothing starts afterwards.
    void end();
    const QString& title() const { return name; }
    XafsProgress progress;

signals:
    void started();
    // In the thread that owns this object, after the work has ended.
    void finished(bool ok, int kind, const QString& why);

private:
    void workDone(bool ok, int kind, const QString& why);

    std::atomic<bool> running{false};
    QThread* thread = nullptr;
    XafsWorker* worker = nullptr;
    QString name;
};
