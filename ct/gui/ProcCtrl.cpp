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
    ui.setupUi(this);
    rotAxGroup = new QButtonGroup(this);
    rotAxGroup->addButton(ui.RotAxH);
    rotAxGroup->addButton(ui.RotAxV);
    rotAxGroup->setExclusive(true);

    // The filter table decides what the box offers.
    ui.Filter->addItems(FbpFilter::names());
    ui.Filter->setCurrentText(FbpFilter().name);
    ui.Angles->addItems(CtCond::angularRangeNames());
    ui.Binning->addItems(SettingTable::byKey(QStringLiteral("binning"))->choices());
    for (QLineEdit* e : {ui.SliceNo, ui.SliceFrom, ui.SliceTo, ui.SliceStep})
        FieldWidth::fit(e, FieldWidth::count());
    FieldWidth::fit(ui.Cor, FieldWidth::position());
    FieldWidth::fit(ui.FilterCutoff, FieldWidth::setting());
    FieldWidth::fit(ui.PixelSize, FieldWidth::setting());
    FieldWidth::fit(ui.Paganin, FieldWidth::position());

    rotAxIsV = ui.RotAxV->isChecked();
    sliceNo = CtCond::sliceNumber(ui.SliceNo->text());
    cor = corValue(ui.Cor->text());
    connectFields();

    connect(ui.AutoUpdate, &QCheckBox::toggled, this, &ProcCtrl::autoUpdateUpdated);
    connect(ui.Zinger, &QDoubleSpinBox::valueChanged, this, &ProcCtrl::correctionsUpdated);
    connect(ui.Paganin, &QLineEdit::editingFinished, this, &ProcCtrl::correctionsUpdated);
    connect(ui.Binning, &QComboBox::currentTextChanged, this, &ProcCtrl::correctionsUpdated);
    connect(ui.Angles, &QComboBox::currentTextChanged, this, &ProcCtrl::correctionsUpdated);
    connect(ui.AutoExecCtCalc, &QCheckBox::toggled, this, &ProcCtrl::autoExecUpdated);
    connect(ui.Threads, &QSpinBox::valueChanged, this, &ProcCtrl::threadsUpdated);
    connect(ui.RingSize, &QSpinBox::valueChanged, this, &ProcCtrl::ringSizeUpdated);
    connect(ui.LoadSliceRowsOnly, &QCheckBox::toggled, this, &ProcCtrl::sliceRowsOnlyUpdated);
    connect(ui.SliceNo, &QLineEdit::editingFinished, this, &ProcCtrl::sliceNoEditingFinished);
    connect(ui.Cor, &QLineEdit::editingFinished, this, &ProcCtrl::corEditingFinished);
    connect(rotAxGroup, &QButtonGroup::buttonClicked, this, &ProcCtrl::rotAxSelectionChanged);
    connect(ui.CorAuto, &QPushButton::clicked, this, &ProcCtrl::corAutoRequested);
    connect(ui.CorSweepButton, &QPushButton::clicked, this, &ProcCtrl::corSweepRequested);
}

void ProcCtrl::connectFields()
{
    CtCond& c = own;
    c.rotAxIsV = rotAxIsV;
    c.sliceNo = sliceNo;
    c.cor = cor;
    c.autoExec = ui.AutoExecCtCalc->isChecked();
    c.setSeries(ui.SliceFrom->text(), ui.SliceTo->text(), ui.SliceStep->text());
    c.threads = ui.Threads->value();
    c.filter.name = ui.Filter->currentText();
    c.filter.cutoff = optional(ui.FilterCutoff->text(), 1.0);
    c.pixelSizeUm = optional(ui.PixelSize->text(), 0.0);
    c.ringSize = ui.RingSize->value();
    CtCond::angularRange(ui.Angles->currentText(), c.angles);
    c.zingerThreshold = ui.Zinger->value();
    c.paganin = paganinOf(ui.Paganin->text());
    c.binning = ui.Binning->currentText().toInt();

    connect(ui.AutoExecCtCalc, &QCheckBox::toggled, this, [this](bool on) { cond->autoExec = on; });
    for (QLineEdit* e : {ui.SliceFrom, ui.SliceTo, ui.SliceStep})
        connect(e, &QLineEdit::textChanged, this, &ProcCtrl::readSeries);
    connect(ui.Threads, &QSpinBox::valueChanged, this, [this](int n) { cond->threads = n; });
    connect(ui.Filter, &QComboBox::currentTextChanged, this, [this](const QString& t) { cond->filter.name = t; });
    connect(ui.FilterCutoff, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!showing)
            cond->filter.cutoff = optional(t, 1.0);
    });
    connect(ui.PixelSize, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!showing)
            cond->pixelSizeUm = optional(t, 0.0);
    });
    connect(ui.RingSize, &QSpinBox::valueChanged, this, [this](int n) { cond->ringSize = n; });
    connect(ui.Angles, &QComboBox::currentTextChanged, this, [this](const QString& t) { CtCond::angularRange(t, cond->angles); });
    connect(ui.Zinger, &QDoubleSpinBox::valueChanged, this, [this](double v) { cond->zingerThreshold = v; });
    connect(ui.Paganin, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!showing)
            cond->paganin = paganinOf(t);
    });
    connect(ui.Binning, &QComboBox::currentTextChanged, this, [this](const QString& t) { cond->binning = t.toInt(); });
}

void ProcCtrl::readSeries()
{
    cond->setSeries(ui.SliceFrom->text(), ui.SliceTo->text(), ui.SliceStep->text());
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
    const int v = CtCond::sliceNumber(ui.SliceNo->text());
    if (v != sliceNo) {
        sliceNo = cond->sliceNo = v;
        emit sliceNoUpdated();
    }
}

void ProcCtrl::corEditingFinished()
{
    const double v = corValue(ui.Cor->text());
    // A NaN on either side counts as a change.
    if (!(v == cor)) {
        cor = cond->cor = v;
        emit corUpdated();
    }
}

void ProcCtrl::rotAxSelectionChanged(QAbstractButton*)
{
    const bool v = ui.RotAxV->isChecked();
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
    ui.Cor->setText(QString::number(c, 'g', 6));
    emit corUpdated();
}

void ProcCtrl::setSliceNo(int s)
{
    if (s == sliceNo)
        return;
    sliceNo = cond->sliceNo = s;
    ui.SliceNo->setText(QString::number(s));
    emit sliceNoUpdated();
}

void ProcCtrl::setSliceFrom(int from)
{
    ui.SliceFrom->setText(QString::number(from));
}

void ProcCtrl::setSliceTo(int to)
{
    ui.SliceTo->setText(QString::number(to));
}

void ProcCtrl::setSliceStep(int step)
{
    ui.SliceStep->setText(QString::number(step));
}

void ProcCtrl::setFilter(const FbpFilter& filter)
{
    ui.Filter->setCurrentText(filter.name);
    showing = true;
    ui.FilterCutoff->setText(QString::number(filter.cutoff, 'g', 6));
    showing = false;
    cond->filter = filter;
}

void ProcCtrl::setPixelSize(double um)
{
    showing = true;
    ui.PixelSize->setText(um > 0 ? QString::number(um, 'g', 6) : QString());
    showing = false;
    cond->pixelSizeUm = um;
}

void ProcCtrl::setAngles(AngularRange range)
{
    ui.Angles->setCurrentText(CtCond::angularRangeName(range));
}

void ProcCtrl::setRingSize(int size)
{
    ui.RingSize->setValue(size);
}

void ProcCtrl::setZinger(double threshold)
{
    ui.Zinger->setValue(threshold);
}

void ProcCtrl::setPaganin(const PaganinParams& params)
{
    cond->paganin = params;
    const QString text = params.on() ? params.text() : QString();
    if (text == ui.Paganin->text())
        return;
    showing = true;
    ui.Paganin->setText(text);
    showing = false;
    emit correctionsUpdated();
}

void ProcCtrl::setBinning(int factor)
{
    ui.Binning->setCurrentText(QString::number(factor));
}

QString ProcCtrl::sliceFromText() const
{
    return ui.SliceFrom->text();
}

QString ProcCtrl::sliceToText() const
{
    return ui.SliceTo->text();
}

int ProcCtrl::threads() const
{
    return ui.Threads->value();
}

void ProcCtrl::setThreads(int max, int value)
{
    ui.Threads->setMaximum(max);
    ui.Threads->setValue(value);
}

void ProcCtrl::setThreads(int value)
{
    ui.Threads->setValue(value);
}

int ProcCtrl::ringSize() const
{
    return ui.RingSize->value();
}

bool ProcCtrl::autoSinogram() const
{
    return ui.AutoUpdate->isChecked();
}

void ProcCtrl::setAutoSinogram(bool on)
{
    ui.AutoUpdate->setChecked(on);
}

bool ProcCtrl::autoExec() const
{
    return ui.AutoExecCtCalc->isChecked();
}

void ProcCtrl::setAutoExec(bool on)
{
    ui.AutoExecCtCalc->setChecked(on);
}

bool ProcCtrl::sliceRowsOnly() const
{
    return ui.LoadSliceRowsOnly->isChecked();
}

void ProcCtrl::setSliceRowsOnly(bool on)
{
    ui.LoadSliceRowsOnly->setChecked(on);
}

void ProcCtrl::showRotAx(bool vertical)
{
    QRadioButton* r = vertical ? ui.RotAxV : ui.RotAxH;
    r->setChecked(true);
    rotAxSelectionChanged(r);
}
