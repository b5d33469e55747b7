#include "TiffHandle.h"

#include <QFile>

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>

namespace {
// Large enough for any single strip or tile a sane file holds; a damaged
// directory that asks for more is refused by the library.
const tmsize_t kMaxSingleAlloc = tmsize_t(1) << 30;

TIFFOpenOptions* quietOptions(TiffHandle* self,
                              int (*err)(TIFF*, void*, const char*, const char*, va_list),
                              int (*warn)(TIFF*, void*, const char*, const char*, va_list))
{
    TIFFOpenOptions* o = TIFFOpenOptionsAlloc();
    if (!o)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(o, err, self);
    TIFFOpenOptionsSetWarningHandlerExtR(o, warn, self);
    TIFFOpenOptionsSetMaxSingleMemAlloc(o, kMaxSingleAlloc);
    return o;
}
} // namespace

TiffHandle::~TiffHandle()
{
    close();
}

int TiffHandle::onError(TIFF*, void* self, const char* module, const char* fmt, va_list ap)
{
    auto* h = static_cast<TiffHandle*>(self);
    if (h && h->errors.isEmpty()) {
        char buf[512];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        h->errors = QString::fromLocal8Bit(buf);
        if (module && *module)
            h->errors = QString::fromLocal8Bit(module) + QStringLiteral(": ") + h->errors;
    }
    return 1; // handled: the library's own stderr handler stays silent
}

int TiffHandle::onWarning(TIFF*, void*, const char*, const char*, va_list)
{
    // Unknown tags and the like: nothing a user can act on.
    return 1;
}

bool TiffHandle::openRead(const QString& path)
{
    close();
    errors.clear();
    TIFFOpenOptions* o = quietOptions(this, onError, onWarning);
    if (!o) {
        errors = QStringLiteral("out of memory");
        return false;
    }
    handle = TIFFOpenExt(QFile::encodeName(path).constData(), "rm", o);
    TIFFOpenOptionsFree(o);
    if (!handle && errors.isEmpty())
        errors = QStringLiteral("not a readable TIFF file");
    return handle != nullptr;
}

bool TiffHandle::openWrite(int fd, const QString& name, bool bigTiff)
{
    close();
    errors.clear();
    TIFFOpenOptions* o = quietOptions(this, onError, onWarning);
    if (!o) {
        errors = QStringLiteral("out of memory");
        return false;
    }
    handle = TIFFFdOpenExt(fd, QFile::encodeName(name).constData(), bigTiff ? "w8" : "w", o);
    TIFFOpenOptionsFree(o);
    if (!handle && errors.isEmpty())
        errors = QStringLiteral("can not start a TIFF file");
    return handle != nullptr;
}

void TiffHandle::close()
{
    if (handle)
        TIFFClose(handle);
    handle = nullptr;
}

bool TiffHandle::setFloatImage(int width, int height, uint32_t rowsPerStrip) const
{
    TIFF* tif = handle;
    return tif && TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width))
        && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height))
        && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1))
        && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(32))
        && TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(SAMPLEFORMAT_IEEEFP))
        && TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK))
        && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG))
        && TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE))
        && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
}
