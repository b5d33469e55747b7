#include "DataText.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int maxPower = 300;

// 10^k for |k| <= maxPower, each the double nearest to it.
struct Powers
{
    double p[2 * maxPower + 1];
    Powers()
    {
        for (int k = -maxPower; k <= maxPower; ++k)
            p[k + maxPower] = std::strtod(("1e" + std::to_string(k)).c_str(), nullptr);
    }
    double operator()(int k) const { return p[k + maxPower]; }
};

const Powers power;

const char pairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                     "8081828384858687888990919293949596979899";

inline char* twoDigits(char* out, int v)
{
    std::memcpy(out, pairs + 2 * v, 2);
    return out + 2;
}

// The stream's own formatting, for what the fast way cannot decide.
char* slow(char* out, double v)
{
    const QByteArray t = QString::number(v, 'g', 6).toLatin1();
    std::memcpy(out, t.constData(), size_t(t.size()));
    return out + t.size();
}

} // namespace

char* DataText::appendInteger(char* out, long long v)
{
    char tmp[24];
    char* p = tmp + sizeof tmp;
    unsigned long long u = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
        *--p = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0)
        *out++ = '-';
    const size_t len = size_t(tmp + sizeof tmp - p);
    std::memcpy(out, p, len);
    return out + len;
}

char* DataText::appendNumber(char* out, double v)
{
    if (v == 0.0) {
        *out++ = '0';
        return out;
    }
    if (std::isnan(v)) {
        std::memcpy(out, "nan", 3);
        return out + 3;
    }
    if (std::isinf(v)) {
        if (v < 0)
            *out++ = '-';
        std::memcpy(out, "inf", 3);
        return out + 3;
    }
    const double a = std::fabs(v);
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    const int e2 = int(bits >> 52) - 1023;
    // 10^e <= a < 10^(e + 2), from the binary exponent.
    int e = static_cast<int>(std::floor(e2 * 0.30102999566398120));
    if (e < 5 - maxPower + 1 || e > maxPower - 6)
        return slow(out, v);
    // Six digits before the point.  s is off by at most a few units in its
    // last place (< 1e-9), so unless it lies next to a half its rounding is
    // the exact value's; next to a half (ties included) the stream decides.
    double s = a * power(5 - e);
    if (s >= 1e6) {
        ++e;
        s = a * power(5 - e);
    }
    const double r = std::floor(s);
    const double frac = s - r;
    if (!(s >= 99999.5 && s < 1e6) || std::fabs(frac - 0.5) < 1e-6)
        return slow(out, v);
    int d = static_cast<int>(r) + (frac > 0.5 ? 1 : 0);
    if (d == 1000000) {
        d = 100000;
        ++e;
    }
    char dig[6];
    twoDigits(dig, d / 10000);
    twoDigits(dig + 2, d / 100 % 100);
    twoDigits(dig + 4, d % 100);
    int nz = 6;
    while (dig[nz - 1] == '0')
        --nz;
    if (v < 0)
        *out++ = '-';
    if (e < -4 || e >= 6) {
        *out++ = dig[0];
        if (nz > 1) {
            *out++ = '.';
            std::memcpy(out, dig + 1, size_t(nz - 1));
            out += nz - 1;
        }
        *out++ = 'e';
        *out++ = e < 0 ? '-' : '+';
        int x = e < 0 ? -e : e;
        if (x >= 100) {
            *out++ = char('0' + x / 100);
            x %= 100;
        }
        return twoDigits(out, x);
    }
    if (e >= 0) {
        std::memcpy(out, dig, size_t(e + 1));
        out += e + 1;
        if (nz > e + 1) {
            *out++ = '.';
            std::memcpy(out, dig + e + 1, size_t(nz - e - 1));
            out += nz - e - 1;
        }
        return out;
    }
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < -e - 1; ++i)
        *out++ = '0';
    std::memcpy(out, dig, size_t(nz));
    return out + nz;
}
