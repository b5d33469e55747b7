#include "ProcCtrl.h"

#include <QButtonGroup>

namespace {
double corValue(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}
}

ProcCtrl::ProcCtrl(QWidget* parent)
    : QFrame(parent)
{
    setupUi(this);
    rotAxGroup = new QButtonGroup(this);
    rotAxGroup->addButton(RotAxH);
    rotAxGroup->addButton(RotAxV);
    rotAxGroup->setExclusive(true);

    rotAxIsV = RotAxV->isChecked();
    sliceNo = CtCond::sliceNumber(SliceNo->text());
    cor = corValue(Cor->text());

    connect(AutoUpdate, &QCheckBox::toggled, this, &ProcCtrl::autoUpdateUpdated);
    connect(AutoExecCtCalc, &QCheckBox::toggled, this, &ProcCtrl::autoExecUpdated);
    connect(SliceNo, &QLineEdit::editingFinished, this, &ProcCtrl::sliceNoEditingFinished);
    connect(Cor, &QLineEdit::editingFinished, this, &ProcCtrl::corEditingFinished);
    connect(rotAxGroup, &QButtonGroup::buttonClicked, this, &ProcCtrl::rotAxSelectionChanged);
    connect(CorAuto, &QPushButton::clicked, this, &ProcCtrl::corAutoRequested);
}

CtCond ProcCtrl::ctCond() const
{
    CtCond c;
    c.rotAxIsV = rotAxIsV;
    c.sliceNo = sliceNo;
    c.cor = cor;
    c.autoExec = AutoExecCtCalc->isChecked();
    c.setSeries(SliceFrom->text(), SliceTo->text(), SliceStep->text());
    c.threads = Threads->value();
    return c;
}

void ProcCtrl::sliceNoEditingFinished()
{
    const int v = CtCond::sliceNumber(SliceNo->text());
    if (v != sliceNo) {
        sliceNo = v;
        emit sliceNoUpdated();
    }
}

void ProcCtrl::corEditingFinished()
{
    const double v = corValue(Cor->text());
    // A NaN on either side counts as a change.
    if (!(v == cor)) {
        cor = v;
        emit corUpdated();
    }
}

void ProcCtrl::rotAxSelectionChanged(QAbstractButton*)
{
    const bool v = RotAxV->isChecked();
    if (v != rotAxIsV) {
        rotAxIsV = v;
        emit rotAxUpdated();
    }
}

void ProcCtrl::setCor(double c)
{
    if (c == cor)
        return;
    cor = c;
    Cor->setText(QString::number(c, 'g', 6));
    emit corUpdated();
}

void ProcCtrl::setSliceNo(int s)
{
    if (s == sliceNo)
        return;
    sliceNo = s;
    SliceNo->setText(QString::number(s));
    emit sliceNoUpdated();
}

void ProcCtrl::setSliceFrom(int from)
{
    SliceFrom->setText(QString::number(from));
}

void ProcCtrl::setSliceTo(int to)
{
    SliceTo->setText(QString::number(to));
}

void ProcCtrl::setSliceStep(int step)
{
    SliceStep->setText(QString::number(step));
}
