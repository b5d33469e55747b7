#pragma once
// One detector image bound to one file: size, rows and columns as double,
// value range, and rendering into an 8-bit grey picture through a colour scale.
#include <QImage>
#include <QString>

class ColorScale;

enum ImgFileType { ITEX = 0, TIFF = 1, Unsupported = 2 };

class ImgData;

bool isTiffFile(const QString& path);
bool isItexFile(const QString& path);
ImgFileType imgFileType(const QString& path);
// The caller owns the result; null for an unsupported type.
ImgData* newImgData(ImgFileType type);
// Why path cannot be read as an image file before anything opens it: a
// dangling link, a directory, FIFO or device (opening a FIFO would block), a
// missing or empty file. Empty when it is a regular file with bytes.
QString fileTypeProblem(const QString& path);
// The usual way to read a file: a reader of its type, loaded (preloaded by
// default), with `ready` telling whether that worked. The caller owns the
// result; null for a file that is no regular file or of no known type, with
// the reason in *why when given (a reader that failed keeps it in `error`).
ImgData* loadImgData(const QString& path, bool preload = true, QString* why = nullptr);

class ImgData
{
public:
    ImgData();
    virtual ~ImgData();
    ImgData(const ImgData&) = delete;
    ImgData& operator=(const ImgData&) = delete;

    virtual void resetReader() = 0;
    virtual bool readProps(const QString& fileName, qint32& width, qint32& height) = 0;
    virtual bool openData() = 0;
    // Fill out[0..width-1] with row iy and return out.
    virtual double* readRow(int iy, double* out) = 0;
    // Fill out[0..height-1] with column ix and return out.
    virtual double* readColumn(int ix, double* out) = 0;
    // Bytes of pixels this image holds in memory.
    virtual qint64 heldBytes() const { return 0; }

    bool load();
    // Logs text and the file name (path, or fileName when empty), keeps text
    // as the reason of the failure, returns false.
    bool fail(const QString& text, const QString& path = QString());
    void computeMinMax();
    void getMinMax(double& min, double& max);
    void renderTo(QImage& image, ColorScale* colorBar);

    bool ready = false;
    bool preload = true;
    double expTime = 1.0;
    qint32 width = 0;
    qint32 height = 0;
    QString fileName;
    // Why the last load failed; empty after a successful one.
    QString error;
    bool minMaxValid = false;
    double minValue;
    double maxValue;
    double* rowBuf = nullptr;
    double* colBuf = nullptr;
};
