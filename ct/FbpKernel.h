#pragma once
// Filtered back-projection of one slice: a filter (FbpFilter) through FFTs,
// then linear-interpolated smearing of every projection over a square image.
// One kernel per worker; plans are made in setup (GUI thread only).
#include "FbpFilter.h"

#include <QString>

#include <fftw3.h>

#include <vector>

class FbpKernel
{
public:
    FbpKernel() = default;
    ~FbpKernel();
    FbpKernel(const FbpKernel&) = delete;
    FbpKernel& operator=(const FbpKernel&) = delete;

    // Sizes buffers and plans for rows of n samples, nProj projections and
    // the filter (default: the padded ramp).  Same sizes and filter keep
    // everything; n < 2 leaves the kernel empty (nothing to do).
    // fullTurn: the projections cover 360 degrees (angles 2 pi p / nProj)
    // instead of 180 (pi p / nProj); the value scale stays the same.
    // Memory that cannot be had leaves the kernel empty with setupError set.
    void setup(int n, int nProj, const FbpFilter& filter = FbpFilter(), bool fullTurn = false);
    // "not enough memory for ..." after a setup that failed; empty otherwise.
    QString setupError;
    // Frees buffers and destroys the plans.
    void release();
    // Rotation angle of each projection in radians; empty (or a count other
    // than nProj) means evenly spread over the half (or full) turn of setup.  Set
    // in the GUI thread with setup, never while the owner computes.  Each
    // projection is weighted by its share of the half turn, so uneven steps
    // and a series that ends on 180 degrees keep the same scale.
    void setAngles(std::vector<double> radians);
    // The angles of degrees as setAngles takes them: empty when there are
    // none or they are the evenly spread ones (over a half turn, or a full
    // one for fullTurn; within 1e-5 degrees), so such a series reconstructs
    // exactly as one without angles.
    static std::vector<double> radiansOf(const double* degrees, int count, bool fullTurn = false);
    // Share of the half turn of projection p relative to pi / nProj (1 when evenly spread).
    double projectionWeight(int p) const { return weightT.empty() ? 1.0 : weightT[size_t(p)]; }
    // image becomes n x n zeros.
    void resetImage(int n);
    // Spectrum of the first n samples of row as projection p.
    void transform(const double* row, int p);
    // Filters the spectrum of projection p into its filtered row.
    void filter(int p);
    // transform and filter at once, without keeping the spectrum (the
    // spectra of a whole slice would hold twice the memory of its image).
    void filterRow(const double* row, int p);
    // Adds projection p over the region [x0, x1) x [z0, z1) inside the
    // inscribed circle.
    void backProject(int p, double x0, double x1, double z0, double z1);
    // All projections at once, walking the image in cache-sized tiles, in
    // the precision set with setPrecision.
    void backProjectAll(double x0, double x1, double z0, double z1);
    // Plain per-pixel loop, kept as the yardstick for the fast ones.
    void backProjectReference(int p, double x0, double x1, double z0, double z1);
    // minV and maxV of the image once something has been projected.
    void calcRange();

    // Weight of frequency bin k of an n-point transform: |omega| in radians
    // per sample (the unpadded ramp).
    static double rampWeight(int k, int n);
    // Weight of bin k (0 .. m/2) of the padded transform of the filter set up.
    double weight(int k) const { return k >= 0 && size_t(k) < weights.size() ? weights[size_t(k)] : 0.0; }

    // The row loops of backProject and backProjectAll.  Auto (the default)
    // is the fastest this processor runs (within ZUVO2_ISA, see
    // InstructionSet); the others exist so that tests and benchmarks can
    // hold each one against backProjectReference.
    enum class Loop { Auto, Portable, Avx2, Avx512 };
    // Makes this kernel use loop l; false, and the loop unchanged, when the
    // processor lacks the instructions it needs.
    bool useLoop(Loop l);
    static bool supports(Loop l);
    // "portable", "avx2" or "avx512"; Auto names the loop chosen here.
    static const char* loopName(Loop l = Loop::Auto);

    // Arithmetic of backProjectAll.  Double sums every projection in double.
    // Single interpolates in single precision, sums blocks of singleBlock
    // projections in single precision and adds the blocks to the image in
    // double: about twice the speed, and values within 2e-6 of the slice's
    // value range of Double's.  backProject and backProjectReference always
    // work in double.  Set in the GUI thread like setup.
    enum class Precision { Double, Single };
    static constexpr int singleBlock = 16;
    void setPrecision(Precision p) { precisionKind = p; }
    Precision precision() const { return precisionKind; }
    // "double" or "single".
    static const char* precisionName(Precision p);
    // The precision named text ("double", "single"); false for another text.
    static bool parsePrecision(const QString& text, Precision& out);

    double* imageRow(int z) { return image.data() + size_t(z) * size_t(imageSide); }
    const double* imageRow(int z) const { return image.data() + size_t(z) * size_t(imageSide); }
    const double* filteredRow(int p) const { return filt.data() + front + size_t(p) * stride; }
    // Null until transform has kept a spectrum.
    const fftw_complex* spectrum(int p) const
    {
        return spectra.empty() ? nullptr : reinterpret_cast<const fftw_complex*>(spectra.data()) + size_t(p) * size_t(spectrumLen);
    }
    bool ready() const { return fwdPlan != nullptr; }

    int n = 0;
    int nProj = 0;
    FbpFilter fbpFilter;
    bool fullTurn = false;
    // Transform length: n unpadded, at least 2n padded.
    int m = 0;
    std::vector<double> image;  // imageSide rows of imageSide values, row = z
    int imageSide = 0;
    bool done = false;
    double minV = 0.0;
    double maxV = 0.0;

private:
    // setup's work; a std::bad_alloc leaves it.
    void allocate(int n, int nProj, const FbpFilter& filter, bool fullTurn);
    double* filteredRowW(int p) { return filt.data() + front + size_t(p) * stride; }
    bool regionRows(double z0, double z1, int& lo, int& hi) const;
    void rowSpans(double x0, double x1, int zlo, int zhi);
    bool canProject(int p) const;
    void makeTables();
    void forward(const double* row, int p);
    void filterSpectrum(const fftw_complex* sp, int p);
    // False, and nothing done, when its rows do not fit in memory.
    bool backProjectAllSingle(int zlo, int zhi);

    fftw_complex* fwdIn = nullptr;
    fftw_complex* fwdOut = nullptr;
    fftw_complex* invIn = nullptr;
    fftw_complex* invOut = nullptr;
    fftw_plan fwdPlan = nullptr;
    fftw_plan invPlan = nullptr;
    // nProj blocks of spectrumLen complex values, made by the first transform.
    std::vector<double> spectra;
    // Padded filters transform real rows: m reals in, m/2 + 1 bins out.
    double* realIn = nullptr;
    double* realOut = nullptr;
    int spectrumLen = 0;
    std::vector<double> weights;
    // Filtered rows with zero margins so vector loads near the ends stay inside.
    std::vector<double> filt;
    size_t stride = 0;
    static constexpr size_t front = 16;
    // The filtered rows in single precision, laid out alike with margins
    // that cover the single loops' loads; made by a Single backProjectAll.
    // For the AVX2 loop f[i] - (f[i + 1] - f[i]) instead (see FbpKernel.cpp).
    std::vector<float> filtF;
    // (filtF[i + 1] - filtF[i]) / 2^26 per sample, in the same layout; for
    // the AVX2 loop f[i + 1] - f[i].
    std::vector<float> diffF;
    size_t strideF = 0;
    static constexpr size_t frontF = 16;
    // Per row of the region: the columns inside the circle and the region.
    std::vector<int> spanLo, spanHi;
    // Per projection: cosine and sine of its angle, and its weight (empty: all 1).
    std::vector<double> cosT, sinT, weightT;
    std::vector<double> angleList;
    Loop loopKind = Loop::Auto;
    Precision precisionKind = Precision::Double;
};
