#include "ProcCtrl.h"

#include "FieldWidth.h"
#include "SettingTable.h"

#include <QButtonGroup>

#include <limits>

namespace {
double corValue(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}

// Text that is no number is NaN, so the run is refused with a message
// instead of running with a made-up value; empty text is `empty`.
double optional(const QString& text, double empty)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return empty;
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

// Text that does not parse refuses the run with the parser's reason rather
// than running without retrieval.
PaganinParams paganinOf(const QString& text)
{
    PaganinParams p;
    if (!text.trimmed().isEmpty() && !PaganinParams::parse(text, p, nullptr))
        p.deltaBeta = std::numeric_limits<double>::quiet_NaN();
    return p;
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

    // The filter table decides what the box offers.
    Filter->addItems(FbpFilter::names());
    Filter->setCurrentText(FbpFilter().name);
    Angles->addItems(CtCond::angularRangeNames());
    Binning->addItems(SettingTable::byKey(QStringLiteral("binning"))->choices());
    for (QLineEdit* e : {SliceNo, SliceFrom, SliceTo, SliceStep})
        FieldWidth::fit(e, FieldWidth::count());
    FieldWidth::fit(Cor, FieldWidth::position());
    FieldWidth::fit(FilterCutoff, FieldWidth::setting());
    FieldWidth::fit(PixelSize, FieldWidth::setting());
    FieldWidth::fit(Paganin, FieldWidth::position());

    rotAxIsV = RotAxV->isChecked();
    sliceNo = CtCond::sliceNumber(SliceNo->text());
    cor = corValue(Cor->text());
    connectFields();

    connect(AutoUpdate, &QCheckBox::toggled, this, &ProcCtrl::autoUpdateUpdated);
    connect(Zinger, &QDoubleSpinBox::valueChanged, this, &ProcCtrl::correctionsUpdated);
    connect(Paganin, &QLineEdit::editingFinished, this, &ProcCtrl::correctionsUpdated);
    connect(Binning, &QComboBox::currentTextChanged, this, &ProcCtrl::correctionsUpdated);
    connect(Angles, &QComboBox::currentTextChanged, this, &ProcCtrl::correctionsUpdated);
    connect(AutoExecCtCalc, &QCheckBox::toggled, this, &ProcCtrl::autoExecUpdated);
    connect(SliceNo, &QLineEdit::editingFinished, this, &ProcCtrl::sliceNoEditingFinished);
    connect(Cor, &QLineEdit::editingFinished, this, &ProcCtrl::corEditingFinished);
    connect(rotAxGroup, &QButtonGroup::buttonClicked, this, &ProcCtrl::rotAxSelectionChanged);
    connect(CorAuto, &QPushButton::clicked, this, &ProcCtrl::corAutoRequested);
    connect(CorSweepButton, &QPushButton::clicked, this, &ProcCtrl::corSweepRequested);
}

void ProcCtrl::connectFields()
{
    CtCond& c = own;
    c.rotAxIsV = rotAxIsV;
    c.sliceNo = sliceNo;
    c.cor = cor;
    c.autoExec = AutoExecCtCalc->isChecked();
    c.setSeries(SliceFrom->text(), SliceTo->text(), SliceStep->text());
    c.threads = Threads->value();
    c.filter.name = Filter->currentText();
    c.filter.cutoff = optional(FilterCutoff->text(), 1.0);
    c.pixelSizeUm = optional(PixelSize->text(), 0.0);
    c.ringSize = RingSize->value();
    CtCond::angularRange(Angles->currentText(), c.angles);
    c.zingerThreshold = Zinger->value();
    c.paganin = paganinOf(Paganin->text());
    c.binning = Binning->currentText().toInt();

    connect(AutoExecCtCalc, &QCheckBox::toggled, this, [this](bool on) { cond->autoExec = on; });
    for (QLineEdit* e : {SliceFrom, SliceTo, SliceStep})
        connect(e, &QLineEdit::textChanged, this, &ProcCtrl::readSeries);
    connect(Threads, &QSpinBox::valueChanged, this, [this](int n) { cond->threads = n; });
    connect(Filter, &QComboBox::currentTextChanged, this, [this](const QString& t) { cond->filter.name = t; });
    connect(FilterCutoff, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!showing)
            cond->filter.cutoff = optional(t, 1.0);
    });
    connect(PixelSize, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!showing)
            cond->pixelSizeUm = optional(t, 0.0);
    });
    connect(RingSize, &QSpinBox::valueChanged, this, [this](int n) { cond->ringSize = n; });
    connect(Angles, &QComboBox::currentTextChanged, this, [this](const QString& t) { CtCond::angularRange(t, cond->angles); });
    connect(Zinger, &QDoubleSpinBox::valueChanged, this, [this](double v) { cond->zingerThreshold = v; });
    connect(Paganin, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!showing)
            cond->paganin = paganinOf(t);
    });
    connect(Binning, &QComboBox::currentTextChanged, this, [this](const QString& t) { cond->binning = t.toInt(); });
}

void ProcCtrl::readSeries()
{
    cond->setSeries(SliceFrom->text(), SliceTo->text(), SliceStep->text());
}

void ProcCtrl::bindTo(CtCond* c)
{
    CtCond mine = *cond;
    mine.ct1 = c->ct1;
    mine.ct2 = c->ct2;
    mine.maxInvalid = c->maxInvalid;
    *c = mine;
    cond = c;
}

void ProcCtrl::sliceNoEditingFinished()
{
    const int v = CtCond::sliceNumber(SliceNo->text());
    if (v != sliceNo) {
        sliceNo = cond->sliceNo = v;
        emit sliceNoUpdated();
    }
}

void ProcCtrl::corEditingFinished()
{
    const double v = corValue(Cor->text());
    // A NaN on either side counts as a change.
    if (!(v == cor)) {
        cor = cond->cor = v;
        emit corUpdated();
    }
}

void ProcCtrl::rotAxSelectionChanged(QAbstractButton*)
{
    const bool v = RotAxV->isChecked();
    if (v != rotAxIsV) {
        rotAxIsV = cond->rotAxIsV = v;
        emit rotAxUpdated();
    }
}

void ProcCtrl::setCor(double c)
{
    if (c == cor)
        return;
    cor = cond->cor = c;
    Cor->setText(QString::number(c, 'g', 6));
    emit corUpdated();
}

void ProcCtrl::setSliceNo(int s)
{
    if (s == sliceNo)
        return;
    sliceNo = cond->sliceNo = s;
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

void ProcCtrl::setFilter(const FbpFilter& filter)
{
    Filter->setCurrentText(filter.name);
    showing = true;
    FilterCutoff->setText(QString::number(filter.cutoff, 'g', 6));
    showing = false;
    cond->filter = filter;
}

void ProcCtrl::setPixelSize(double um)
{
    showing = true;
    PixelSize->setText(um > 0 ? QString::number(um, 'g', 6) : QString());
    showing = false;
    cond->pixelSizeUm = um;
}

void ProcCtrl::setAngles(AngularRange range)
{
    Angles->setCurrentText(CtCond::angularRangeName(range));
}

void ProcCtrl::setRingSize(int size)
{
    RingSize->setValue(size);
}

void ProcCtrl::setZinger(double threshold)
{
    Zinger->setValue(threshold);
}

void ProcCtrl::setPaganin(const PaganinParams& params)
{
    cond->paganin = params;
    const QString text = params.on() ? params.text() : QString();
    if (text == Paganin->text())
        return;
    showing = true;
    Paganin->setText(text);
    showing = false;
    emit correctionsUpdated();
}

void ProcCtrl::setBinning(int factor)
{
    Binning->setCurrentText(QString::number(factor));
}
