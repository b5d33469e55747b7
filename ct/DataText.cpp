#include "DataText.h"

#include "InstructionSet.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZUVO2_DATATEXT_X86 1
#endif

namespace {

constexpr int maxPower = 300;  // beyond |e2| = 900 the stream formats

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

namespace {

// Writes v, whose six digit characters are `digits` (the first in the low
// byte, the last not counted when it is 0) and whose decimal exponent is e.
__attribute__((always_inline)) inline char* assemble(char* out, double v, std::uint64_t digits, int e)
{
    // Significant digits: trailing '0's are the leading zero bytes of the
    // digits' values (the first digit is never 0).
    const int nz = 8 - __builtin_clzll(digits ^ 0x303030303030ULL) / 8;
    auto put = [](char* at, std::uint64_t word) { std::memcpy(at, &word, 8); };
    *out = '-';
    out += v < 0;
    // Words of eight bytes are stored whole; only the significant bytes are
    // kept (the caller leaves maxChars of room).
    if (e < -4 || e >= 6) {
        put(out, (digits & 0xff) | std::uint64_t('.') << 8 | (digits >> 8) << 16);
        out += nz > 1 ? nz + 1 : 1;
        *out++ = 'e';
        *out++ = e < 0 ? '-' : '+';
        int x = e < 0 ? -e : e;
        if (x >= 100) {
            *out++ = char('0' + x / 100);
            x %= 100;
        }
        return twoDigits(out, x);
    }
    // Plain, without a branch that random data would mispredict: below 1
    // "0." and -e - 1 zeros, then the digits (a point put after them is not
    // kept); from 1 on the digits with a point after digit e.
    std::uint64_t zeros;
    std::memcpy(&zeros, "0.000000", 8);
    put(out, zeros);
    out += e < 0 ? 1 - e : 0;
    const int point = e < 0 ? 6 : e + 1;
    const int shift = 8 * point;
    put(out, (digits & ((std::uint64_t(1) << shift) - 1)) | std::uint64_t('.') << shift
                 | (digits >> shift) << (shift + 8));
    const int plainLength = nz > point ? nz + 1 : point;
    return out + (e < 0 ? nz : plainLength);
}

// GCC 12 takes the placeholder operand inside its own AVX-512 intrinsics
// (_mm512_undefined_*) for an uninitialised value.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#ifdef ZUVO2_DATATEXT_X86
// The digits and exponents of eight numbers at once; bit i of the result
// is set when number i was done here.  The exponent is settled from the
// scaled value rather than from the next power of ten, but a wrong one can
// only give a value outside the six-digit range, which is left to
// appendNumber.
__attribute__((target("avx512f,avx512dq"), always_inline))
inline unsigned prepareAvx512(const double* v, std::uint64_t* digits, std::int64_t* exps)
{
    const __m512d x = _mm512_loadu_pd(v);
    const __m512i biased = _mm512_and_si512(_mm512_srli_epi64(_mm512_castpd_si512(x), 52), _mm512_set1_epi64(0x7ff));
    const __m512i e2 = _mm512_sub_epi64(biased, _mm512_set1_epi64(1023));
    // Normal numbers with |e2| <= 900 (zero, subnormals, infinities and NaN fail).
    __mmask8 ok = _mm512_cmple_epu64_mask(_mm512_add_epi64(e2, _mm512_set1_epi64(900)), _mm512_set1_epi64(1800));
    __m512i e = _mm512_maskz_mov_epi64(ok, _mm512_srai_epi64(_mm512_mullo_epi64(e2, _mm512_set1_epi64(78913)), 18));
    const __m512d a = _mm512_abs_pd(x);
    // Both scales at once (the gathers overlap): a 10^(5 - e), and when that
    // reaches 10^6, a 10^(4 - e) with e one up.
    const __m512i k = _mm512_sub_epi64(_mm512_set1_epi64(maxPower + 5), e);
    const __m512d s0 = _mm512_mul_pd(a, _mm512_i64gather_pd(k, power.p, 8));
    const __m512d s1 = _mm512_mul_pd(a, _mm512_i64gather_pd(_mm512_sub_epi64(k, _mm512_set1_epi64(1)), power.p, 8));
    const __mmask8 up = _mm512_cmp_pd_mask(s0, _mm512_set1_pd(1e6), _CMP_GE_OQ);
    e = _mm512_mask_add_epi64(e, up, e, _mm512_set1_epi64(1));
    const __m512d s = _mm512_mask_mov_pd(s0, up, s1);
    const __m512d r = _mm512_roundscale_pd(s, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m512d frac = _mm512_sub_pd(s, r);
    ok &= _mm512_cmp_pd_mask(s, _mm512_set1_pd(100000.0), _CMP_GE_OQ)
          & _mm512_cmp_pd_mask(s, _mm512_set1_pd(999999.5), _CMP_LT_OQ)
          & _mm512_cmp_pd_mask(_mm512_abs_pd(_mm512_sub_pd(frac, _mm512_set1_pd(0.5))), _mm512_set1_pd(1e-6), _CMP_GE_OQ);
    const __m512d d = _mm512_mask_add_pd(r, _mm512_cmp_pd_mask(frac, _mm512_set1_pd(0.5), _CMP_GT_OQ), r, _mm512_set1_pd(1.0));
    // Digit k of d is floor(d / 10^(5 - k)) - 10 floor(d / 10^(6 - k)); with
    // d + 0.5 the quotients are never near a whole number, so a product
    // with the rounded 10^-j floors right.
    const __m512d h = _mm512_add_pd(d, _mm512_set1_pd(0.5));
    const __m512d ten = _mm512_set1_pd(10.0);
    __m512d prev = _mm512_setzero_pd();
    __m512i word = _mm512_set1_epi64(0x303030303030LL);
    const double inv[6] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1.0};
    for (int k = 0; k < 6; ++k) {
        const __m512d q = k < 5 ? _mm512_roundscale_pd(_mm512_mul_pd(h, _mm512_set1_pd(inv[k])), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC) : d;
        const __m512i digit = _mm512_cvttpd_epi64(_mm512_fnmadd_pd(prev, ten, q));
        word = _mm512_add_epi64(word, _mm512_slli_epi64(digit, unsigned(8 * k)));
        prev = q;
    }
    _mm512_storeu_si512(digits, word);
    _mm512_storeu_si512(exps, e);
    return ok;
}
#endif
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#ifdef ZUVO2_DATATEXT_X86
// The AVX-512 way four numbers at a time: AVX2 has no 64-bit arithmetic
// shift and no conversion of doubles to 64-bit integers, so the exponent
// comes from a 32-bit shift (the products fit in 32 bits, their high halves
// are sign bits) and the six digits are summed as whole numbers in a double
// (below 2^48, exactly) whose mantissa then holds the word.
__attribute__((target("avx2,fma"), always_inline))
inline void digitsAvx2Four(__m256d x, __m256i& digits, __m256i& exps, __m256i& ready, __m256i* plainKey = nullptr,
                           __m256i* plain = nullptr)
{
    const __m256i biased = _mm256_and_si256(_mm256_srli_epi64(_mm256_castpd_si256(x), 52), _mm256_set1_epi64x(0x7ff));
    const __m256i shifted = _mm256_add_epi64(biased, _mm256_set1_epi64x(900 - 1023));
    // Normal numbers with |e2| <= 900: 0 <= e2 + 900 <= 1800.
    const __m256i okE = _mm256_andnot_si256(_mm256_cmpgt_epi64(_mm256_setzero_si256(), shifted),
                                            _mm256_cmpgt_epi64(_mm256_set1_epi64x(1801), shifted));
    const __m256i e2 = _mm256_sub_epi64(shifted, _mm256_set1_epi64x(900));
    __m256i e = _mm256_and_si256(_mm256_srai_epi32(_mm256_mul_epi32(e2, _mm256_set1_epi64x(78913)), 18), okE);
    const __m256d a = _mm256_and_pd(x, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL)));
    const __m256i k = _mm256_sub_epi64(_mm256_set1_epi64x(maxPower + 5), e);
    const __m256d s0 = _mm256_mul_pd(a, _mm256_i64gather_pd(power.p, k, 8));
    // A tenth of it rather than a second gather (these processors fetch a
    // gather's elements one by one): two roundings instead of one, still far
    // within the 1e-6 from a half that the checks below leave to appendNumber.
    const __m256d s1 = _mm256_mul_pd(s0, _mm256_set1_pd(0.1));
    const __m256d up = _mm256_cmp_pd(s0, _mm256_set1_pd(1e6), _CMP_GE_OQ);
    e = _mm256_sub_epi64(e, _mm256_castpd_si256(up));  // all ones: one up
    const __m256d s = _mm256_blendv_pd(s0, s1, up);
    const __m256d r = _mm256_round_pd(s, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d frac = _mm256_sub_pd(s, r);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    __m256d ok = _mm256_and_pd(_mm256_castsi256_pd(okE), _mm256_cmp_pd(s, _mm256_set1_pd(100000.0), _CMP_GE_OQ));
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(s, _mm256_set1_pd(999999.5), _CMP_LT_OQ));
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(frac, half), absMask), _mm256_set1_pd(1e-6),
                                         _CMP_GE_OQ));
    const __m256d d = _mm256_add_pd(r, _mm256_and_pd(_mm256_cmp_pd(frac, half, _CMP_GT_OQ), _mm256_set1_pd(1.0)));
    const __m256d h = _mm256_add_pd(d, half);
    const __m256d ten = _mm256_set1_pd(10.0);
    const __m256d twoTo52 = _mm256_set1_pd(4503599627370496.0);
    __m256d prev = _mm256_setzero_pd();
    __m256d word = twoTo52;
    const double inv[6] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1.0};
    for (int j = 0; j < 6; ++j) {
        const __m256d q = j < 5 ? _mm256_floor_pd(_mm256_mul_pd(h, _mm256_set1_pd(inv[j]))) : d;
        const __m256d digit = _mm256_fnmadd_pd(prev, ten, q);
        word = _mm256_fmadd_pd(digit, _mm256_set1_pd(double(std::uint64_t(1) << (8 * j))), word);
        prev = q;
    }
    const __m256i chars = _mm256_add_epi64(_mm256_sub_epi64(_mm256_castpd_si256(word), _mm256_castpd_si256(twoTo52)),
                                           _mm256_set1_epi64x(0x303030303030LL));
    digits = chars;
    exps = e;
    ready = _mm256_castpd_si256(ok);
    if (plainKey) {
        // The digits' values as a number below 2^48: the byte of its highest
        // set bit is the last significant digit.
        // Its binary exponent is 8 (nz - 1) + 0 .. 3 (a digit is below 16).
        const __m256i top = _mm256_srli_epi64(
            _mm256_sub_epi64(_mm256_castpd_si256(_mm256_sub_pd(word, twoTo52)), _mm256_set1_epi64x(1023LL << 52)),
            52 + 3);
        const __m256i sign = _mm256_srli_epi64(_mm256_castpd_si256(x), 63);
        // ((e + 4) 7 + nz) 2 + sign with nz = top + 1.
        *plainKey = _mm256_add_epi64(_mm256_add_epi64(_mm256_mul_epi32(e, _mm256_set1_epi64x(14)), sign),
                                     _mm256_add_epi64(_mm256_slli_epi64(top, 1), _mm256_set1_epi64x(56 + 2)));
        // Both zeros are "0", entry 0 (the others start at 2).
        const __m256i zero = _mm256_castpd_si256(_mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_EQ_OQ));
        *plainKey = _mm256_andnot_si256(zero, *plainKey);
        const __m256i inRange =
            _mm256_andnot_si256(_mm256_cmpgt_epi64(e, _mm256_set1_epi64x(5)), _mm256_cmpgt_epi64(e, _mm256_set1_epi64x(-5)));
        *plain = _mm256_or_si256(zero, _mm256_and_si256(ready, inRange));
    }
}

__attribute__((target("avx2,fma"), always_inline))
inline unsigned prepareAvx2Four(const double* v, std::uint64_t* digits, std::int64_t* exps)
{
    __m256i d, e, ok;
    digitsAvx2Four(_mm256_loadu_pd(v), d, e, ok);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(digits), d);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(exps), e);
    return unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(ok)));
}

__attribute__((target("avx2,fma"), always_inline))
inline unsigned prepareAvx2(const double* v, std::uint64_t* digits, std::int64_t* exps)
{
    return prepareAvx2Four(v, digits, exps) | prepareAvx2Four(v + 4, digits + 4, exps + 4) << 4;
}
#endif

// Eight numbers at once on this processor, or none.
using PrepareFn = unsigned (*)(const double*, std::uint64_t*, std::int64_t*);

PrepareFn chosenPrepare()
{
#ifdef ZUVO2_DATATEXT_X86
    if (InstructionSet::allows(InstructionSet::Avx512))
        return prepareAvx512;
    if (InstructionSet::allows(InstructionSet::Avx2))
        return prepareAvx2;
#endif
    return nullptr;
}

const PrepareFn prepareFn = chosenPrepare();

} // namespace

char* DataText::appendNumber(char* out, double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int biased = int(bits >> 52) & 0x7ff;
    if (biased == 0x7ff) {
        // Infinities have an empty mantissa, NaNs not; a NaN is "nan" whatever its sign.
        const bool nan = (bits << 12) != 0;
        if (!nan && v < 0)
            *out++ = '-';
        std::memcpy(out, nan ? "nan" : "inf", 3);
        return out + 3;
    }
    if (v == 0.0) {
        *out++ = '0';
        return out;
    }
    // Subnormal and extreme numbers are rare enough for the stream.
    const int e2 = biased - 1023;
    if (biased == 0 || e2 < -900 || e2 > 900)
        return slow(out, v);
    const double a = std::fabs(v);
    // floor(e2 log10 2), then one up when a reaches the next power of ten:
    // 10^e <= a < 10^(e + 1) but for a's next to a power of ten.
    int e = (e2 * 78913) >> 18;
    e += a >= power(e + 1);
    // Six digits before the point.  s is off by at most a few units in its
    // last place (< 1e-9), so unless it lies next to a half its rounding is
    // the exact value's; next to a half (ties included), or next to a power
    // of ten, the stream decides.
    const double s = a * power(5 - e);
    int d = static_cast<int>(s);
    const double frac = s - d;
    if (!(s >= 100000.0 && s < 999999.5) || std::fabs(frac - 0.5) < 1e-6)
        return slow(out, v);
    d += frac > 0.5;
    // The six digit characters in one word, the first in the low byte: built
    // in a register, since bytes stored one by one and read back as a word
    // would wait for each other.
    auto pair = [](int q) {
        std::uint16_t t;
        std::memcpy(&t, pairs + 2 * q, 2);
        return std::uint64_t(t);
    };
    return assemble(out, v, pair(d / 10000) | pair(d / 100 % 100) << 16 | pair(d % 100) << 32, e);
}

void DataText::Group::prepare(const double* v, int count)
{
    n = count < 0 ? 0 : count > 8 ? 8 : count;
    values = v;
    if (n < 8) {
        std::memset(tail, 0, sizeof tail);
        std::memcpy(tail, v, sizeof(double) * size_t(n));
        values = tail;
    }
    ready = prepareFn ? prepareFn(values, digits, exps) & ((1u << n) - 1) : 0;
}

char* DataText::Group::append(char* out, int i) const
{
    if (ready >> i & 1)
        return assemble(out, values[i], digits[i], int(exps[i]));
    return appendNumber(out, values[i]);
}

namespace {

// The lines of appendLines once the digits are known (ready: bit k set when
// number k's digits are), inlined into each version so that the copies and
// the digits stay in registers.
__attribute__((always_inline)) inline char* lines(char* out, const double* v, int count, const char* columns,
                                                 const unsigned char* columnLength, const char* zText, int zLength,
                                                 unsigned ready, const std::uint64_t* digits,
                                                 const std::int64_t* exps)
{
    for (int k = 0; k < count; ++k) {
        std::memcpy(out, columns + 24 * k, 24);
        out += columnLength[k];
        std::memcpy(out, zText, 24);
        out += zLength;
        out = ready >> k & 1 ? assemble(out, v[k], digits[k], int(exps[k])) : DataText::appendNumber(out, v[k]);
        *out++ = '\n';
    }
    return out;
}

using LinesFn = char* (*)(char*, const double*, int, const char*, const unsigned char*, const char*, int);

char* linesPortable(char* out, const double* v, int count, const char* columns, const unsigned char* columnLength,
                    const char* zText, int zLength)
{
    for (int k0 = 0; k0 < count; k0 += 8)
        out = lines(out, v + k0, count - k0 < 8 ? count - k0 : 8, columns + 24 * k0, columnLength + k0, zText,
                    zLength, 0, nullptr, nullptr);
    return out;
}

#ifdef ZUVO2_DATATEXT_X86
// The plain texts (decimal exponent e of -4 .. 5) and their newline as one
// byte shuffle of a 16-byte source: the six digit characters in bytes 0 .. 5,
// then '.', '0', '-' and '\n' in bytes 8 .. 11.  Entry ((e + 4) 7 + nz) 2 +
// negative, for nz significant digits, holds the shuffle and the length;
// it is made by spelling the text out as assemble does.  Entry 0 is "0".
struct PlainTexts
{
    static constexpr int count = 140;
    alignas(16) unsigned char shuffle[count][16];
    unsigned char length[count];
    PlainTexts()
    {
        std::memset(shuffle, 0x80, sizeof shuffle);
        std::memset(length, 0, sizeof length);
        shuffle[0][0] = 9;
        shuffle[0][1] = 11;
        length[0] = 2;
        for (int e = -4; e <= 5; ++e)
            for (int nz = 1; nz <= 6; ++nz)
                for (int neg = 0; neg < 2; ++neg) {
                    unsigned char* m = shuffle[((e + 4) * 7 + nz) * 2 + neg];
                    int at = 0;
                    auto put = [&](int byte) { m[at++] = static_cast<unsigned char>(byte); };
                    if (neg)
                        put(10);
                    if (e < 0) {
                        put(9);
                        put(8);
                        for (int z = 0; z < -e - 1; ++z)
                            put(9);
                        for (int j = 0; j < nz; ++j)
                            put(j);
                    } else {
                        for (int j = 0; j <= e; ++j)
                            put(j);
                        if (nz > e + 1) {
                            put(8);
                            for (int j = e + 1; j < nz; ++j)
                                put(j);
                        }
                    }
                    put(11);
                    length[((e + 4) * 7 + nz) * 2 + neg] = static_cast<unsigned char>(at);
                }
    }
};

const PlainTexts plainTexts;

// "<x>\t<z>\t" at out: 16 bytes of each, the rest only when longer (x or
// z of more than 15 digits, never in practice).
__attribute__((target("avx2"), always_inline))
inline char* linePrefix(char* out, const char* column, unsigned columnLength, __m128i zHead, std::uint64_t zTail,
                        int zLength)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_loadu_si128(reinterpret_cast<const __m128i*>(column)));
    if (columnLength > 16)
        std::memcpy(out + 16, column + 16, 8);
    out += columnLength;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), zHead);
    if (zLength > 16)
        std::memcpy(out + 16, &zTail, 8);
    return out + zLength;
}

// AVX2 lines: the digits of four numbers at a time, and a number in the
// plain range (most of a slice) with its newline as one shuffle of a
// 16-byte source, stored whole; the others as lines() writes them.
__attribute__((target("avx2,fma")))
char* linesAvx2(char* out, const double* v, int count, const char* columns, const unsigned char* columnLength,
                const char* zText, int zLength)
{
    // "<z>\t" stays in registers: out might alias zText for the compiler.
    const __m128i zHead = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zText));
    std::uint64_t zTail;
    std::memcpy(&zTail, zText + 16, 8);
    const __m128i marks = _mm_set_epi64x(std::int64_t('.') | std::int64_t('0') << 8 | std::int64_t('-') << 16
                                             | std::int64_t('\n') << 24,
                                         0);
    const __m256i magnitude = _mm256_set1_epi64x(0x7fffffffffffffffLL);
    for (int k0 = 0; k0 < count; k0 += 8) {
        const int c8 = count - k0 < 8 ? count - k0 : 8;
        const double* v8 = v + k0;
        // Eight zeros (a slice's corners outside the circle): no digits.
        if (c8 == 8
            && _mm256_testz_si256(_mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v8)),
                                                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v8 + 4))),
                                  magnitude)) {
            for (int k = 0; k < 8; ++k) {
                out = linePrefix(out, columns + 24 * (k0 + k), columnLength[k0 + k], zHead, zTail, zLength);
                std::memcpy(out, "0\n", 2);
                out += 2;
            }
            continue;
        }
        double tail[8] = {};
        if (c8 < 8) {
            std::memcpy(tail, v8, sizeof(double) * size_t(c8));
            v8 = tail;
        }
        alignas(32) std::uint64_t digits[8];
        alignas(32) std::int64_t exps[8];
        alignas(32) std::int64_t keys[8];
        unsigned ready = 0, plain = 0;
        for (int h = 0; h < 8; h += 4) {
            __m256i d, e, ok, key, pl;
            digitsAvx2Four(_mm256_loadu_pd(v8 + h), d, e, ok, &key, &pl);
            _mm256_store_si256(reinterpret_cast<__m256i*>(digits + h), d);
            _mm256_store_si256(reinterpret_cast<__m256i*>(exps + h), e);
            _mm256_store_si256(reinterpret_cast<__m256i*>(keys + h), key);
            ready |= unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(ok))) << h;
            plain |= unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(pl))) << h;
        }
        // A short group's zero padding is never ready.
        const unsigned valid = (1u << c8) - 1;
        ready &= valid;
        plain &= valid;
        for (int k = 0; k < c8; ++k) {
            out = linePrefix(out, columns + 24 * (k0 + k), columnLength[k0 + k], zHead, zTail, zLength);
            if (plain >> k & 1) {
                const std::size_t key = std::size_t(keys[k]);
                const __m128i source =
                    _mm_or_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(digits + k)), marks);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                                 _mm_shuffle_epi8(source, _mm_load_si128(reinterpret_cast<const __m128i*>(
                                                              plainTexts.shuffle[key]))));
                out += plainTexts.length[key];
                continue;
            }
            out = ready >> k & 1 ? assemble(out, v8[k], digits[k], int(exps[k])) : DataText::appendNumber(out, v8[k]);
            *out++ = '\n';
        }
    }
    return out;
}

#endif

LinesFn chosenLines()
{
#ifdef ZUVO2_DATATEXT_X86
    // Also with AVX-512: its digits eight at a time, assembled one by one,
    // took a third longer than these shuffles.
    if (InstructionSet::allows(InstructionSet::Avx2))
        return linesAvx2;
#endif
    return linesPortable;
}

const LinesFn linesFn = chosenLines();

} // namespace

char* DataText::appendLines(char* out, const double* v, int count, const char* columns,
                            const unsigned char* columnLength, const char* zText, int zLength)
{
    if (count <= 0)
        return out;
    return linesFn(out, v, count > lineGroup ? lineGroup : count, columns, columnLength, zText, zLength);
}
