#include "WorkStatus.h"

#include "XafsJob.h"

#include "Session.h"
#include "WorkProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

WorkStatus::WorkStatus(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusRow"));
    setSizeGripEnabled(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    workText = new QLabel(this);
    workText->setObjectName(QStringLiteral("WorkText"));
    workBar = new QProgressBar(this);
    workBar->setObjectName(QStringLiteral("WorkProgress"));
    workBar->setRange(0, 1);
    workBar->setValue(0);
    workBar->setMinimumWidth(160);
    stopBtn = new QPushButton(tr("Stop"), this);
    stopBtn->setObjectName(QStringLiteral("StopWork"));
    stopBtn->setToolTip(tr("Ends a run after the slices in progress, or cancels a load (the loaded series stays)"));
    countText = new QLabel(this);
    countText->setObjectName(QStringLiteral("ProblemCount"));
    addWidget(workBar, 1);
    addWidget(workText, 2);
    addWidget(stopBtn);
    addPermanentWidget(countText);
    connect(stopBtn, &QPushButton::clicked, this, &WorkStatus::stopRequested);
}

void WorkStatus::showCounts(int warnings, int errors)
{
    countText->setText(tr("Warnings %1, errors %2").arg(warnings).arg(errors));
    countText->setStyleSheet(errors > 0     ? QStringLiteral("background-color: rgb(255, 190, 190);")
                             : warnings > 0 ? QStringLiteral("background-color: rgb(255, 240, 160);")
                                            : QString());
}

void WorkStatus::loadEnded(bool cancelled, double seconds)
{
    lastWorkWasLoad = true;
    lastLoadCancelled = cancelled;
    lastLoadSeconds = seconds;
}

void WorkStatus::showWork(const Session& s, bool sequenceActive, const XafsJob* xafs)
{
    const CtRun& run = s.run();
    WorkProgress p;
    QString text;
    const int computing = run.pendingCount();
    if (s.loading) {
        p.done = s.loadDone();
        p.total = s.loadTotal();
        p.elapsedMs = s.loadMs();
        text = p.done > 0 ? tr("Loading %1/%2 files, %3 files/s, %4 s left")
                                .arg(p.done).arg(p.total).arg(p.rate(), 0, 'f', 1).arg(p.secondsLeft(), 0, 'f', 0)
                          : tr("Loading %1/%2 files").arg(p.done).arg(p.total);
        stopBtn->setText(tr("Cancel"));
    } else if (xafs && xafs->busy()) {
        p = WorkProgress{xafs->progress.done.load(), xafs->progress.total.load(), 0};
        text = p.total > 0 ? tr("XAFS: %1, %2/%3").arg(xafs->title()).arg(p.done).arg(p.total)
                           : tr("XAFS: %1").arg(xafs->title());
        stopBtn->setText(tr("Cancel"));
    } else {
        p = run.progress();
        if (run.correcting())
            text = run.active ? tr("Correcting the projections %1/%2").arg(p.done).arg(p.total)
                              : tr("Stopped, ending the correction of the projections");
        else if (run.active)
            text = p.done > 0 ? tr("Slices %1/%2, %3 slices/s, %4 s left")
                                    .arg(p.done).arg(p.total).arg(p.rate(), 0, 'f', 2).arg(p.secondsLeft(), 0, 'f', 0)
                              : tr("Slices %1/%2").arg(p.done).arg(p.total);
        else if (computing > 0)
            text = tr("Stopped, finishing the slices in progress (%1 left)").arg(computing);
        else if (lastWorkWasLoad) {
            p = WorkProgress{s.loadDone(), s.loadTotal(), 0};
            text = lastLoadCancelled ? tr("Loading cancelled after %1 of %2 files").arg(p.done).arg(p.total)
                                     : tr("Loaded %1 files in %2 s").arg(p.done).arg(lastLoadSeconds, 0, 'g', 3);
        } else if (run.startTime.isValid())
            text = tr("Last run: %1/%2 slices in %3 s").arg(p.done).arg(p.total).arg(run.spentSeconds(), 0, 'g', 4);
        else
            p = WorkProgress();
        stopBtn->setText(tr("Stop"));
    }
    workBar->setRange(0, std::max(1, p.total));
    workBar->setValue(std::min(p.done, std::max(1, p.total)));
    workText->setText(text);
    stopBtn->setEnabled(s.loading || run.active || sequenceActive || (xafs && xafs->busy()));
}
