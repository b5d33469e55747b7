#include "QuitOnSignal.h"

#include "Logging.h"
#include <QDebug>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int fds[2] = {-1, -1};
std::atomic<int> firstSignal{0};

// Only async-signal-safe work here: one byte into the socket, or the end.
void onSignal(int sig)
{
    int none = 0;
    if (!firstSignal.compare_exchange_strong(none, sig))
        ::_exit(128 + sig);
    const char c = char(sig);
    [[maybe_unused]] ssize_t n = ::write(fds[0], &c, 1);
}
} // namespace

void QuitOnSignal::install()
{
    if (fds[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        fds[0] = fds[1] = -1;
        qCDebug(lcApp).noquote() << QStringLiteral("Can't watch for quit signals");
        return;
    }
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

int QuitOnSignal::received()
{
    return firstSignal;
}

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent)
{
    install();
    if (fds[1] < 0)
        return;
    notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignal::readSignal);
}

QuitOnSignal::~QuitOnSignal()
{
    if (!notifier)
        return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::close(fds[0]);
    ::close(fds[1]);
    fds[0] = fds[1] = -1;
}

void QuitOnSignal::readSignal()
{
    char c = 0;
    if (::read(fds[1], &c, 1) == 1) {
        qCDebug(lcApp).noquote() << QStringLiteral("Signal %1 received, closing").arg(int(c));
        emit requested(int(c));
    }
}
