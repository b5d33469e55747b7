#include "Failures.h"

#include "Logging.h"

#include <QStringList>

#include <atomic>

namespace {
std::atomic<int> counts[Failures::KindCount];

const char* kindName(Failures::Kind k)
{
    switch (k) {
    case Failures::Command: return "command";
    case Failures::Load: return "load";
    case Failures::Run: return "run";
    case Failures::Write: return "write";
    default: return "other";
    }
}
} // namespace

void Failures::record(Kind k, const QString& message)
{
    if (k < 0 || k >= KindCount)
        return;
    ++counts[k];
    if (message.isEmpty())
        return;
    switch (k) {
    case Command: qCWarning(lcBatch).noquote() << message; break;
    case Load: qCWarning(lcData).noquote() << message; break;
    default: qCWarning(lcCt).noquote() << message; break;
    }
}

int Failures::count(Kind k)
{
    return k >= 0 && k < KindCount ? counts[k].load() : 0;
}

int Failures::total()
{
    int n = 0;
    for (const auto& c : counts)
        n += c.load();
    return n;
}

QString Failures::summary()
{
    const int n = total();
    if (n == 0)
        return {};
    QStringList parts;
    for (int k = 0; k < KindCount; ++k)
        if (counts[k] > 0)
            parts << QStringLiteral("%1 %2").arg(counts[k].load()).arg(QLatin1String(kindName(Kind(k))));
    return QStringLiteral("%1 failure%2: %3").arg(n).arg(n == 1 ? "" : "s").arg(parts.join(QStringLiteral(", ")));
}

void Failures::reset()
{
    for (auto& c : counts)
        c = 0;
}
