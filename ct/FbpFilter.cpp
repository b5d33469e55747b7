#include "FbpFilter.h"

#include <cmath>
#include <iterator>

namespace {

constexpr double pi = 3.141592653589793;

// x is the frequency as a fraction of the cutoff, 0 .. 1.
double flat(double)
{
    return 1.0;
}
double sheppLogan(double x)
{
    const double a = 0.5 * pi * x;
    return a == 0.0 ? 1.0 : std::sin(a) / a;
}
double cosine(double x)
{
    return std::cos(0.5 * pi * x);
}
double hamming(double x)
{
    return 0.54 + 0.46 * std::cos(pi * x);
}
double hann(double x)
{
    return 0.5 + 0.5 * std::cos(pi * x);
}

struct Entry
{
    const char* name;
    bool padded;
    double (*window)(double);
};

const Entry table[] = {
    {"ramp", true, flat},
    {"shepp-logan", true, sheppLogan},
    {"cosine", true, cosine},
    {"hamming", true, hamming},
    {"hann", true, hann},
    {"ramp-unpadded", false, flat},
};

const Entry* find(const QString& name)
{
    for (const Entry& e : table)
        if (name == QLatin1String(e.name))
            return &e;
    return nullptr;
}

bool smooth7(long long v)
{
    for (int f : {2, 3, 5, 7})
        while (v % f == 0)
            v /= f;
    return v == 1;
}

} // namespace

QStringList FbpFilter::names()
{
    QStringList l;
    for (const Entry& e : table)
        l << QLatin1String(e.name);
    return l;
}

bool FbpFilter::padded() const
{
    const Entry* e = find(name);
    return !e || e->padded;
}

QString FbpFilter::text() const
{
    return cutoff == 1.0 ? name : name + QLatin1Char(':') + QString::number(cutoff, 'g', 6);
}

int FbpFilter::transformLength(int n) const
{
    return padded() ? paddedLength(n) : n;
}

double FbpFilter::window(double f) const
{
    const Entry* e = find(name);
    if (!e || !(cutoff > 0) || f > cutoff)
        return 0.0;
    return e->window(f / cutoff);
}

bool FbpFilter::make(const QString& n, double c, FbpFilter& out, QString* why)
{
    const Entry* e = find(n);
    QString error;
    if (!e)
        error = QStringLiteral("unknown filter \"%1\" (known: %2)").arg(n, names().join(QStringLiteral(", ")));
    else if (!(c > 0.0 && c <= 1.0))
        error = QStringLiteral("cutoff %1 is not above 0 and at most 1").arg(c);
    else if (!e->padded && c != 1.0)
        error = QStringLiteral("%1 takes no cutoff").arg(n);
    if (!error.isEmpty()) {
        if (why)
            *why = error;
        return false;
    }
    out.name = n;
    out.cutoff = c;
    return true;
}

bool FbpFilter::parse(const QString& text, FbpFilter& out, QString* why)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    double c = 1.0;
    if (parts.size() > 2 || parts.value(0).isEmpty()) {
        if (why)
            *why = QStringLiteral("\"%1\" is not NAME[:CUTOFF]").arg(text);
        return false;
    }
    if (parts.size() == 2) {
        bool ok = false;
        c = parts[1].toDouble(&ok);
        if (!ok || !std::isfinite(c)) {
            if (why)
                *why = QStringLiteral("cutoff \"%1\" is not a number").arg(parts[1]);
            return false;
        }
    }
    return make(parts[0], c, out, why);
}

int FbpFilter::paddedLength(int n)
{
    if (n < 1)
        return 0;
    for (long long v = n; 2 * v <= 0x7fffffff; ++v)
        if (smooth7(v))
            return int(2 * v);
    return 0;
}

void FbpFilter::rampKernel(double* out, int m)
{
    for (int k = 0; k < m; ++k)
        out[k] = 0.0;
    if (m < 2)
        return;
    out[0] = 0.25;
    for (int k = 1; k <= m / 2; k += 2) {
        const double v = -1.0 / (pi * pi * double(k) * double(k));
        out[k] = v;
        out[m - k] = v;
    }
}
