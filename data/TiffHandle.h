#pragma once
// An open TIFF file whose library messages are kept instead of printed:
// libtiff writes errors and warnings to stderr by default, and a reader must
// turn them into the message of its own failure. Closed when destroyed.
// Include it only where ImgData.h is not: libtiff's type TIFF and the image
// file type TIFF share a name.
#include <QString>

#include <tiffio.h>

#include <cstdarg>

class TiffHandle
{
public:
    TiffHandle() = default;
    ~TiffHandle();
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    // Opens path for reading ("r": never memory-mapped, so a file cut short
    // while it is read gives a read error, not a bus error).
    bool openRead(const QString& path);
    // Writes to an open descriptor under the name shown in messages; the
    // descriptor is closed with the handle. bigTiff: 64-bit offsets, for
    // files past 4 GiB.
    bool openWrite(int fd, const QString& name, bool bigTiff = false);
    void close();

    TIFF* tif() const { return handle; }
    // The first error libtiff reported since the handle opened ("" if none).
    QString firstError() const { return errors; }
    // Tags of an uncompressed one-channel float32 image of width x height in
    // strips of rowsPerStrip rows; false when libtiff refuses one.
    bool setFloatImage(int width, int height, uint32_t rowsPerStrip) const;

private:
    static int onError(TIFF*, void* self, const char* module, const char* fmt, va_list ap);
    static int onWarning(TIFF*, void*, const char*, const char*, va_list);

    TIFF* handle = nullptr;
    QString errors;
};
