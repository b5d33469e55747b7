#pragma once
// One page of a TIFF file as libtiff describes it, with its pixels read
// whole. Kept apart from the image classes because libtiff's TIFF type and
// the image file type TIFF share a name.
#include <QRect>
#include <QString>

#include <memory>

class TiffHandle;

class TiffPage
{
public:
    // The TIFF codes the image reader tells apart.
    enum Code {
        CompNone = 1, CompLzw = 5, CompOldJpeg = 6, CompJpeg = 7, CompAdobeDeflate = 8,
        CompPackBits = 32773, CompDeflate = 32946,
        FormatUInt = 1, FormatInt = 2, FormatFloat = 3,
        MinIsWhite = 0, MinIsBlack = 1
    };
    struct Layout
    {
        quint32 width = 0, height = 0;
        int samplesPerPixel = 1, bitsPerSample = 1, sampleFormat = FormatUInt;
        int photometric = -1;   // -1: not given
        int compression = CompNone;
        bool tiled = false;
        quint64 rowBytes = 0;   // bytes of one decoded row
        QString description;    // the image description tag, empty when none
    };

    TiffPage();
    ~TiffPage();
    TiffPage(const TiffPage&) = delete;
    TiffPage& operator=(const TiffPage&) = delete;

    // Opens path at page (from 0); false with the reason in error.
    bool open(const QString& path, int page);
    const Layout& layout() const { return lay; }
    // Decodes the whole page into dst, rows of rowBytes one after the other;
    // false with the reason in error.
    bool read(char* dst);
    // Decodes only the strips or tiles that cover rect, one after the other,
    // into dst: rect's rows of rect.width() pixels each. False with the
    // reason in error.
    bool readRect(char* dst, const QRect& rect);
    // Pages of path; 0 with the reason in *why when none can be read.
    static int pageCount(const QString& path, QString* why = nullptr);

    QString error;

private:
    std::unique_ptr<TiffHandle> h;
    Layout lay;
};
