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

ImgDataMem* ImgDataMem::fromPixels(const QString& name, int w, int h, Sample s, QByteArray bytes, QString* why)
{
    auto* img = new ImgDataMem;
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
    if (width < 1 || height < 1 || pixels.size() != blockBytes())
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

double* ImgDataMem::readRow(int iy, double* out)
{
    if (!out)
        return out;
    const qint64 rowBytes = qint64(width) * sampleBytes(sample);
    if (iy < 0 || iy >= height || pixels.size() < (qint64(iy) + 1) * rowBytes) {
        std::fill(out, out + width, 0.0);
        return out;
    }
    const uchar* src = reinterpret_cast<const uchar*>(pixels.constData()) + qint64(iy) * rowBytes;
    const qint64 step = sampleBytes(sample);
    switch (sample) {
    case U8: convert<quint8>(src, out, width, step); break;
    case U16: convert<quint16>(src, out, width, step); break;
    case U32: convert<quint32>(src, out, width, step); break;
    case F32: convert<float>(src, out, width, step); break;
    case F64: convert<double>(src, out, width, step); break;
    }
    return out;
}

double* ImgDataMem::readColumn(int ix, double* out)
{
    if (!out)
        return out;
    if (ix < 0 || ix >= width || pixels.size() < blockBytes()) {
        std::fill(out, out + height, 0.0);
        return out;
    }
    const qint64 step = sampleBytes(sample);
    const uchar* src = reinterpret_cast<const uchar*>(pixels.constData()) + qint64(ix) * step;
    const qint64 stride = qint64(width) * step;
    switch (sample) {
    case U8: convert<quint8>(src, out, height, stride); break;
    case U16: convert<quint16>(src, out, height, stride); break;
    case U32: convert<quint32>(src, out, height, stride); break;
    case F32: convert<float>(src, out, height, stride); break;
    case F64: convert<double>(src, out, height, stride); break;
    }
    return out;
}
