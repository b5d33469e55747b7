#pragma once
// A reference image of a run (I0, BG, the I0 taken after the scan): one file,
// or several taken alike whose pixel-by-pixel mean is used.  Held by the
// session; the selector panels show it and hand it the files chosen.
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ImgData;

class ReferenceSet
{
public:
    ReferenceSet();
    ~ReferenceSet();
    ReferenceSet(const ReferenceSet&) = delete;
    ReferenceSet& operator=(const ReferenceSet&) = delete;

    // Replaces the set with files (append: adds them; an empty set is
    // replaced).  When one does not load, or the sizes differ, or the mean
    // cannot be made, the set is kept, the failure counted naming the file,
    // and failedName() names it (a run then refuses the set).
    bool take(const QStringList& files, bool append);
    void clear();

    // The files of the set, in the order they were given.
    QStringList files() const;
    int count() const { return int(sources.size()); }
    // The file that last failed to join the set; empty after a success.
    const QString& failedName() const { return failed; }
    // The name a run checks: the file that failed, else the set's first.
    QString name() const { return failed.isEmpty() ? files().value(0) : failed; }

    // The image the set stands for: its only image or the mean of all; null
    // when none.  The image set of the projections reads it through a
    // pointer to this member, so it changes only while no run reads it.
    ImgData* img = nullptr;

private:
    std::vector<std::unique_ptr<ImgData>> sources;
    std::unique_ptr<ImgData> mean; // with more than one source
    QString failed;
};
