#include "FbpKernel.h"

#include "InstructionSet.h"
#include "Logging.h"
#include "WorkerPool.h"
#include <QDebug>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZUVO2_X86 1
#endif

namespace {

constexpr double pi = 3.141592653589793;
constexpr double twoPi = 6.283185307179586;
// Beyond these the buffers would run to many gigabytes per worker.
constexpr int maxSide = 16384;
constexpr long long maxSpectrumValues = 1LL << 28;

// Adds the interpolated filtered row f to img[xa .. xb-1]; every x there has
// 0 <= floor(t) < n - 1 (decided beforehand with the reference loop's t).
using RowFn = void (*)(const double* f, double* img, int xa, int xb,
                       double c, double zs, double h);

void bpRowPlain(const double* f, double* img, int xa, int xb, double c, double zs, double h)
{
    for (int x = xa; x < xb; ++x) {
        const double t = (x - h) * c - zs + h;
        const double fl = std::floor(t);
        const int i = static_cast<int>(fl);
        img[x] += f[i] + (t - fl) * (f[i + 1] - f[i]);
    }
}

// The single-precision loops add the interpolated float row f to the float
// accumulator acc[xa .. xb-1], with the same run of valid pixels as the
// double ones.  d[i] is (f[i + 1] - f[i]) * fracScale (a power of two, so
// exactly): the vector loops take the fraction of a position as an integer
// count of fracScale steps, and interpolate with one multiply-add.
constexpr int fracBits = 26;
constexpr float fracScale = 1.0f / float(1 << fracBits);
// lanes: the projection's lane offsets, made by laneOffsets.
using RowFnF = void (*)(const float* f, const float* d, float* acc, int xa, int xb, double c, double zs,
                        double h, const std::int32_t* lanes);

void bpRowPlainF(const float* f, const float*, float* acc, int xa, int xb, double c, double zs, double h,
                 const std::int32_t*)
{
    for (int x = xa; x < xb; ++x) {
        const double t = (x - h) * c - zs + h;
        const double fl = std::floor(t);
        const int i = static_cast<int>(fl);
        const float w = static_cast<float>(t - fl);
        acc[x] += f[i] + w * (f[i + 1] - f[i]);
    }
}

// Positions of a run of `lanes` pixels in fixed point: the run's middle as
// a 64-bit number with 32 fraction bits (exact enough over any row), each
// lane's offset from the middle plus lanes / 2 as a 32-bit number with
// fracBits fraction bits.  A lane's position is then good to about 3e-8
// samples, and its sample index, counted from the middle's integer part
// minus lanes / 2, lies in 0 .. lanes.
void laneOffsets(double c, int lanes, int bits, std::int32_t* out)
{
    for (int k = 0; k < lanes; ++k)
        out[k] = static_cast<std::int32_t>(std::llround(((k - 0.5 * (lanes - 1)) * c + 0.5 * lanes) * (1 << bits)));
}

// The AVX2 loop's tables and fractions: e[i] = f[i] - (f[i + 1] - f[i]) and
// the plain difference, with 23 fraction bits.  A lane's fraction OR-ed
// with the bits of 1.0f is then the float 1 + t, and e + (1 + t) d the
// interpolated value: one logic operation where a mask and a conversion
// were needed, on a loop bound by its vector operations.
constexpr int onePlusBits = 23;
constexpr std::int32_t oneBits = 0x3f800000;

void bpRowPlainOnePlusF(const float* e, const float* d, float* acc, int xa, int xb, double c, double zs, double h,
                        const std::int32_t*)
{
    for (int x = xa; x < xb; ++x) {
        const double t = (x - h) * c - zs + h;
        const double fl = std::floor(t);
        const int i = static_cast<int>(fl);
        acc[x] += e[i] + (1.0f + static_cast<float>(t - fl)) * d[i];
    }
}

struct FixedRun
{
    std::int64_t pos;   // the first run's middle, 32 fraction bits
    std::int64_t step;  // from one run's middle to the next
};

inline FixedRun fixedRun(int x, int lanes, double c, double zs, double h)
{
    constexpr double one = 4294967296.0;
    const double tm = (x + 0.5 * (lanes - 1) - h) * c - zs + h;
    return {static_cast<std::int64_t>(std::floor(tm * one + 0.5)),
            static_cast<std::int64_t>(std::floor(lanes * c * one + 0.5))};
}

#ifdef ZUVO2_X86
// Eight neighbouring pixels need at most ten neighbouring samples, so
// contiguous loads and in-register permutes replace the gathers.  t is formed
// with fused multiply-adds; it differs from the plain loop's by rounding only,
// and the run of valid pixels has already been decided with the plain t.
__attribute__((target("avx512f,avx512dq,fma")))
void bpRowAvx512(const double* f, double* img, int xa, int xb, double c, double zs, double h)
{
    int x = xa;
    const __m512d vc = _mm512_set1_pd(c);
    const __m512d hz = _mm512_set1_pd(h - zs);
    const __m512d eight = _mm512_set1_pd(8.0);
    // With c < 0 the first lane holds the largest index.
    const int back = c < 0 ? 8 : 0;
    __m512d vx = _mm512_add_pd(_mm512_set1_pd(x - h), _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0));
    for (; x + 8 <= xb; x += 8) {
        const __m512d t = _mm512_fmadd_pd(vx, vc, hz);
        const __m512d fl = _mm512_mask_roundscale_pd(t, __mmask8(0xff), t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        const int base = static_cast<int>(_mm512_cvtsd_f64(fl)) - back;
        const double* w = f + base;
        const __m512i idx = _mm512_sub_epi64(_mm512_cvttpd_epi64(fl), _mm512_set1_epi64(base));
        // The same permute on a window one sample further on gives f[i + 1].
        const __m512d f0 = _mm512_permutex2var_pd(_mm512_loadu_pd(w), idx, _mm512_loadu_pd(w + 8));
        const __m512d f1 = _mm512_permutex2var_pd(_mm512_loadu_pd(w + 1), idx, _mm512_loadu_pd(w + 9));
        const __m512d v = _mm512_fmadd_pd(_mm512_sub_pd(t, fl), _mm512_sub_pd(f1, f0), f0);
        _mm512_storeu_pd(img + x, _mm512_add_pd(_mm512_loadu_pd(img + x), v));
        vx = _mm512_add_pd(vx, eight);
    }
    bpRowPlain(f, img, x, xb, c, zs, h);
}

// Four pixels at a time with gathered samples: for projections along the
// rows, whose four pixels can reach five samples.
__attribute__((target("avx2,fma")))
void bpRowAvx2Gather(const double* f, double* img, int xa, int xb, double c, double zs, double h)
{
    int x = xa;
    const __m256d vc = _mm256_set1_pd(c);
    const __m256d hz = _mm256_set1_pd(h - zs);
    const __m256d four = _mm256_set1_pd(4.0);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    __m256d vx = _mm256_add_pd(_mm256_set1_pd(x - h), _mm256_set_pd(3, 2, 1, 0));
    for (; x + 4 <= xb; x += 4) {
        const __m256d t = _mm256_fmadd_pd(vx, vc, hz);
        const __m256d fl = _mm256_floor_pd(t);
        const __m128i i = _mm256_cvttpd_epi32(fl);
        const __m256d f0 = _mm256_mask_i32gather_pd(zero, f, i, all, 8);
        const __m256d f1 = _mm256_mask_i32gather_pd(zero, f + 1, i, all, 8);
        const __m256d v = _mm256_fmadd_pd(_mm256_sub_pd(t, fl), _mm256_sub_pd(f1, f0), f0);
        _mm256_storeu_pd(img + x, _mm256_add_pd(_mm256_loadu_pd(img + x), v));
        vx = _mm256_add_pd(vx, four);
    }
    bpRowPlain(f, img, x, xb, c, zs, h);
}

// Four pixels at a time without gathers.  Their floors, counted from the
// lowest (lane `low`), lie in 0 .. 3 when |c| < 1 - 1e-9 (t's rounding
// errors stay far below 1e-9), so one 4-value window holds every f[i] and
// the next one every f[i + 1]; a permute of 32-bit halves picks them.  The
// arithmetic is the gather loop's, value for value.  The lowest floor is
// broadcast and converted from memory: a permute for it would share the
// shuffle port with the two that pick the samples.
template <int low>
__attribute__((target("avx2,fma")))
void bpRowAvx2Window(const double* f, double* img, int xa, int xb, double c, double zs, double h)
{
    int x = xa;
    const __m256d vc = _mm256_set1_pd(c);
    const __m256d hz = _mm256_set1_pd(h - zs);
    const __m256d four = _mm256_set1_pd(4.0);
    // k (0 .. 3) times this plus 2^52 + 2^32 is a double whose low half is
    // 2k and whose high half ends in the bits of 2k + 1: the permute's
    // indices of f[base + k]'s two halves.
    const __m256d pairStep = _mm256_set1_pd(8589934594.0);
    const __m256d pairBias = _mm256_set1_pd(4503603922337792.0);
    __m256d vx = _mm256_add_pd(_mm256_set1_pd(x - h), _mm256_set_pd(3, 2, 1, 0));
    alignas(32) double floors[4];
    for (; x + 4 <= xb; x += 4) {
        const __m256d t = _mm256_fmadd_pd(vx, vc, hz);
        const __m256d fl = _mm256_floor_pd(t);
        _mm256_store_pd(floors, fl);
        __m256d lowest;
        std::int64_t base;
        asm("vbroadcastsd %c3(%2), %0\n\tvcvttsd2si %c3(%2), %1"
            : "=x"(lowest), "=r"(base)
            : "r"(floors), "i"(8 * low), "m"(*reinterpret_cast<const double(*)[4]>(floors)));
        const double* w = f + base;
        const __m256i idx = _mm256_castpd_si256(_mm256_fmadd_pd(_mm256_sub_pd(fl, lowest), pairStep, pairBias));
        const __m256d w0 = _mm256_loadu_pd(w);
        const __m256d f0 = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(w0), idx));
        const __m256d df = _mm256_castps_pd(
            _mm256_permutevar8x32_ps(_mm256_castpd_ps(_mm256_sub_pd(_mm256_loadu_pd(w + 1), w0)), idx));
        const __m256d v = _mm256_fmadd_pd(_mm256_sub_pd(t, fl), df, f0);
        _mm256_storeu_pd(img + x, _mm256_add_pd(_mm256_loadu_pd(img + x), v));
        vx = _mm256_add_pd(vx, four);
    }
    bpRowPlain(f, img, x, xb, c, zs, h);
}

__attribute__((target("avx2,fma")))
void bpRowAvx2(const double* f, double* img, int xa, int xb, double c, double zs, double h)
{
    if (std::fabs(c) >= 1.0 - 1e-9)
        bpRowAvx2Gather(f, img, xa, xb, c, zs, h);
    else if (c < 0)
        bpRowAvx2Window<3>(f, img, xa, xb, c, zs, h);
    else
        bpRowAvx2Window<0>(f, img, xa, xb, c, zs, h);
}

// GCC 12 takes the placeholder operand inside its own AVX-512 intrinsics
// (_mm512_undefined_*) for an uninitialised value.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Sixteen pixels at a time, as the AVX2 loop does eight: counted from the
// lowest lane their sample indices lie in 0 .. 15, so one 16-value load of
// e and one of d hold every sample they need (two loads where windows
// around the middle took four, each 64-byte load a split one).
__attribute__((target("avx512f"), always_inline))
inline __m512i avx512Slots(__m512i pos, __m512i step8, std::int32_t* slot)
{
    _mm512_store_si512(slot, _mm512_mask_blend_epi32(0xaaaa, _mm512_srli_epi32(pos, 32 - onePlusBits), pos));
    return _mm512_add_epi64(pos, step8);
}

__attribute__((target("avx512f,fma"), always_inline))
inline void avx512Run(const float* e, const float* d, float* a, const std::int32_t* slot, __m512i off, __m512i one)
{
    __m512i frac;
    std::int64_t base;
    asm("vpbroadcastd %2, %0\n\tmovslq %3, %1" : "=v"(frac), "=r"(base) : "m"(slot[0]), "m"(slot[1]));
    const __m512i lane = _mm512_add_epi32(frac, off);
    const __m512i idx = _mm512_srli_epi32(lane, onePlusBits);
    const __m512 t1 = _mm512_castsi512_ps(_mm512_or_si512(lane, one));
    const __m512 e0 = _mm512_permutexvar_ps(idx, _mm512_loadu_ps(e + base));
    const __m512 d0 = _mm512_permutexvar_ps(idx, _mm512_loadu_ps(d + base));
    _mm512_storeu_ps(a, _mm512_add_ps(_mm512_loadu_ps(a), _mm512_fmadd_ps(t1, d0, e0)));
}

__attribute__((target("avx512f,avx512dq,fma")))
void bpRowAvx512F(const float* e, const float* d, float* acc, int xa, int xb, double c, double zs, double h,
                  const std::int32_t* lanes)
{
    int x = xa;
    const int groups = (xb - xa) / 16;
    if (groups > 0) {
        const std::int32_t lowOff = lanes[c < 0 ? 15 : 0];
        const __m512i off = _mm512_sub_epi32(_mm512_loadu_si512(lanes), _mm512_set1_epi32(lowOff));
        const __m512i one = _mm512_set1_epi32(oneBits);
        FixedRun r = fixedRun(x, 16, c, zs, h);
        r.pos += std::int64_t(lowOff - 8 * (1 << onePlusBits)) * (std::int64_t(1) << (32 - onePlusBits))
                 + (std::int64_t(1) << (31 - onePlusBits));
        __m512i pos = _mm512_set_epi64(r.pos + 7 * r.step, r.pos + 6 * r.step, r.pos + 5 * r.step,
                                       r.pos + 4 * r.step, r.pos + 3 * r.step, r.pos + 2 * r.step, r.pos + r.step,
                                       r.pos);
        const __m512i step8 = _mm512_set1_epi64(8 * r.step);
        alignas(64) std::int32_t slot[16];
        int g = 0;
        for (; g + 8 <= groups; g += 8, x += 128) {
            pos = avx512Slots(pos, step8, slot);
#pragma GCC unroll 8
            for (int j = 0; j < 8; ++j)
                avx512Run(e, d, acc + x + 16 * j, slot + 2 * j, off, one);
        }
        if (g < groups) {
            avx512Slots(pos, step8, slot);
            for (int j = 0; j < groups - g; ++j, x += 16)
                avx512Run(e, d, acc + x, slot + 2 * j, off, one);
        }
    }
    bpRowPlainOnePlusF(e, d, acc, x, xb, c, zs, h, lanes);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Eight pixels at a time.  Their sample indices, counted from the lowest
// lane's (the first for c >= 0, the last otherwise), lie in 0 .. 7: the
// lane offsets span at most 7 samples.  So one 8-value load holds every e
// and one every d they need, each picked by one permute.  The positions of
// eight such runs are worked out together and go through memory: each
// run's fraction is broadcast straight from there and its first sample
// read as a scalar, which keeps the shuffle port free for the permutes.
// Five vector operations besides the two permutes per eight pixels.
// Positions of eight runs from those of four (pos) and a step of four:
// run j's fraction's top 23 bits in slot[2 j], its integer part in
// slot[2 j + 1].  Returns the positions of the next eight.
__attribute__((target("avx2"), always_inline))
inline __m256i avx2Slots(__m256i pos, __m256i step4, std::int32_t* slot)
{
    const __m256i next = _mm256_add_epi64(pos, step4);
    _mm256_store_si256(reinterpret_cast<__m256i*>(slot),
                       _mm256_blend_epi32(_mm256_srli_epi32(pos, 32 - onePlusBits), pos, 0xaa));
    _mm256_store_si256(reinterpret_cast<__m256i*>(slot + 8),
                       _mm256_blend_epi32(_mm256_srli_epi32(next, 32 - onePlusBits), next, 0xaa));
    return _mm256_add_epi64(next, step4);
}

// One run of eight pixels at a from its slot.
__attribute__((target("avx2,fma"), always_inline))
inline void avx2Run(const float* e, const float* d, float* a, const std::int32_t* slot, __m256i off, __m256i one)
{
    // Through memory on purpose: the compiler would otherwise move the
    // values over in registers, with permutes on the shuffle port.
    __m256i frac;
    std::int64_t base;
    asm("vpbroadcastd %2, %0\n\tmovslq %3, %1" : "=x"(frac), "=r"(base) : "m"(slot[0]), "m"(slot[1]));
    const __m256i lane = _mm256_add_epi32(frac, off);
    const __m256i idx = _mm256_srli_epi32(lane, onePlusBits);
    const __m256 t1 = _mm256_castsi256_ps(_mm256_or_si256(lane, one));
    const __m256 e0 = _mm256_permutevar8x32_ps(_mm256_loadu_ps(e + base), idx);
    const __m256 d0 = _mm256_permutevar8x32_ps(_mm256_loadu_ps(d + base), idx);
    _mm256_storeu_ps(a, _mm256_add_ps(_mm256_loadu_ps(a), _mm256_fmadd_ps(t1, d0, e0)));
}

__attribute__((target("avx2,fma")))
void bpRowAvx2F(const float* e, const float* d, float* acc, int xa, int xb, double c, double zs, double h,
                const std::int32_t* lanes)
{
    int x = xa;
    const int groups = (xb - xa) / 8;
    if (groups > 0) {
        const std::int32_t lowOff = lanes[c < 0 ? 7 : 0];
        const __m256i off = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes)),
                                             _mm256_set1_epi32(lowOff));
        const __m256i one = _mm256_set1_epi32(oneBits);
        FixedRun r = fixedRun(x, 8, c, zs, h);
        // The lowest lane's position (a multiplication: the offset may be
        // negative, and shifting a negative value left is undefined), and
        // half a step of 2^-23 so that the fraction is rounded, not cut.
        r.pos += std::int64_t(lowOff - 4 * (1 << onePlusBits)) * (std::int64_t(1) << (32 - onePlusBits))
                 + (std::int64_t(1) << (31 - onePlusBits));
        __m256i pos = _mm256_set_epi64x(r.pos + 3 * r.step, r.pos + 2 * r.step, r.pos + r.step, r.pos);
        const __m256i step4 = _mm256_set1_epi64x(4 * r.step);
        // Run j: its fraction's top 23 bits in slot[2 j], its integer part
        // (the window's first sample) in slot[2 j + 1].
        alignas(32) std::int32_t slot[16];
        int g = 0;
        for (; g + 8 <= groups; g += 8, x += 64) {
            pos = avx2Slots(pos, step4, slot);
#pragma GCC unroll 8
            for (int j = 0; j < 8; ++j)
                avx2Run(e, d, acc + x + 8 * j, slot + 2 * j, off, one);
        }
        if (g < groups) {
            avx2Slots(pos, step4, slot);
            for (int j = 0; j < groups - g; ++j, x += 8)
                avx2Run(e, d, acc + x, slot + 2 * j, off, one);
        }
    }
    bpRowPlainOnePlusF(e, d, acc, x, xb, c, zs, h, lanes);
}
#endif

struct LoopImpl
{
    RowFn fn;  // null: not available on this processor
    RowFnF fnF;
    const char* name;
    // Lanes of fnF: its lane k lies k - (lanes - 1) / 2 pixels from the middle.
    int lanes;
    // Fraction bits of its lane offsets: fracBits (tables f and the scaled
    // d), or onePlusBits (tables e and the plain d).
    int bits;
};

LoopImpl impl(FbpKernel::Loop l)
{
    using L = FbpKernel::Loop;
    // ZUVO2_ISA may hold the loops below what the processor runs.
    const bool avx512 = InstructionSet::allows(InstructionSet::Avx512);
    const bool avx2 = InstructionSet::allows(InstructionSet::Avx2);
    switch (l) {
    case L::Portable:
        return {bpRowPlain, bpRowPlainF, "portable", 1, fracBits};
    case L::Avx2:
#ifdef ZUVO2_X86
        if (avx2)
            return {bpRowAvx2, bpRowAvx2F, "avx2", 8, onePlusBits};
#endif
        return {nullptr, nullptr, "avx2", 8, onePlusBits};
    case L::Avx512:
#ifdef ZUVO2_X86
        if (avx512)
            return {bpRowAvx512, bpRowAvx512F, "avx512", 16, onePlusBits};
#endif
        return {nullptr, nullptr, "avx512", 16, onePlusBits};
    case L::Auto:
        break;
    }
    return impl(avx512 ? L::Avx512 : avx2 ? L::Avx2 : L::Portable);
}

// Decided once: the processor does not change under a running program.
const LoopImpl& chosen(FbpKernel::Loop l)
{
    using L = FbpKernel::Loop;
    static const LoopImpl table[] = {impl(L::Auto), impl(L::Portable), impl(L::Avx2),
                                     impl(L::Avx512)};
    return table[static_cast<int>(l)];
}

// Columns [lo, hi) of [a0, a1) that can lie inside an n-wide image: a loop
// "from trunc(a0) while < a1" restricted to 0 .. n-1.
bool axisRange(double a0, double a1, int n, int& lo, int& hi)
{
    if (std::isnan(a0) || std::isnan(a1) || n <= 0)
        return false;
    double s = std::trunc(a0);
    if (s < 0)
        s = 0;
    double e = std::ceil(a1);
    if (e > n)
        e = n;
    if (!(s < e))
        return false;
    lo = static_cast<int>(s);
    hi = static_cast<int>(e);
    return true;
}

// Sub-range of [xa, xb) where 0 <= t(x) < n - 1.  t is monotonic in x (each
// rounding step is), so the valid pixels are one run, found by bisection.
template <class T>
void validRun(const T& t, int xa, int xb, double c, double last, int& va, int& vb)
{
    auto ok = [&](int x) { const double v = t(x); return v >= 0.0 && v < last; };
    if (ok(xa) && ok(xb - 1)) {
        va = xa;
        vb = xb;
        return;
    }
    if (c == 0.0) {
        va = vb = xa;
        return;
    }
    // First x in [lo, hi) where pred holds, for a pred that turns from false to true.
    auto firstTrue = [](int lo, int hi, auto pred) {
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (pred(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    if (c > 0) {
        va = firstTrue(xa, xb, [&](int x) { return t(x) >= 0.0; });
        vb = firstTrue(xa, xb, [&](int x) { return t(x) >= last; });
    } else {
        va = firstTrue(xa, xb, [&](int x) { return t(x) < last; });
        vb = firstTrue(xa, xb, [&](int x) { return t(x) < 0.0; });
    }
    if (vb < va)
        vb = va;
}

// Adds one filtered projection (angle with cosine c, sine s) to pixels
// xa .. xb-1 of image row z of an n x n image, as far as the detector
// position has two samples to interpolate between.
inline void projectRun(RowFn row, const double* f, double* img, int z, int xa, int xb, double c, double s,
                       int n)
{
    const double h = 0.5 * n;
    const double zs = (z - h) * s;
    auto t = [&](int x) { return (x - h) * c - zs + h; };
    int va, vb;
    validRun(t, xa, xb, c, n - 1.0, va, vb);
    if (va < vb)
        row(f, img, va, vb, c, zs, h);
}

inline void projectRun(RowFnF row, const float* f, const float* d, float* acc, int z, int xa, int xb,
                       double c, double s, int n, const std::int32_t* lanes)
{
    const double h = 0.5 * n;
    const double zs = (z - h) * s;
    auto t = [&](int x) { return (x - h) * c - zs + h; };
    int va, vb;
    validRun(t, xa, xb, c, n - 1.0, va, vb);
    if (va < vb)
        row(f, d, acc, va, vb, c, zs, h, lanes);
}

} // namespace

FbpKernel::~FbpKernel()
{
    release();
}

const char* FbpKernel::loopName(Loop l)
{
    return chosen(l).name;
}

bool FbpKernel::supports(Loop l)
{
    return chosen(l).fn != nullptr;
}

bool FbpKernel::useLoop(Loop l)
{
    if (!supports(l))
        return false;
    loopKind = l;
    return true;
}

double FbpKernel::rampWeight(int k, int n)
{
    const double a = twoPi / n;
    return k < n - k ? k * a : (n - k) * a;
}

void FbpKernel::setup(int n_, int nProj_, const FbpFilter& filter, bool fullTurn_)
{
    if (n_ == n && nProj_ == nProj && filter == fbpFilter && fullTurn_ == fullTurn)
        return;
    setupError.clear();
    try {
        allocate(n_, nProj_, filter, fullTurn_);
    } catch (const std::bad_alloc&) {
        release();
        setupError = QStringLiteral("not enough memory for the reconstruction kernel of %1 x %2 samples")
                         .arg(n_).arg(nProj_);
        qCWarning(lcCt).noquote() << setupError;
    }
}

void FbpKernel::allocate(int n_, int nProj_, const FbpFilter& filter, bool fullTurn_)
{
    release();
    n = n_;
    nProj = nProj_;
    fbpFilter = filter;
    fullTurn = fullTurn_;
    if (n < 2 || nProj < 1)
        return;
    const bool padded = filter.padded();
    m = padded ? filter.transformLength(n) : n;
    spectrumLen = padded ? m / 2 + 1 : n;
    if (n > maxSide || m < n || static_cast<long long>(spectrumLen) * nProj > maxSpectrumValues) {
        qCDebug(lcCt).noquote() << QStringLiteral("Reconstruction size too large, skipped: ")
                + QString::number(n) + QStringLiteral(" x ") + QString::number(nProj);
        n = 0;
        nProj = 0;
        m = spectrumLen = 0;
        return;
    }
    auto alloc = [](size_t count) {
        return static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * count));
    };
    auto allocReal = [](size_t count) { return static_cast<double*>(fftw_malloc(sizeof(double) * count)); };
    fwdOut = alloc(size_t(spectrumLen));
    invIn = alloc(size_t(spectrumLen));
    bool ok = fwdOut && invIn;
    if (padded) {
        realIn = allocReal(size_t(m));
        realOut = allocReal(size_t(m));
        ok = ok && realIn && realOut;
    } else {
        fwdIn = alloc(size_t(n));
        invOut = alloc(size_t(n));
        ok = ok && fwdIn && invOut;
    }
    if (!ok) {
        qCWarning(lcCt).noquote() << QStringLiteral("Out of memory for reconstruction buffers: ")
                + QString::number(n) + QStringLiteral(" x ") + QString::number(nProj);
        release();
        return;
    }
    std::memset(invIn, 0, sizeof(fftw_complex) * size_t(spectrumLen));
    // Room for a 16-value load starting 8 before the first or at the last sample.
    stride = (size_t(n) + front + 16 + 7) & ~size_t(7);
    filt.assign(stride * size_t(nProj) + front, 0.0);
    makeTables();
    WorkerPool::assertPlanThread("A back-projection kernel's FFT plans made");
    if (!padded) {
        fwdPlan = fftw_plan_dft_1d(n, fwdIn, fwdOut, FFTW_FORWARD, FFTW_ESTIMATE);
        invPlan = fftw_plan_dft_1d(n, invIn, invOut, FFTW_BACKWARD, FFTW_ESTIMATE);
        return;
    }
    fwdPlan = fftw_plan_dft_r2c_1d(m, realIn, fwdOut, FFTW_ESTIMATE);
    invPlan = fftw_plan_dft_c2r_1d(m, invIn, realOut, FFTW_ESTIMATE);
    // The band-limited ramp's spectrum, times 2 pi: the unpadded ramp's
    // |omega| scale, with the right weight near zero frequency.
    FbpFilter::rampKernel(realIn, m);
    fftw_execute(fwdPlan);
    weights.resize(size_t(spectrumLen));
    for (int k = 0; k < spectrumLen; ++k)
        weights[size_t(k)] = twoPi * fwdOut[k][0] * filter.window(2.0 * k / m);
    std::memset(realIn, 0, sizeof(double) * size_t(m));
}

void FbpKernel::setAngles(std::vector<double> radians)
{
    angleList = std::move(radians);
    if (nProj > 0)
        makeTables();
}

std::vector<double> FbpKernel::radiansOf(const double* degrees, int count, bool fullTurn)
{
    if (!degrees || count <= 0)
        return {};
    const double span = fullTurn ? 360.0 : 180.0;
    bool even = true;
    for (int p = 0; p < count && even; ++p)
        even = std::fabs(degrees[p] - span * p / count) <= 1e-5;
    if (even)
        return {};
    std::vector<double> r(static_cast<size_t>(count));
    for (int p = 0; p < count; ++p)
        r[size_t(p)] = degrees[p] * (pi / 180.0);
    return r;
}

void FbpKernel::makeTables()
{
    cosT.resize(size_t(nProj));
    sinT.resize(size_t(nProj));
    weightT.clear();
    if (angleList.size() != size_t(nProj)) {
        for (int p = 0; p < nProj; ++p) {
            const double th = ((fullTurn ? 2 * pi : pi) / nProj) * p;
            cosT[size_t(p)] = std::cos(th);
            sinT[size_t(p)] = std::sin(th);
        }
        return;
    }
    // Angles a half turn apart see the same lines (mirrored), so each
    // projection's share is half the gaps to its neighbours on the half
    // turn.
    std::vector<double> a(static_cast<size_t>(nProj));
    std::vector<int> order(static_cast<size_t>(nProj));
    for (int p = 0; p < nProj; ++p) {
        const double th = angleList[size_t(p)];
        cosT[size_t(p)] = std::cos(th);
        sinT[size_t(p)] = std::sin(th);
        double m = std::fmod(th, pi);
        if (m < 0)
            m += pi;
        a[size_t(p)] = m;
        order[size_t(p)] = p;
    }
    std::sort(order.begin(), order.end(), [&](int i, int j) { return a[size_t(i)] < a[size_t(j)]; });
    weightT.assign(size_t(nProj), 1.0);
    for (int k = 0; k < nProj; ++k) {
        const double prev = k > 0 ? a[size_t(order[size_t(k - 1)])] : a[size_t(order.back())] - pi;
        const double next = k + 1 < nProj ? a[size_t(order[size_t(k + 1)])] : a[size_t(order.front())] + pi;
        weightT[size_t(order[size_t(k)])] = 0.5 * (next - prev) * nProj / pi;
    }
}

void FbpKernel::release()
{
    if (fwdPlan || invPlan)
        WorkerPool::assertPlanThread("A back-projection kernel's FFT plans destroyed");
    if (fwdPlan)
        fftw_destroy_plan(fwdPlan);
    if (invPlan)
        fftw_destroy_plan(invPlan);
    fwdPlan = invPlan = nullptr;
    for (fftw_complex** b : {&fwdIn, &fwdOut, &invIn, &invOut}) {
        if (*b)
            fftw_free(*b);
        *b = nullptr;
    }
    for (double** b : {&realIn, &realOut}) {
        if (*b)
            fftw_free(*b);
        *b = nullptr;
    }
    std::vector<double>().swap(spectra);
    std::vector<double>().swap(filt);
    std::vector<float>().swap(filtF);
    std::vector<float>().swap(diffF);
    std::vector<double>().swap(weights);
    stride = 0;
    strideF = 0;
    n = 0;
    nProj = 0;
    m = 0;
    spectrumLen = 0;
}

void FbpKernel::resetImage(int side)
{
    if (side <= 0 || side > maxSide) {
        if (side > maxSide)
            qCDebug(lcCt).noquote() << QStringLiteral("Image size too large: ") + QString::number(side);
        std::vector<double>().swap(image);
        imageSide = 0;
        return;
    }
    image.assign(size_t(side) * size_t(side), 0.0);
    imageSide = side;
}

void FbpKernel::forward(const double* row, int p)
{
    // A projection counts with its share of the turn (1 when evenly spread).
    const double w = projectionWeight(p);
    if (realIn) {
        // The tail stays zero: the padding.
        if (w == 1.0)
            std::memcpy(realIn, row, sizeof(double) * size_t(n));
        else
            for (int k = 0; k < n; ++k)
                realIn[k] = row[k] * w;
    } else {
        for (int k = 0; k < n; ++k) {
            fwdIn[k][0] = row[k] * w;
            fwdIn[k][1] = 0.0;
        }
    }
    fftw_execute(fwdPlan);
}

void FbpKernel::transform(const double* row, int p)
{
    if (!ready() || !row || p < 0 || p >= nProj)
        return;
    if (spectra.empty()) {
        try {
            spectra.assign(2 * size_t(spectrumLen) * size_t(nProj), 0.0);
        } catch (const std::bad_alloc&) {
            qCWarning(lcCt).noquote() << QStringLiteral("Out of memory for the spectra: ")
                    + QString::number(n) + QStringLiteral(" x ") + QString::number(nProj);
            return;
        }
    }
    forward(row, p);
    std::memcpy(spectra.data() + 2 * size_t(p) * size_t(spectrumLen), fwdOut, sizeof(fftw_complex) * size_t(spectrumLen));
}

void FbpKernel::filter(int p)
{
    if (!ready() || p < 0 || p >= nProj || spectra.empty())
        return;
    filterSpectrum(spectrum(p), p);
}

void FbpKernel::filterRow(const double* row, int p)
{
    if (!ready() || !row || p < 0 || p >= nProj)
        return;
    forward(row, p);
    filterSpectrum(fwdOut, p);
}

void FbpKernel::filterSpectrum(const fftw_complex* sp, int p)
{
    double* f = filteredRowW(p);
    if (realOut) {
        for (int k = 0; k < spectrumLen; ++k) {
            const double w = weights[size_t(k)];
            invIn[k][0] = sp[k][0] * w;
            invIn[k][1] = sp[k][1] * w;
        }
        fftw_execute(invPlan);
        // Only the row's own samples: the rest is the wrap-around margin.
        const double scale = 1.0 / m;
        for (int k = 0; k < n; ++k)
            f[k] = realOut[k] * scale;
        return;
    }
    const double a = twoPi / n;
    for (int i = 0; i < n / 2; ++i) {
        const double wl = i * a;
        const double wh = (i + 1) * a;
        invIn[i][0] = sp[i][0] * wl;
        invIn[i][1] = sp[i][1] * wl;
        invIn[n - 1 - i][0] = sp[n - 1 - i][0] * wh;
        invIn[n - 1 - i][1] = sp[n - 1 - i][1] * wh;
    }
    if (n % 2) {
        // The middle bin of an odd length is not reached by the pairs above.
        const int mid = n / 2;
        invIn[mid][0] = sp[mid][0] * (mid * a);
        invIn[mid][1] = sp[mid][1] * (mid * a);
    }
    fftw_execute(invPlan);
    for (int k = 0; k < n; ++k)
        f[k] = invOut[k][0] / n;
}

bool FbpKernel::canProject(int p) const
{
    if (!ready() || p < 0 || p >= nProj)
        return false;
    if (imageSide != n) {
        qCDebug(lcCt).noquote() << QStringLiteral("Image size differs from the kernel size, not projected: ")
                + QString::number(imageSide) + QStringLiteral(" / ") + QString::number(n);
        return false;
    }
    return true;
}

void FbpKernel::backProjectReference(int p, double x0, double x1, double z0, double z1)
{
    if (!canProject(p))
        return;
    const double c = cosT[size_t(p)];
    const double s = sinT[size_t(p)];
    const double h = 0.5 * n;
    const double* f = filteredRow(p);
    int xlo, xhi, zlo, zhi;
    if (axisRange(x0, x1, n, xlo, xhi) && axisRange(z0, z1, n, zlo, zhi)) {
        for (int z = zlo; z < zhi; ++z) {
            double* img = imageRow(z);
            for (int x = xlo; x < xhi; ++x) {
                const double r = std::sqrt((x - h) * (x - h) + (z - h) * (z - h));
                if (!(r < h))
                    continue;
                const double t = (x - h) * c - (z - h) * s + h;
                const int i = static_cast<int>(std::floor(t));
                if (0 <= i && i < n - 1)
                    img[x] += f[i] + (t - i) * (f[i + 1] - f[i]);
            }
        }
    }
    done = true;
}

// spanLo/spanHi[z - zlo]: columns of row z inside both the region and the
// inscribed circle, decided by the same r < h test as the reference loop.
void FbpKernel::rowSpans(double x0, double x1, int zlo, int zhi)
{
    spanLo.assign(size_t(zhi - zlo), 0);
    spanHi.assign(size_t(zhi - zlo), 0);
    int xlo, xhi;
    if (!axisRange(x0, x1, n, xlo, xhi))
        return;
    const double h = 0.5 * n;
    for (int z = zlo; z < zhi; ++z) {
        const double dz = z - h;
        auto inside = [&](int x) { return std::sqrt((x - h) * (x - h) + dz * dz) < h; };
        const double w2 = h * h - dz * dz;
        if (!(w2 > 0))
            continue;
        const double w = std::sqrt(w2);
        // Start two pixels outside the circle on each side and walk in.
        int lo = std::max(xlo, static_cast<int>(std::floor(h - w)) - 2);
        int hi = std::min(xhi, static_cast<int>(std::ceil(h + w)) + 2);
        while (lo < hi && !inside(lo))
            ++lo;
        while (hi > lo && !inside(hi - 1))
            --hi;
        spanLo[size_t(z - zlo)] = lo;
        spanHi[size_t(z - zlo)] = hi;
    }
}

bool FbpKernel::regionRows(double z0, double z1, int& lo, int& hi) const
{
    return axisRange(z0, z1, n, lo, hi);
}

void FbpKernel::backProject(int p, double x0, double x1, double z0, double z1)
{
    if (!canProject(p))
        return;
    int zlo, zhi;
    if (regionRows(z0, z1, zlo, zhi)) {
        rowSpans(x0, x1, zlo, zhi);
        const RowFn row = chosen(loopKind).fn;
        const double* f = filteredRow(p);
        for (int z = zlo; z < zhi; ++z) {
            const int xa = spanLo[size_t(z - zlo)];
            const int xb = spanHi[size_t(z - zlo)];
            if (xa < xb)
                projectRun(row, f, imageRow(z), z, xa, xb, cosT[size_t(p)], sinT[size_t(p)], n);
        }
    }
    done = true;
}

namespace {
// Calls fn(tz, tzEnd, tx, txEnd) for every tile of tileZ rows by tileX
// columns that holds a pixel of the row spans lo/hi (row z at z - zlo).
// Adds a block's single sums a[xa .. xb-1] to the double image and clears
// them: the same additions in every version, so the same image.
void addBlockPlain(double* img, float* a, int xa, int xb)
{
    for (int x = xa; x < xb; ++x) {
        img[x] += a[x];
        a[x] = 0.0f;
    }
}

#ifdef ZUVO2_X86
// Eight at a time: the compiler's own loop (SSE2, two by two) took 7 % of a
// slice's instructions.
__attribute__((target("avx2")))
void addBlockAvx2(double* img, float* a, int xa, int xb)
{
    int x = xa;
    for (; x + 8 <= xb; x += 8) {
        const __m256 v = _mm256_loadu_ps(a + x);
        _mm256_storeu_pd(img + x, _mm256_add_pd(_mm256_loadu_pd(img + x), _mm256_cvtps_pd(_mm256_castps256_ps128(v))));
        _mm256_storeu_pd(img + x + 4,
                         _mm256_add_pd(_mm256_loadu_pd(img + x + 4), _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1))));
        _mm256_storeu_ps(a + x, _mm256_setzero_ps());
    }
    addBlockPlain(img, a, x, xb);
}
#endif

using AddBlockFn = void (*)(double*, float*, int, int);

const AddBlockFn addBlock =
#ifdef ZUVO2_X86
    InstructionSet::allows(InstructionSet::Avx2) ? addBlockAvx2 :
#endif
    addBlockPlain;

template <class Fn>
void forEachTile(const std::vector<int>& lo, const std::vector<int>& hi, int zlo, int zhi, int n,
                 int tileZ, int tileX, Fn fn)
{
    for (int tz = zlo; tz < zhi; tz += tileZ) {
        const int tzEnd = std::min(zhi, tz + tileZ);
        int txMin = n, txMax = 0;
        for (int z = tz; z < tzEnd; ++z) {
            if (lo[size_t(z - zlo)] < hi[size_t(z - zlo)]) {
                txMin = std::min(txMin, lo[size_t(z - zlo)]);
                txMax = std::max(txMax, hi[size_t(z - zlo)]);
            }
        }
        for (int tx = txMin - txMin % tileX; tx < txMax; tx += tileX)
            fn(tz, tzEnd, tx, tx + tileX);
    }
}
} // namespace

void FbpKernel::backProjectAll(double x0, double x1, double z0, double z1)
{
    if (!canProject(0))
        return;
    int zlo, zhi;
    if (regionRows(z0, z1, zlo, zhi)) {
        rowSpans(x0, x1, zlo, zhi);
        if (precisionKind == Precision::Single && backProjectAllSingle(zlo, zhi)) {
            done = true;
            return;
        }
        const RowFn row = chosen(loopKind).fn;
        // Strips of 4 rows up to 2048 wide, as in single precision: runs
        // long enough that finding their ends costs little, and sums (64 KB)
        // that stay in the second-level cache while every projection passes.
        const int tileX = std::min(2048, (n + 15) & ~15);
        forEachTile(spanLo, spanHi, zlo, zhi, n, 4, tileX, [&](int tz, int tzEnd, int tx, int txEnd) {
            for (int p = 0; p < nProj; ++p) {
                const double* f = filteredRow(p);
                for (int z = tz; z < tzEnd; ++z) {
                    const int xa = std::max(tx, spanLo[size_t(z - zlo)]);
                    const int xb = std::min(txEnd, spanHi[size_t(z - zlo)]);
                    if (xa < xb)
                        projectRun(row, f, imageRow(z), z, xa, xb, cosT[size_t(p)], sinT[size_t(p)], n);
                }
            }
        });
    }
    done = true;
}

bool FbpKernel::backProjectAllSingle(int zlo, int zhi)
{
    // The filtered rows once more in single precision, and their scaled
    // differences; the margins stay 0.  Room for the loads of the 16-pixel
    // loop: 9 before a row, 24 after it.
    const size_t sF = (size_t(n) + frontF + 32 + 15) & ~size_t(15);
    if (strideF != sF || filtF.size() != sF * size_t(nProj) + frontF) {
        try {
            filtF.assign(sF * size_t(nProj) + frontF, 0.0f);
            diffF.assign(sF * size_t(nProj) + frontF, 0.0f);
            strideF = sF;
        } catch (const std::bad_alloc&) {
            std::vector<float>().swap(filtF);
            std::vector<float>().swap(diffF);
            strideF = 0;
            qCWarning(lcCt).noquote() << QStringLiteral("Out of memory for single-precision rows, back-projected in double: ")
                    + QString::number(n) + QStringLiteral(" x ") + QString::number(nProj);
            return false;
        }
    }
    const LoopImpl& loop = chosen(loopKind);
    const RowFnF row = loop.fnF;
    const bool onePlus = loop.bits == onePlusBits;
    for (int p = 0; p < nProj; ++p) {
        const double* f = filteredRow(p);
        float* g = filtF.data() + frontF + size_t(p) * strideF;
        float* d = diffF.data() + frontF + size_t(p) * strideF;
        // A position rounded just outside the row interpolates towards the
        // zero margin, as in the double loops (f[-1] and f[n] are 0).
        if (onePlus) {
            for (int k = -1; k < n; ++k) {
                const double next = k + 1 < n ? f[k + 1] : 0.0;
                const double here = k >= 0 ? f[k] : 0.0;
                g[k] = static_cast<float>(here - (next - here));
                d[k] = static_cast<float>(next - here);
            }
            continue;
        }
        g[-1] = 0.0f;
        for (int k = 0; k < n; ++k)
            g[k] = static_cast<float>(f[k]);
        d[-1] = g[0] * fracScale;
        for (int k = 0; k + 1 < n; ++k)
            d[k] = (g[k + 1] - g[k]) * fracScale;
        d[n - 1] = -g[n - 1] * fracScale;
    }
    std::vector<std::int32_t> lanes(size_t(nProj) * 16, 0);
    for (int p = 0; p < nProj; ++p)
        laneOffsets(cosT[size_t(p)], loop.lanes, loop.bits, lanes.data() + size_t(p) * 16);
    // Strips of 16 rows up to 2048 wide: few runs per pixel, so little time
    // goes into finding each run's ends, and each projection's rows (16 KB
    // at n = 2048) are fetched once for 16 image rows; the sums (128 KB)
    // stay in the second-level cache.  Against strips of 4 rows (sums in the
    // first-level cache, rows fetched four times as often) about 10 % faster.
    constexpr int tileZ = 16;
    const int tileX = std::min(2048, (n + 15) & ~15);
    // A tile's sums over one block of projections.
    std::vector<float> acc(size_t(tileZ) * tileX, 0.0f);
    forEachTile(spanLo, spanHi, zlo, zhi, n, tileZ, tileX, [&](int tz, int tzEnd, int tx, int txEnd) {
        for (int p0 = 0; p0 < nProj; p0 += singleBlock) {
            const int pEnd = std::min(nProj, p0 + singleBlock);
            for (int p = p0; p < pEnd; ++p) {
                const float* f = filtF.data() + frontF + size_t(p) * strideF;
                const float* d = diffF.data() + frontF + size_t(p) * strideF;
                for (int z = tz; z < tzEnd; ++z) {
                    const int xa = std::max(tx, spanLo[size_t(z - zlo)]);
                    const int xb = std::min(txEnd, spanHi[size_t(z - zlo)]);
                    if (xa < xb)
                        projectRun(row, f, d, acc.data() + size_t(z - tz) * tileX - tx, z, xa, xb,
                                   cosT[size_t(p)], sinT[size_t(p)], n, lanes.data() + size_t(p) * 16);
                }
            }
            // The block's sums go into the double image.
            for (int z = tz; z < tzEnd; ++z) {
                const int xa = std::max(tx, spanLo[size_t(z - zlo)]);
                const int xb = std::min(txEnd, spanHi[size_t(z - zlo)]);
                if (xa < xb)
                    addBlock(imageRow(z), acc.data() + size_t(z - tz) * tileX - tx, xa, xb);
            }
        }
    });
    return true;
}

const char* FbpKernel::precisionName(Precision p)
{
    return p == Precision::Single ? "single" : "double";
}

bool FbpKernel::parsePrecision(const QString& text, Precision& out)
{
    for (Precision p : {Precision::Double, Precision::Single}) {
        if (text == QLatin1String(precisionName(p))) {
            out = p;
            return true;
        }
    }
    return false;
}

void FbpKernel::calcRange()
{
    if (!done || n <= 0 || imageSide != n)
        return;
    double lo = DBL_MAX;
    double hi = -DBL_MAX;
    for (double v : image) {
        if (v < lo)
            lo = v;
        if (v > hi)
            hi = v;
    }
    minV = lo;
    maxV = hi;
}
