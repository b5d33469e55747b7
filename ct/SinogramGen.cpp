#include "SinogramGen.h"

#include "FbpKernel.h"
#include "Logging.h"
#include "HSgm.h"
#include "ImgData.h"
#include "ImgDatas.h"
#include "SgmGeom.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// Reads line `slice` of an image (a row for a vertical axis, else a column).
void readWholeLine(ImgData* img, bool rotAxIsV, int slice, double* out)
{
    if (rotAxIsV)
        img->readRow(slice, out);
    else
        img->readColumn(slice, out);
}

// A line at a position between two lines: first + frac, 0 <= frac < 1.
struct LinePos
{
    int first = 0;
    double frac = 0;
    std::vector<double>* next = nullptr;  // buffer of the second line (frac > 0)
};

void readLine(ImgData* img, bool rotAxIsV, const LinePos& at, double* out)
{
    readWholeLine(img, rotAxIsV, at.first, out);
    if (at.frac == 0.0)
        return;
    std::vector<double>& b = *at.next;
    readWholeLine(img, rotAxIsV, at.first + 1, b.data());
    for (size_t k = 0; k + 1 < b.size(); ++k)
        out[k] += at.frac * (b[k] - out[k]);
}
} // namespace

void genSinogram(ImgDatas& set, HSgm* hSgm, bool rotAxIsV, double cor, int slice, double lineShift)
{
    if (!hSgm || std::isnan(cor) || std::floor(cor) <= 0 || !std::isfinite(lineShift))
        return;
    const int dim = rotAxIsV ? set.width : set.height;
    if (std::ceil(cor) >= dim)
        return;
    const int lines = rotAxIsV ? set.height : set.width;
    const double pos = double(slice) + lineShift;
    LinePos at;
    at.first = int(std::floor(pos));
    at.frac = pos - std::floor(pos);
    // Unshifted lines are read as they always were (a line outside the image
    // is the reader's affair); a shifted one must lie inside.
    if (lineShift != 0.0 && (at.first < 0 || at.first + (at.frac > 0 ? 1 : 0) >= lines))
        return;
    std::vector<double> next(at.frac > 0 ? size_t(dim) + 1 : 0, 0.0);
    at.next = &next;
    // Lines of a reference image are read into buffers of the projections'
    // length: a reference of another size would be read past their end.
    for (ImgData* ref : {set.i0(), set.bg(), set.i0After()}) {
        if (ref && ref->ready && (ref->width != set.width || ref->height != set.height)) {
            qCDebug(lcCt).noquote() << QStringLiteral("Reference image size differs from the projections, no sinogram: ")
                    + ref->fileName;
            return;
        }
    }

    hSgm->slice = slice;
    const SgmGeom geom = makeSgmGeom(rotAxIsV, dim, cor);
    const int nth = set.count();
    hSgm->resize(geom.nx, nth);
    if (!hSgm->hasData())
        return;
    if (set.anglesDeg.size() == nth)
        hSgm->theta = FbpKernel::radiansOf(set.anglesDeg.constData(), nth);

    std::vector<double> line(size_t(dim) + 1, 0.0);
    // Detector pixels are judged before interpolation: a dead one taken at
    // half weight beside a live one would pass for a plausible value.
    std::vector<double> bgRaw;
    ImgData* bg = set.bg();
    std::vector<double> bgLine;
    if (bg && bg->ready) {
        bgRaw.assign(size_t(dim) + 1, 0.0);
        bgLine.resize(size_t(geom.nx));
        readLine(bg, rotAxIsV, at, bgRaw.data());
        sampleLine(bgRaw.data(), bgLine.data(), geom);
    }
    auto dark = [&bgRaw](int k) { return bgRaw.empty() ? 0.0 : bgRaw[size_t(k)]; };
    // The pixels of the line the samples take.
    const int lo = geom.corInt - (geom.half - 1), hi = std::min(dim - 1, geom.corInt + geom.half);
    std::vector<unsigned char> refBad(size_t(dim) + 1, 0), pixelBad(size_t(dim) + 1, 0), sampleBad(size_t(geom.nx), 0);
    auto markReference = [&](const std::vector<double>& raw) {
        for (int k = lo; k <= hi; ++k) {
            const double a = raw[size_t(k)] - dark(k);
            if (!(a > 0) || !std::isfinite(a))
                refBad[size_t(k)] = 1;
        }
    };
    std::vector<double> i0Line;
    ImgData* i0 = set.i0();
    if (i0 && i0->ready) {
        i0Line.resize(size_t(geom.nx));
        readLine(i0, rotAxIsV, at, line.data());
        sampleLine(line.data(), i0Line.data(), geom);
        markReference(line);
    }
    // I0 before and after the scan: interpolated by projection index.
    std::vector<double> i0After, i0Mixed;
    ImgData* after = set.i0After();
    if (!i0Line.empty() && after && after->ready) {
        i0After.resize(size_t(geom.nx));
        i0Mixed.resize(size_t(geom.nx));
        readLine(after, rotAxIsV, at, line.data());
        sampleLine(line.data(), i0After.data(), geom);
        markReference(line);
    }
    // A dead pixel spoils one sample on a whole-pixel centre, two otherwise.
    const int longestRepair = geom.corFrac == 0 ? 1 : 2;
    for (int p = 0; p < nth; ++p) {
        readLine(set.at(p), rotAxIsV, at, line.data());
        sampleLine(line.data(), hSgm->intensityRow(p), geom);
        for (int k = lo; k <= hi; ++k) {
            const double b = line[size_t(k)] - dark(k);
            pixelBad[size_t(k)] = refBad[size_t(k)] || !(b > 0) || !std::isfinite(b);
        }
        sampleMask(pixelBad.data(), sampleBad.data(), geom);
        const double* i0Row = i0Line.empty() ? nullptr : i0Line.data();
        if (!i0After.empty()) {
            const double w = nth > 1 ? double(p) / (nth - 1) : 0.0;
            for (size_t j = 0; j < i0Mixed.size(); ++j)
                i0Mixed[j] = (1.0 - w) * i0Line[j] + w * i0After[j];
            i0Row = i0Mixed.data();
        }
        const SampleCheck c = absorbanceRowChecked(i0Row, bgLine.empty() ? nullptr : bgLine.data(),
                                                   hSgm->intensityRow(p), hSgm->absorbRow(p), geom.nx,
                                                   sampleBad.data(), longestRepair);
        hSgm->invalid += c.invalid;
        hSgm->repaired += c.repaired;
        if (c.noCount && hSgm->blankRow < 0)
            hSgm->blankRow = p;
    }
}

QString logarithmRefusal(const ImgDatas& set, long long invalid, long long repaired, long long total, int blankRow,
                         double maxInvalid)
{
    if (blankRow >= 0)
        return QStringLiteral("projection %1 (%2) has no count above BG")
            .arg(blankRow)
            .arg(set.at(blankRow) ? set.at(blankRow)->fileName : QString());
    const long long left = invalid - repaired;
    if (total > 0 && double(left) > maxInvalid * double(total))
        return QStringLiteral("%1 of %2 samples (%3 %) have no logarithm (I0 - BG <= 0, I - BG <= 0 or not finite), "
                              "more than the limit of %4 %")
            .arg(left)
            .arg(total)
            .arg(100.0 * double(left) / double(total), 0, 'g', 3)
            .arg(100.0 * maxInvalid, 0, 'g', 3);
    return {};
}
