#pragma once
// Single-distance phase retrieval (Paganin's method) of flat-corrected
// projections of a homogeneous object: each projection's transmission
// I / I0 is padded with its edge values to a size FFTW transforms fast
// (2^a 3^b),
// low-pass filtered in two dimensions by
//     1 / (1 + pi lambda z (delta/beta) |f|^2)      (f in cycles per metre)
// and its -ln taken. The result is mu t (t the projected thickness,
// mu = 4 pi beta / lambda), the absorbance a slice is reconstructed from.
//
// Parameters (all must be above 0):
//   deltaBeta   delta / beta of the material (typically 100 .. 1000)
//   distanceMm  sample-to-detector distance z in millimetres
//   energyKeV   photon energy in keV (lambda = 1.23984 nm keV / E)
//   pixelUm     detector pixel size in micrometres
//
// setup() makes the FFTW plans (main thread only); apply() only executes
// them on buffers of its own, so several threads may filter at once.
#include <QString>

#include <memory>

struct PaganinParams
{
    // 0 (default): no phase retrieval.
    double deltaBeta = 0;
    double distanceMm = 0;
    double energyKeV = 0;

    bool on() const { return deltaBeta != 0 || distanceMm != 0 || energyKeV != 0; }
    bool operator==(const PaganinParams& o) const
    {
        return deltaBeta == o.deltaBeta && distanceMm == o.distanceMm && energyKeV == o.energyKeV;
    }
    // "100,50,20": the form --paganin takes.
    QString text() const;
    // Why these settings cannot retrieve anything with pixels of pixelUm
    // micrometres (a value not above 0, no pixel size); empty when they can.
    QString problem(double pixelUm) const;
    // "DELTA_BETA,DISTANCE_MM,ENERGY_KEV" (commas or spaces); "0" turns it off.
    static bool parse(const QString& text, PaganinParams& out, QString* why);
};

class PaganinFilter
{
public:
    PaganinFilter();
    ~PaganinFilter();
    PaganinFilter(const PaganinFilter&) = delete;
    PaganinFilter& operator=(const PaganinFilter&) = delete;

    // Plans for images of w x h pixels; false with *why set for settings
    // that cannot work (PaganinParams::problem) or a padded size beyond
    // what memory allows. Main thread only.
    bool setup(int w, int h, double pixelUm, const PaganinParams& params, QString* why);
    int width() const { return w; }
    int height() const { return h; }
    int paddedWidth() const { return pw; }
    int paddedHeight() const { return ph; }

    // transmission: w x h values I / I0, row-major; out (may be the same
    // array): -ln of the filtered transmission (0 where it is not above 0),
    // or with minusLog false the filtered transmission itself.
    // Any thread, once setup() succeeded.
    void apply(const float* transmission, float* out, bool minusLog = true) const;

    // Decay length of the filter's spatial kernel in pixels: the kernel
    // falls as exp(-r / length).
    static double lengthPx(const PaganinParams& params, double pixelUm);
    // Lines beyond a slice the filter reaches noticeably (6 lengths, where
    // the kernel has fallen below 0.3 %), at least 1.
    static int marginPx(const PaganinParams& params, double pixelUm);
    // Smallest 2^a 3^b >= n (0 for n < 1 or beyond int).
    static int fastSize(int n);

private:
    struct Plans;
    std::unique_ptr<Plans> plans;
    int w = 0, h = 0, pw = 0, ph = 0;
    int left = 0, top = 0;
};
