#pragma once
// The images of one slice over energy, from the tagged CT data files
// ("#ZUVO-CTImg") or 32-bit float TIFFs of one directory: the energy comes
// from each file name ("Fe-7_112keV-00050.dat"), the images are sorted by
// energy and must agree in size and region. A file that does not (another
// size or region, unreadable, no energy in its name, an energy already
// taken) is left out and named in `skipped`; the rest make the stack.
#include "XafsRoi.h"

#include <QString>
#include <QStringList>

#include <vector>

struct XafsSpectrum
{
    std::vector<double> energy;  // eV, ascending
    std::vector<double> mu;      // mean over the region's pixels
    std::vector<double> sigma;   // their standard deviation (0 for one pixel)
    int pixels = 0;              // pixels averaged
};

class XafsStack
{
public:
    // Loads every file of dir matching the wildcard pattern. False with the
    // reason in *why when no file is usable; the stack is then empty.
    bool load(const QString& dir, const QString& pattern, QString* why);
    // A stack from memory: one w x h image per energy in values (energy
    // major, rows top first). For benchmarks and tests.
    bool setImages(const std::vector<double>& energies, int w, int h, std::vector<float> values,
                   QString* why);
    void clear();

    int count() const { return int(energies.size()); }
    bool isEmpty() const { return energies.empty(); }
    const float* image(int k) const { return values.data() + size_t(k) * size_t(width) * size_t(height); }
    // Value at stack pixel (i, j) of energy k.
    float at(int k, int i, int j) const { return image(k)[size_t(j) * size_t(width) + size_t(i)]; }

    // Stack pixel (i, j) lies inside the reconstruction circle.
    bool inCircle(int i, int j) const;
    // Indices (j * width + i) of the stack pixels in roi and in the circle.
    std::vector<size_t> pixelsOf(const XafsRoi& roi) const;
    // Mean and standard deviation over the region at every energy; no
    // pixels when the region misses the slice.
    XafsSpectrum spectrum(const XafsRoi& roi) const;

    QString dir, pattern;
    std::vector<double> energies;   // eV, ascending
    QStringList files;              // file names, in energy order
    // "name: why" for every file left out, and remarks on the stack as a
    // whole (a gap in the energies), both meant for the operator.
    QStringList skipped;
    QStringList notes;
    int width = 0, height = 0;
    // Image coordinates of stack pixel (0, 0).
    long long x0 = 0, z0 = 0;
    // The reconstruction circle in image coordinates: the slice's inscribed
    // circle when the files tell the slice's size (a float TIFF's
    // description, a data file of the whole slice), else one holding the
    // whole stored region.
    double circleX = 0, circleZ = 0, circleR = 0;
    // Values are the files' times this; unit names what they then are.
    double scale = 1;
    QString unit = QStringLiteral("slice value");
    std::vector<float> values;

    // The files' largest side and pixel count that are accepted.
    static constexpr int maxSide = 1 << 15;
    static constexpr long long maxPixels = 1ll << 28;

private:
    void findGaps();
    void findUnits();
};
