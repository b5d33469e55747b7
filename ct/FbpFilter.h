#pragma once
// The filter of a filtered back-projection, chosen by name from one table.
//
//   ramp           the ramp from the band-limited spatial kernel on rows
//                  zero-padded to at least twice their length (default): the
//                  zero level and absolute values are right
//   shepp-logan, cosine, hamming, hann
//                  the same padded ramp times the usual window
//   ramp-unpadded  the ramp |omega| on a transform of exactly the row's length,
//                  zero at zero frequency: earlier results, byte for byte
//
// cutoff is a fraction of the Nyquist frequency above which a padded filter
// is 0; it lies in (0, 1], default 1 (no cut).  Every filter keeps the scale
// of the unpadded ramp: a slice value / (2 nProj) is mu per pixel.
#include <QMetaType>
#include <QString>
#include <QStringList>

struct FbpFilter
{
    QString name = QStringLiteral("ramp");
    double cutoff = 1.0;

    bool operator==(const FbpFilter& o) const { return name == o.name && cutoff == o.cutoff; }
    bool operator!=(const FbpFilter& o) const { return !(*this == o); }

    // True for every filter but ramp-unpadded.
    bool padded() const;
    // "ramp", "hann:0.8": the form --filter takes.
    QString text() const;
    // Transform length for rows of n samples: n unpadded, else paddedLength(n).
    int transformLength(int n) const;
    // Window at a frequency given as a fraction of Nyquist (0 .. 1): 1 at 0,
    // 0 above the cutoff.
    double window(double fracNyquist) const;

    // The filter named name with cutoff; false with *why set for an unknown
    // name, a cutoff outside (0, 1] or a cutoff given to ramp-unpadded.
    static bool make(const QString& name, double cutoff, FbpFilter& out, QString* why);
    // "NAME" or "NAME:CUTOFF".
    static bool parse(const QString& text, FbpFilter& out, QString* why);
    // Every name, in table order.
    static QStringList names();
    // Twice the smallest 2^a 3^b 5^c 7^d >= n: at least 2n, even, and a size
    // FFTW transforms fast.  0 for n < 1 or a length beyond int.
    static int paddedLength(int n);
    // The band-limited ramp's spatial kernel for an m-point circular
    // convolution (m even): 1/4 at 0, -1/(pi k)^2 at odd k and m - k, 0 elsewhere.
    static void rampKernel(double* out, int m);
};

Q_DECLARE_METATYPE(FbpFilter)
