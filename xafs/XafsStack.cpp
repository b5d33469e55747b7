#include "XafsStack.h"

#include "FileEnergy.h"
#include "Logging.h"
#include "MemoryBudget.h"
#include "TiffPage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>

namespace {

// What a file says of its image before its values are read.
struct Head
{
    QString why;           // empty when the file can be read
    bool tiff = false;
    int w = 0, h = 0;
    long long x0 = 0, z0 = 0;
    int side = 0;          // side of the whole slice, 0 when not told
};

bool isTiffName(const QString& name)
{
    const QString s = QFileInfo(name).suffix().toLower();
    return s == QLatin1String("tif") || s == QLatin1String("tiff");
}

// A region corner pair as the data file loops over it.
bool span(double a0, double a1, long long& first, int& n)
{
    if (!std::isfinite(a0) || !std::isfinite(a1) || std::fabs(a0) > 1e9 || std::fabs(a1) > 1e9)
        return false;
    first = (long long)std::trunc(a0);
    const long long end = (long long)std::ceil(a1);
    if (end - first < 1 || end - first > XafsStack::maxSide)
        return false;
    n = int(end - first);
    return true;
}

Head dataHead(const QString& path)
{
    Head h;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        h.why = QStringLiteral("can't open: ") + f.errorString();
        return h;
    }
    if (!f.readLine(64).startsWith("#ZUVO-CTImg")) {
        h.why = QStringLiteral("not a CT data file (no #ZUVO-CTImg line)");
        return h;
    }
    QMap<QString, double> range;
    for (int i = 0; i < 16; ++i) {
        const QByteArray line = f.readLine(256);
        if (!line.startsWith('#'))
            break;
        const int colon = line.indexOf(':');
        if (colon < 0)
            continue;
        bool ok = false;
        const double v = line.mid(colon + 1).trimmed().toDouble(&ok);
        if (ok)
            range[QString::fromLatin1(line.mid(1, colon - 1).trimmed())] = v;
    }
    const QStringList keys = {"Range_X0", "Range_Y0", "Range_X1", "Range_Y1"};
    for (const QString& k : keys)
        if (!range.contains(k)) {
            h.why = QStringLiteral("no %1 line in the header").arg(k);
            return h;
        }
    if (!span(range[keys[0]], range[keys[2]], h.x0, h.w) || !span(range[keys[1]], range[keys[3]], h.z0, h.h)
        || (long long)h.w * h.h > XafsStack::maxPixels) {
        h.why = QStringLiteral("empty or absurd region in the header");
        return h;
    }
    // Every pixel line takes at least "0\t0\t0\n": a header claiming more
    // pixels than the file can hold gets no memory.
    if (f.size() < qint64(h.w) * h.h * 6) {
        h.why = QStringLiteral("%1 bytes cannot hold the %2 x %3 pixels of the header's region").arg(f.size()).arg(h.w).arg(h.h);
        return h;
    }
    if (h.x0 == 0 && h.z0 == 0 && h.w == h.h)
        h.side = h.w;
    return h;
}

Head tiffHead(const QString& path, TiffPage& page)
{
    Head h;
    h.tiff = true;
    if (!page.open(path, 0)) {
        h.why = page.error;
        return h;
    }
    const TiffPage::Layout& l = page.layout();
    if (l.samplesPerPixel != 1 || l.bitsPerSample != 32 || l.sampleFormat != TiffPage::FormatFloat) {
        h.why = QStringLiteral("not a 32-bit float TIFF of one sample per pixel");
        return h;
    }
    if (l.width < 1 || l.height < 1 || l.width > quint32(XafsStack::maxSide) || l.height > quint32(XafsStack::maxSide)
        || qint64(l.width) * l.height > XafsStack::maxPixels) {
        h.why = QStringLiteral("absurd size %1 x %2").arg(l.width).arg(l.height);
        return h;
    }
    h.w = int(l.width);
    h.h = int(l.height);
    if (l.compression == TiffPage::CompNone && QFileInfo(path).size() < qint64(h.w) * h.h * 4) {
        h.why = QStringLiteral("file too short for %1 x %2 uncompressed floats").arg(h.w).arg(h.h);
        return h;
    }
    // The slice writer's description: "... x0=10 z0=20 ... image=256 ...".
    static const QRegularExpression field(QStringLiteral("\\b(x0|z0|image)=(-?\\d+)\\b"));
    auto it = field.globalMatch(l.description);
    while (it.hasNext()) {
        const auto m = it.next();
        const long long v = m.captured(2).toLongLong();
        if (m.captured(1) == QLatin1String("x0"))
            h.x0 = v;
        else if (m.captured(1) == QLatin1String("z0"))
            h.z0 = v;
        else if (v > 0 && v <= XafsStack::maxSide)
            h.side = int(v);
    }
    return h;
}

// The values of a data file whose head is h, into out (h.w x h.h floats).
QString readData(const QString& path, const Head& h, float* out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("can't open: ") + f.errorString();
    // A pixel line is well under 80 bytes; more is no CT data file of this size.
    const qint64 cap = qint64(h.w) * h.h * 80 + 4096;
    if (f.size() > cap)
        return QStringLiteral("file too large for its region");
    const QByteArray all = f.readAll();
    if (all.size() != f.size())
        return QStringLiteral("read error: ") + f.errorString();
    const char* p = all.constData();
    const char* end = p + all.size();
    std::vector<char> seen(size_t(h.w) * size_t(h.h), 0);
    long long lines = 0;
    int lineNo = 0;
    while (p < end) {
        const char* eol = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
        if (!eol)
            eol = end;
        ++lineNo;
        if (p < eol && *p != '#') {
            long long x = 0, z = 0;
            double v = 0;
            const char* q = p;
            auto skip = [&] { while (q < eol && (*q == '\t' || *q == ' ')) ++q; };
            auto r1 = std::from_chars(q, eol, x);
            q = r1.ptr;
            skip();
            auto r2 = std::from_chars(q, eol, z);
            q = r2.ptr;
            skip();
            auto r3 = std::from_chars(q, eol, v);
            q = r3.ptr;
            while (q < eol && (*q == '\r' || *q == ' ' || *q == '\t'))
                ++q;
            if (r1.ec != std::errc() || r2.ec != std::errc() || r3.ec != std::errc() || q != eol)
                return QStringLiteral("line %1 is no \"x z value\" line").arg(lineNo);
            if (!std::isfinite(v))
                return QStringLiteral("line %1: value is not finite").arg(lineNo);
            const long long i = x - h.x0, j = z - h.z0;
            if (i < 0 || i >= h.w || j < 0 || j >= h.h)
                return QStringLiteral("line %1: pixel (%2, %3) outside the region").arg(lineNo).arg(x).arg(z);
            const size_t at = size_t(j) * size_t(h.w) + size_t(i);
            if (seen[at])
                return QStringLiteral("line %1: pixel (%2, %3) given twice").arg(lineNo).arg(x).arg(z);
            seen[at] = 1;
            out[at] = float(v);
            ++lines;
        }
        p = eol + 1;
    }
    if (lines != (long long)h.w * h.h)
        return QStringLiteral("%1 pixel lines, the region has %2").arg(lines).arg((long long)h.w * h.h);
    return QString();
}

QString readTiff(TiffPage& page, const Head& h, float* out)
{
    const quint64 rowBytes = page.layout().rowBytes;
    if (rowBytes != quint64(h.w) * 4)
        return QStringLiteral("unexpected row length");
    if (!page.read(reinterpret_cast<char*>(out)))
        return page.error;
    for (size_t k = 0, n = size_t(h.w) * size_t(h.h); k < n; ++k)
        if (!std::isfinite(out[k]))
            return QStringLiteral("a value is not finite");
    return QString();
}

QString sizeText(const Head& h)
{
    return QStringLiteral("%1 x %2 at (%3, %4)").arg(h.w).arg(h.h).arg(h.x0).arg(h.z0);
}

} // namespace

void XafsStack::clear()
{
    *this = XafsStack();
}

bool XafsStack::load(const QString& directory, const QString& pat, QString* why)
{
    clear();
    dir = directory;
    pattern = pat;
    auto fail = [&](const QString& reason) {
        const QStringList keep = skipped;
        clear();
        dir = directory;
        pattern = pat;
        skipped = keep;
        if (why)
            *why = reason;
        return false;
    };
    const QDir d(directory);
    if (!d.exists())
        return fail(QStringLiteral("no directory %1").arg(directory));
    const QFileInfoList listing = d.entryInfoList({pat}, QDir::Files, QDir::Name);
    if (listing.isEmpty())
        return fail(QStringLiteral("no file matches %1 in %2").arg(pat, directory));

    struct Entry { QString path, name; double e; Head head; };
    std::vector<Entry> entries;
    for (const QFileInfo& fi : listing) {
        const QString name = fi.fileName();
        const QString field = energyField(name);
        const double e = field == name ? 0.0 : fieldEnergy(field);
        if (!(e > 0) || !std::isfinite(e)) {
            skipped << name + QStringLiteral(": no energy in the name");
            continue;
        }
        TiffPage page;
        Head h = isTiffName(name) ? tiffHead(fi.filePath(), page) : dataHead(fi.filePath());
        if (!h.why.isEmpty()) {
            skipped << name + QStringLiteral(": ") + h.why;
            continue;
        }
        entries.push_back({fi.filePath(), name, e, h});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.e < b.e; });
    // The size and region most files share is the stack's.
    QMap<QString, int> votes;
    for (const Entry& en : entries)
        ++votes[sizeText(en.head)];
    QString chosen;
    for (const Entry& en : entries)
        if (chosen.isEmpty() || votes[sizeText(en.head)] > votes[chosen])
            chosen = sizeText(en.head);
    std::vector<Entry> use;
    for (const Entry& en : entries) {
        if (sizeText(en.head) != chosen)
            skipped << en.name + QStringLiteral(": %1, the stack is %2").arg(sizeText(en.head), chosen);
        else if (!use.empty() && use.back().e == en.e)
            skipped << en.name + QStringLiteral(": energy %1 eV already taken by %2").arg(en.e).arg(use.back().name);
        else
            use.push_back(en);
    }
    if (use.empty())
        return fail(QStringLiteral("no usable file matches %1 in %2").arg(pat, directory));

    const Head& h0 = use.front().head;
    const qint64 bytes = qint64(use.size()) * h0.w * h0.h * qint64(sizeof(float));
    const qint64 budget = memoryBudgetBytes();
    if (budget >= 0 && bytes > budget)
        return fail(QStringLiteral("the stack needs %1, more than the %2 available").arg(megabytes(bytes), megabytes(budget)));
    try {
        values.assign(size_t(bytes / qint64(sizeof(float))), 0.0f);
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("out of memory for a stack of %1").arg(megabytes(bytes)));
    }
    width = h0.w;
    height = h0.h;
    x0 = h0.x0;
    z0 = h0.z0;
    int side = 0;
    size_t k = 0;
    for (const Entry& en : use) {
        float* out = values.data() + k * size_t(width) * size_t(height);
        QString err;
        if (en.head.tiff) {
            TiffPage page;
            err = page.open(en.path, 0) ? readTiff(page, en.head, out) : page.error;
        } else {
            err = readData(en.path, en.head, out);
        }
        if (!err.isEmpty()) {
            skipped << en.name + QStringLiteral(": ") + err;
            continue;
        }
        if (en.head.side > 0)
            side = en.head.side;
        energies.push_back(en.e);
        files << en.name;
        ++k;
    }
    if (k == 0)
        return fail(QStringLiteral("no file of %1 in %2 could be read").arg(pat, directory));
    values.resize(k * size_t(width) * size_t(height));
    values.shrink_to_fit();
    if (side > 0) {
        circleX = circleZ = circleR = 0.5 * side;
    } else {
        // A part of a slice of unknown size: every stored pixel counts (the
        // slice writer leaves those outside the circle at 0, and a spectrum
        // of zeros has no edge).
        circleX = x0 + 0.5 * width;
        circleZ = z0 + 0.5 * height;
        circleR = std::hypot(0.5 * width, 0.5 * height) + 1.0;
    }
    findGaps();
    findUnits();
    for (const QString& s : skipped)
        qCWarning(lcXafs).noquote() << QStringLiteral("Left out of the stack: ") + s;
    for (const QString& s : notes)
        qCWarning(lcXafs).noquote() << s;
    return true;
}

bool XafsStack::setImages(const std::vector<double>& e, int w, int h, std::vector<float> v, QString* why)
{
    clear();
    if (w < 1 || h < 1 || w > maxSide || h > maxSide || e.empty()
        || v.size() != e.size() * size_t(w) * size_t(h) || !std::is_sorted(e.begin(), e.end())) {
        if (why)
            *why = QStringLiteral("images and energies do not agree");
        return false;
    }
    energies = e;
    width = w;
    height = h;
    values = std::move(v);
    for (double x : e)
        files << QStringLiteral("%1 eV").arg(x);
    circleX = circleZ = 0;
    circleX = 0.5 * w;
    circleZ = 0.5 * h;
    circleR = 0.5 * std::min(w, h);
    findGaps();
    return true;
}

// A step more than half again as long as both its neighbours is taken for a
// missing energy (scans change their step gradually, not for one point).
void XafsStack::findGaps()
{
    const int n = count();
    for (int i = 1; i < n; ++i) {
        const double step = energies[size_t(i)] - energies[size_t(i - 1)];
        const double before = i >= 2 ? energies[size_t(i - 1)] - energies[size_t(i - 2)] : 0;
        const double after = i + 1 < n ? energies[size_t(i + 1)] - energies[size_t(i)] : 0;
        if ((before > 0 || after > 0) && step > 1.5 * std::max(before, after))
            notes << QStringLiteral("No file between %1 and %2 eV (a step of %3 eV among steps of %4 eV)")
                         .arg(energies[size_t(i - 1)]).arg(energies[size_t(i)]).arg(step).arg(std::max(before, after));
    }
}

// Slices saved with a pixel size have a run report beside them that turns
// their values into mu in 1/cm; every file must have the same factor.
void XafsStack::findUnits()
{
    const QDir d(dir);
    QMap<QString, double> factor;
    for (const QFileInfo& fi : d.entryInfoList({QStringLiteral("*run.json")}, QDir::Files)) {
        QFile f(fi.filePath());
        if (fi.size() > (64 << 20) || !f.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
        const QJsonObject u = o.value(QStringLiteral("units")).toObject();
        const bool ct1 = o.value(QStringLiteral("calculator")).toString() == QLatin1String("CT1");
        const double v = u.value(ct1 ? QStringLiteral("ct1ValueToPerCm") : QStringLiteral("ct2ValueToPerCm")).toDouble();
        if (!(v > 0))
            continue;
        for (const QJsonValue& w : o.value(QStringLiteral("written")).toArray())
            factor[QFileInfo(w.toString()).fileName()] = v;
    }
    double common = 0;
    for (const QString& name : files) {
        const double v = factor.value(name, 0.0);
        if (!(v > 0) || (common > 0 && std::fabs(v - common) > 1e-9 * common))
            return;
        common = v;
    }
    if (common > 0) {
        scale = common;
        unit = QStringLiteral("1/cm");
        for (float& v : values)
            v = float(v * common);
    }
}

bool XafsStack::inCircle(int i, int j) const
{
    // The same test as the back-projection's: pixel index against the centre.
    const double dx = double(x0 + i) - circleX, dz = double(z0 + j) - circleZ;
    return std::sqrt(dx * dx + dz * dz) < circleR;
}

std::vector<size_t> XafsStack::pixelsOf(const XafsRoi& roi) const
{
    std::vector<size_t> out;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            if (roi.contains(x0 + i, z0 + j) && inCircle(i, j))
                out.push_back(size_t(j) * size_t(width) + size_t(i));
    return out;
}

XafsSpectrum XafsStack::spectrum(const XafsRoi& roi) const
{
    XafsSpectrum s;
    const std::vector<size_t> px = pixelsOf(roi);
    s.pixels = int(px.size());
    if (px.empty())
        return s;
    for (int k = 0; k < count(); ++k) {
        const float* img = image(k);
        double sum = 0;
        for (size_t p : px)
            sum += img[p];
        const double mean = sum / double(px.size());
        double ss = 0;
        for (size_t p : px)
            ss += (img[p] - mean) * (img[p] - mean);
        s.energy.push_back(energies[size_t(k)]);
        s.mu.push_back(mean);
        s.sigma.push_back(px.size() > 1 ? std::sqrt(ss / double(px.size() - 1)) : 0.0);
    }
    return s;
}
