#include "SeriesLoader.h"

#include "H5Scan.h"

#include <QElapsedTimer>

SeriesLoader::SeriesLoader(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<SeriesLoadPtr>("SeriesLoadPtr");
}

void SeriesLoader::load(int id, const QStringList& files, const LineBand& lines)
{
    auto r = std::make_shared<SeriesLoad>();
    r->id = id;
    r->files = files;
    r->images.reserve(size_t(files.size()));
    const int total = int(files.size());
    QElapsedTimer sinceReport;
    sinceReport.start();
    emit progressed(id, 0, total);
    for (int i = 0; i < total; ++i) {
        if (cancelRequested) {
            r->cancelled = true;
            break;
        }
        QString why;
        r->images.emplace_back(loadImgData(files.at(i), true, &why, lines));
        r->errors << why;
        if (i + 1 == total || sinceReport.elapsed() >= reportEveryMs) {
            sinceReport.restart();
            emit progressed(id, i + 1, total);
        }
    }
    emit finished(r);
}

void SeriesLoader::loadSeriesFile(int id, const QString& file, bool h5, ImgDatas* set)
{
    auto r = std::make_shared<SeriesLoad>();
    r->id = id;
    r->files = QStringList{file};
    r->set.reset(set);
    emit progressed(id, 0, 1);
    r->whole = h5 ? loadH5Scan(file, *set, nullptr, &cancelRequested) : set->addTiffStack(file, &cancelRequested);
    r->cancelled = cancelRequested;
    emit progressed(id, 1, 1);
    emit finished(r);
}
