// ThreadSanitizer builds only, linked into every program.  Qt from the
// distribution is not instrumented, so the locks that order a queued signal
// before its slot are invisible to the runtime, and every value handed
// through a queued connection would be reported as a race.  This tells it what
// Qt guarantees: emitting a signal or queueing a call releases, delivering an
// event acquires, and a queued functor releases when it has run (for the
// caller of a blocking call); a thread releases when it finishes and
// QThread::wait acquires (Qt's threads are detached and their end is
// announced through its own locks).  One clock serves all threads: it can hide a
// race between accesses that some later signal orders anyway, but it never
// invents one, and accesses no signal orders are still reported.
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QVariant>

#include <dlfcn.h>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();

namespace {

char qtClock;

template <class Fn>
Fn next(const char* symbol)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, symbol));
}

// Depth of emitting or queueing in this thread.  Qt allocates the event and
// the copies of the arguments inside the call, after the release before it:
// each such allocation releases again, so the receiver sees it made.
thread_local int posting = 0;


class Posting
{
public:
    Posting()
    {
        __tsan_release(&qtClock);
        ++posting;
    }
    ~Posting()
    {
        --posting;
        __tsan_acquire(&qtClock);
    }
};

bool onEvent(void**)
{
    __tsan_acquire(&qtClock);
    // Publishes what this thread did in its previous event handlers.
    __tsan_release(&qtClock);
    return false;
}

struct Install
{
    Install()
    {
        QInternal::registerCallback(QInternal::EventNotifyCallback, onEvent);
    }
} install;

// Runs a queued functor between an acquire and a release.
class Fenced : public QtPrivate::QSlotObjectBase
{
public:
    explicit Fenced(QtPrivate::QSlotObjectBase* s) : QSlotObjectBase(&impl), inner(s) {}

private:
    static void impl(int which, QSlotObjectBase* self, QObject* r, void** a, bool* ret)
    {
        auto* f = static_cast<Fenced*>(self);
        switch (which) {
        case Destroy:
            // Possibly in the caller's thread, after the call ran elsewhere.
            __tsan_acquire(&qtClock);
            f->inner->destroyIfLastRef();
            delete f;
            break;
        case Call:
            __tsan_acquire(&qtClock);
            f->inner->call(r, a);
            __tsan_release(&qtClock);
            break;
        default:
            if (ret)
                *ret = false;
        }
    }
    QSlotObjectBase* inner;
};

} // namespace

// Called by the runtime after every allocation (the hook-installing function
// of gcc 12's runtime never calls its hooks; this one it does).
extern "C" void __sanitizer_malloc_hook(const volatile void*, size_t)
{
    if (posting > 0)
        __tsan_release(&qtClock);
}

// Our calls to these reach the wrappers; Qt's own calls inside its library
// do not, which is fine: what they hand over is Qt's business.
void QMetaObject::activate(QObject* sender, const QMetaObject* m, int index, void** argv)
{
    using Fn = void (*)(QObject*, const QMetaObject*, int, void**);
    static const Fn real = next<Fn>("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    Posting p;
    real(sender, m, index, argv);
}

void QMetaObject::activate(QObject* sender, int index, void** argv)
{
    using Fn = void (*)(QObject*, int, void**);
    static const Fn real = next<Fn>("_ZN11QMetaObject8activateEP7QObjectiPPv");
    Posting p;
    real(sender, index, argv);
}

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot,
                                   Qt::ConnectionType type, void* ret)
{
    using Fn = bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*);
    static const Fn real = next<Fn>(
        "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv");
    auto* fenced = new Fenced(slot);
    Posting p;
    // A queued call only appends to the receiver's event list, under Qt's
    // own lock; two threads posting at once would look like a race on it.
    // Nothing of ours runs inside, so nothing of ours goes unchecked.
    const bool queued = type == Qt::QueuedConnection;
    if (queued)
        __tsan_ignore_thread_begin();
    const bool ok = real(object, fenced, type, ret);
    if (queued)
        __tsan_ignore_thread_end();
    return ok;
}

void QThread::start(Priority priority)
{
    using Fn = void (*)(QThread*, Priority);
    static const Fn real = next<Fn>("_ZN7QThread5startENS_8PriorityE");
    if (!property("zuvo2TsanFenced").toBool()) {
        setProperty("zuvo2TsanFenced", true);
        // Emitted in the ending thread after its event loop has returned.
        connect(this, &QThread::finished, this, [] { __tsan_release(&qtClock); },
                Qt::DirectConnection);
    }
    __tsan_release(&qtClock);
    real(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    using Fn = bool (*)(QThread*, QDeadlineTimer);
    static const Fn real = next<Fn>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ok = real(this, deadline);
    __tsan_acquire(&qtClock);
    return ok;
}
