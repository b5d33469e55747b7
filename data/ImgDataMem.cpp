#include "ImgDataMem.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

template<typename T>
void convert(const uchar* src, double* out, int n, qint64 stride)
{
    for (int i = 0; i < n; ++i, src += stride) {
        T v;
        std::memcpy(&v, src, sizeof v);
        out[i] = double(v);
    }
}

template<typename T>
bool finite(const QByteArray& bytes)
{
    const qsizetype n = bytes.size() / qsizetype(sizeof(T));
    const uchar* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (qsizetype i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, p + i * qsizetype(sizeof(T)), sizeof v);
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

} // namespace

int ImgDataMem::sampleBytes(Sample s)
{
    switch (s) {
    case U8:
        return 1;
    case U16:
        return 2;
    case U32:
    case F32:
        return 4;
    case F64:
        return 8;
    }
    return 0;
}

ImgDataMem* ImgDataMem::fromPixels(const QString& name, int w, int h, Sample s, QByteArray bytes, QString* why,
                                    const LineBand& band)
{
    auto* img = new ImgDataMem;
    img->band = band;
    img->fileName = name;
    img->width = w;
    img->height = h;
    img->sample = s;
    img->pixels = std::move(bytes);
    img->ready = img->load();
    if (!img->ready) {
        if (why)
            *why = img->error;
        delete img;
        return nullptr;
    }
    return img;
}

void ImgDataMem::resetReader()
{
    pixels.clear();
}

qint64 ImgDataMem::blockBytes() const
{
    return qint64(width) * qint64(height) * sampleBytes(sample);
}

bool ImgDataMem::allFinite() const
{
    if (sample == F32)
        return finite<float>(pixels);
    if (sample == F64)
        return finite<double>(pixels);
    return true;
}

bool ImgDataMem::readProps(const QString&, qint32& w, qint32& h)
{
    if (width < 1 || height < 1 || heldRect().isEmpty() || pixels.size() != bandBytes())
        return fail(QStringLiteral("Image size does not match its pixels (%1 x %2, %3 bytes):")
                        .arg(width).arg(height).arg(pixels.size()));
    if (!allFinite()) {
        fail(QStringLiteral("Image has NaN or infinite pixel values:"));
        error.chop(1); // the colon leads to the name in the log only
        return false;
    }
    w = width;
    h = height;
    return true;
}

namespace {
// The converter of a sample kind, for the held-pixel readers.
void (*converter(ImgDataMem::Sample s))(const uchar*, double*, int, qint64)
{
    switch (s) {
    case ImgDataMem::U8: return convert<quint8>;
    case ImgDataMem::U16: return convert<quint16>;
    case ImgDataMem::U32: return convert<quint32>;
    case ImgDataMem::F32: return convert<float>;
    case ImgDataMem::F64: return convert<double>;
    }
    return convert<quint16>;
}
} // namespace

double* ImgDataMem::readRow(int iy, double* out)
{
    if (!out)
        return out;
    return readHeldRow(pixels, sampleBytes(sample), iy, out, converter(sample));
}

double* ImgDataMem::readColumn(int ix, double* out)
{
    if (!out)
        return out;
    return readHeldColumn(pixels, sampleBytes(sample), ix, out, converter(sample));
}
