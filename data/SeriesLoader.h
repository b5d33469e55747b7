#pragma once
// Reads the image files of a series in a thread of its own, so the window
// stays live while thousands of large projections load.  Nothing here
// touches the window's image set: the images come back as one value
// (SeriesLoad) that the owner adopts in its own thread.  A cancel ends the
// load between two files.
#include "ImgData.h"
#include "ImgDatas.h"

#include <QMetaType>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

struct SeriesLoad
{
    // The request this answers.
    int id = 0;
    QStringList files;
    // One entry per file read, in order: the image (null when it could not
    // be read) and why not.  Shorter than files after a cancel.
    std::vector<std::unique_ptr<ImgData>> images;
    QStringList errors;
    bool cancelled = false;
    // A series from one file (an HDF5 scan, a TIFF stack): the set it was
    // read into (made by the owner, only filled here) and whether it loaded whole.
    std::unique_ptr<ImgDatas> set;
    bool whole = false;
};
using SeriesLoadPtr = std::shared_ptr<SeriesLoad>;
Q_DECLARE_METATYPE(SeriesLoadPtr)

class SeriesLoader : public QObject
{
    Q_OBJECT
public:
    explicit SeriesLoader(QObject* parent = nullptr);

    // Set from any thread; the load in progress stops before its next file.
    // The owner clears it before asking for the next load.
    std::atomic<bool> cancelRequested{false};
    // Least time between two progressed() signals (the last file always
    // reports).  Default 100 ms.
    int reportEveryMs = 100;

signals:
    void progressed(int id, int done, int total);
    void finished(SeriesLoadPtr result);

public slots:
    // Reads the lines of files in order (preloaded, files closed) and
    // emits finished() with them; progressed() on the way.
    void load(int id, const QStringList& files, const LineBand& lines = LineBand());
    // Reads one file that is a whole series (h5: an HDF5 Data Exchange scan,
    // otherwise a multi-page TIFF file) into set, which finished() hands back.
    void loadSeriesFile(int id, const QString& file, bool h5, ImgDatas* set);
};
