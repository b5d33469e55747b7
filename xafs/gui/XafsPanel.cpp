#include "XafsPanel.h"

#include "ColorBar.h"
#include "ChCoord.h"
#include "ImgDispWPV.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QSplitter>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {
// Region colours, distinct on a grey picture and on white.
const QColor kColours[] = {QColor(230, 40, 40), QColor(30, 120, 230), QColor(20, 170, 60),
                           QColor(230, 150, 0), QColor(170, 50, 200), QColor(0, 170, 170)};
constexpr int kColourCount = int(sizeof(kColours) / sizeof(kColours[0]));

QDoubleSpinBox* energyBox(const QString& name, double value)
{
    auto* b = new QDoubleSpinBox;
    b->setObjectName(name);
    b->setRange(-5000, 5000);
    b->setDecimals(1);
    b->setSuffix(QStringLiteral(" eV"));
    b->setValue(value);
    b->setKeyboardTracking(false);
    return b;
}
} // namespace

XafsPanel::XafsPanel(XafsSession& session, XafsJob& job, QWidget* parent) : QFrame(parent), s(session), work(job)
{
    setObjectName(QStringLiteral("XafsPanel"));
    auto* top = new QGridLayout(this);
    top->setContentsMargins(2, 2, 2, 2);
    QPushButton* load = buildSourceRow(top);
    auto* split = new QSplitter(Qt::Horizontal);
    top->addWidget(split, 1, 0, 1, 6);
    top->setRowStretch(1, 1);
    split->addWidget(buildPictureSide());
    split->addWidget(buildPlotSide());
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    buildStatusRow(top);
    connectControls(load);
    refresh();
}

QPushButton* XafsPanel::buildSourceRow(QGridLayout* top)
{
    dir = new QLineEdit;
    dir->setObjectName(QStringLiteral("XafsDir"));
    dir->setPlaceholderText(tr("directory of slices"));
    pattern = new QLineEdit(QStringLiteral("*.dat"));
    pattern->setObjectName(QStringLiteral("XafsPattern"));
    auto* load = new QPushButton(tr("Load Stack"));
    load->setObjectName(QStringLiteral("XafsLoad"));
    top->addWidget(new QLabel(tr("Stack:")), 0, 0);
    top->addWidget(dir, 0, 1, 1, 3);
    top->addWidget(pattern, 0, 4);
    top->addWidget(load, 0, 5);
    return load;
}

QWidget* XafsPanel::buildPictureSide()
{
    auto* left = new QWidget;
    auto* lg = new QGridLayout(left);
    lg->setContentsMargins(0, 0, 0, 0);
    view = new QComboBox;
    view->setObjectName(QStringLiteral("XafsView"));
    view->addItems({tr("Slice at energy"), tr("E0 map"), tr("Edge jump map"), tr("Mask")});
    shape = new QComboBox;
    shape->setObjectName(QStringLiteral("XafsShape"));
    shape->addItems({tr("Rectangle"), tr("Circle")});
    shape->setToolTip(tr("Shape of a region dragged with Shift held"));
    energy = new QSlider(Qt::Horizontal);
    energy->setObjectName(QStringLiteral("XafsEnergy"));
    energyText = new QLabel;
    energyText->setMinimumWidth(90);
    lg->addWidget(view, 0, 0);
    lg->addWidget(shape, 0, 1);
    lg->addWidget(energy, 1, 0);
    lg->addWidget(energyText, 1, 1);
    disp = new ImgDispWPV;
    // Small enough for the pictures' side of a 1366-pixel screen beside the plot.
    disp->setMinimumSize(240, 240);
    lg->addWidget(disp, 2, 0, 1, 2);
    lg->setRowStretch(2, 1);
    return left;
}

QWidget* XafsPanel::buildPlotSide()
{
    auto* right = new QWidget;
    auto* rg = new QGridLayout(right);
    rg->setContentsMargins(0, 0, 0, 0);
    chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chartView = new QChartView(chart);
    chartView->setObjectName(QStringLiteral("XafsChart"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(280, 240);
    rg->addWidget(chartView, 0, 0, 1, 3);
    rg->setRowStretch(0, 1);
    const XafsRanges r = s.ranges();
    pre1 = energyBox(QStringLiteral("XafsPre1"), r.pre1);
    pre2 = energyBox(QStringLiteral("XafsPre2"), r.pre2);
    post1 = energyBox(QStringLiteral("XafsPost1"), r.post1);
    post2 = energyBox(QStringLiteral("XafsPost2"), r.post2);
    postOrder = new QComboBox;
    postOrder->setObjectName(QStringLiteral("XafsPostOrder"));
    postOrder->addItems({tr("line"), tr("quadratic")});
    threshold = new QDoubleSpinBox;
    threshold->setObjectName(QStringLiteral("XafsThreshold"));
    threshold->setRange(-1e9, 1e9);
    threshold->setDecimals(4);
    threshold->setKeyboardTracking(false);
    normalised = new QCheckBox(tr("Normalised"));
    normalised->setObjectName(QStringLiteral("XafsNormalised"));
    auto* clear = new QPushButton(tr("Clear Regions"));
    clear->setObjectName(QStringLiteral("XafsClear"));
    connect(clear, &QPushButton::clicked, this, &XafsPanel::clearRegions);
    // One range or setting a row, so the plot side stays narrow.
    rg->addWidget(new QLabel(tr("Pre-edge (from E0)")), 1, 0);
    rg->addWidget(pre1, 1, 1);
    rg->addWidget(pre2, 1, 2);
    rg->addWidget(new QLabel(tr("Post-edge")), 2, 0);
    rg->addWidget(post1, 2, 1);
    rg->addWidget(post2, 2, 2);
    rg->addWidget(new QLabel(tr("Post-edge fit")), 3, 0);
    rg->addWidget(postOrder, 3, 1);
    rg->addWidget(new QLabel(tr("Jump threshold")), 4, 0);
    rg->addWidget(threshold, 4, 1);
    rg->addWidget(normalised, 5, 0);
    rg->addWidget(clear, 5, 2);
    fitText = new QLabel;
    fitText->setObjectName(QStringLiteral("XafsFit"));
    fitText->setWordWrap(true);
    rg->addWidget(fitText, 6, 0, 1, 3);
    buildJobRows(rg);
    return right;
}

void XafsPanel::buildJobRows(QGridLayout* rg)
{
    fitMaps = new QPushButton(tr("Fraction Maps"));
    fitMaps->setObjectName(QStringLiteral("XafsFitMaps"));
    fitMaps->setToolTip(tr("Fits every pixel with the loaded references (xafs_references_load)"));
    classCount = new QSpinBox;
    classCount->setObjectName(QStringLiteral("XafsClassCount"));
    classCount->setRange(1, 32);
    classCount->setValue(3);
    classes = new QPushButton(tr("Classes"));
    classes->setObjectName(QStringLiteral("XafsClasses"));
    classes->setToolTip(tr("k-means classes of the spectra on their principal components"));
    rg->addWidget(fitMaps, 7, 0);
    rg->addWidget(classCount, 7, 1);
    rg->addWidget(classes, 7, 2);
    // Drift: a projection directory's energy sets against one energy.
    alignDir = new QLineEdit;
    alignDir->setObjectName(QStringLiteral("XafsAlignDir"));
    alignDir->setPlaceholderText(tr("directory of projections"));
    alignRef = energyBox(QStringLiteral("XafsAlignRef"), 0);
    alignRef->setRange(0, 1e6);
    alignRef->setToolTip(tr("Energy of the set the others are aligned to"));
    align = new QPushButton(tr("Align"));
    align->setObjectName(QStringLiteral("XafsAlign"));
    align->setToolTip(tr("Measures each energy set's shift against the reference energy and writes shifts.csv "
                         "beside the projections; runs then apply it (ct_energy_shifts)"));
    rg->addWidget(alignDir, 8, 0);
    rg->addWidget(alignRef, 8, 1);
    rg->addWidget(align, 8, 2);
    plotKind = new QComboBox;
    plotKind->setObjectName(QStringLiteral("XafsPlotKind"));
    plotKind->addItems({tr("Plot: spectra"), tr("Plot: shifts by energy")});
    rg->addWidget(plotKind, 9, 0, 1, 3);
}

// The running job's progress and its Cancel.
void XafsPanel::buildStatusRow(QGridLayout* top)
{
    progressText = new QLabel;
    progressBar = new QProgressBar;
    progressBar->setObjectName(QStringLiteral("XafsProgress"));
    cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName(QStringLiteral("XafsCancel"));
    top->addWidget(progressText, 2, 0, 1, 2);
    top->addWidget(progressBar, 2, 2, 1, 3);
    top->addWidget(cancel, 2, 5);
    for (QWidget* w : {static_cast<QWidget*>(progressText), static_cast<QWidget*>(progressBar), static_cast<QWidget*>(cancel)})
        w->setVisible(false);
}

void XafsPanel::connectControls(QPushButton* load)
{
    poll = new QTimer(this);
    poll->setInterval(100);
    connect(poll, &QTimer::timeout, this, &XafsPanel::showProgress);
    connect(cancel, &QPushButton::clicked, this, [this]() { work.cancel(); });
    connect(&work, &XafsJob::started, this, &XafsPanel::jobStarted);
    connect(&work, &XafsJob::finished, this, &XafsPanel::jobFinished);
    connect(fitMaps, &QPushButton::clicked, this, &XafsPanel::fitMapsClicked);
    connect(classes, &QPushButton::clicked, this, &XafsPanel::classesClicked);
    connect(align, &QPushButton::clicked, this, &XafsPanel::alignClicked);
    connect(plotKind, &QComboBox::currentIndexChanged, this, &XafsPanel::plot);

    connect(load, &QPushButton::clicked, this, &XafsPanel::loadClicked);
    for (QDoubleSpinBox* b : {pre1, pre2, post1, post2, threshold})
        connect(b, &QDoubleSpinBox::valueChanged, this, &XafsPanel::rangesEdited);
    connect(postOrder, &QComboBox::currentIndexChanged, this, &XafsPanel::rangesEdited);
    connect(normalised, &QCheckBox::toggled, this, &XafsPanel::plot);
    connect(view, &QComboBox::currentIndexChanged, this, &XafsPanel::render);
    connect(energy, &QSlider::valueChanged, this, &XafsPanel::render);
    connect(disp, &ImgDispWCBar::newBar, this, &XafsPanel::render);
    connect(disp, &ImgDisp::selectedAPoint, this, [this](double x, double z, MouseC::MStat st) {
        if (st == MouseC::L && !s.stack().isEmpty())
            pickPixel(x + double(s.stack().x0), z + double(s.stack().z0));
    });
    // After the picture's own handler has closed the selection.
    connect(disp, &DispAWLayout::mouseReleased0, this, &XafsPanel::released);
    connect(disp, &DispAWLayout::drawImage2, this, &XafsPanel::drawRegions);
    connect(disp, &ImgDispWPV::newPosInvY, this, &XafsPanel::showValue);
}

QColor XafsPanel::nextColour() const
{
    int used = 0;
    for (const Region& r : regions)
        used += r.pixel ? 0 : 1;
    return kColours[used % kColourCount];
}

void XafsPanel::addRegion(const XafsRoi& roi)
{
    if (work.busy())
        return;
    for (const Region& r : regions)
        if (!r.pixel && r.roi.shape == roi.shape && r.roi.x0 == roi.x0 && r.roi.z0 == roi.z0 && r.roi.x1 == roi.x1
            && r.roi.z1 == roi.z1)
            return;
    regions.append({roi, nextColour(), false});
    plot();
    disp->dispA->update();
}

void XafsPanel::pickPixel(double x, double z)
{
    if (work.busy())
        return;
    regions.erase(std::remove_if(regions.begin(), regions.end(), [](const Region& r) { return r.pixel; }),
                  regions.end());
    regions.prepend({XafsRoi::pixel(x, z), QColor(40, 40, 40), true});
    plot();
    disp->dispA->update();
}

void XafsPanel::clearRegions()
{
    regions.clear();
    plot();
    disp->dispA->update();
}

void XafsPanel::suggestSource(const QString& directory, const QString& namePattern)
{
    if (work.busy() || !s.stack().isEmpty())
        return;
    dir->setText(directory);
    pattern->setText(namePattern);
}

void XafsPanel::showView(int v)
{
    view->setCurrentIndex(std::clamp(v, 0, view->count() - 1));
}

void XafsPanel::showEnergy(int index)
{
    energy->setValue(index);
}

void XafsPanel::released()
{
    if (work.busy())
        return;
    if (!disp->selValid || s.stack().isEmpty())
        return;
    const double ox = double(s.stack().x0), oz = double(s.stack().z0);
    const double xa = disp->selX + ox, za = disp->selY + oz;
    const double xb = xa + disp->selW, zb = za + disp->selH;
    disp->selValid = false;
    if (shape->currentIndex() == 1)
        addRegion(XafsRoi::circle(0.5 * (xa + xb), 0.5 * (za + zb),
                                  0.5 * std::min(std::fabs(xb - xa), std::fabs(zb - za))));
    else
        addRegion(XafsRoi::rect(xa, za, xb, zb));
}

void XafsPanel::loadClicked()
{
    auto result = std::make_shared<XafsStack>();
    const QString d = dir->text(), p = pattern->text();
    if (work.start(tr("Loading stack"), [result, d, p](XafsProgress*, QString& why, int&) { return result->load(d, p, &why); }))
        loadedStack = result;
}

void XafsPanel::makeMaps()
{
    if (work.busy() || s.stack().isEmpty())
        return;
    auto result = std::make_shared<XafsMaps>();
    const XafsStack* st = &s.stack();
    const XafsRanges r = s.ranges();
    const double t = s.threshold();
    // The stack is only read meanwhile: edits wait for the job's end.
    if (work.start(tr("Edge maps"), [result, st, r, t](XafsProgress*, QString&, int&) {
            *result = XafsMaps::compute(*st, r, t);
            return true;
        })) {
        madeMaps = result;
        mapsGeneration = s.generation();
    }
}

void XafsPanel::alignClicked()
{
    const QString d = alignDir->text();
    const double ref = alignRef->value();
    const QString path = QDir(d).filePath(QStringLiteral("shifts.csv"));
    if (work.start(tr("Alignment"), [this, d, ref, path](XafsProgress* p, QString& why, int&) {
            return s.exportAlignment(d, ref, path, &why, p);
        }))
        shiftsPath = path;
}

void XafsPanel::rangesEdited()
{
    if (work.busy())
        return;
    if (filling)
        return;
    XafsRanges r = s.ranges();
    r.pre1 = pre1->value();
    r.pre2 = pre2->value();
    r.post1 = post1->value();
    r.post2 = post2->value();
    r.postOrder = postOrder->currentIndex() + 1;
    QString why;
    if (!s.setRanges(r, &why)) {
        fitText->setText(why);
        return;
    }
    s.setThreshold(threshold->value());
    emit edited();
    refresh();
}

void XafsPanel::refresh()
{
    if (work.busy())
        return;
    const XafsStack& st = s.stack();
    filling = true;
    const XafsRanges r = s.ranges();
    pre1->setValue(r.pre1);
    pre2->setValue(r.pre2);
    post1->setValue(r.post1);
    post2->setValue(r.post2);
    postOrder->setCurrentIndex(r.postOrder - 1);
    threshold->setValue(s.threshold());
    if (!st.dir.isEmpty()) {
        dir->setText(st.dir);
        pattern->setText(st.pattern);
    }
    energy->setRange(0, std::max(0, st.count() - 1));
    const QStringList extra = extraViews();
    while (view->count() > 4 + extra.size())
        view->removeItem(view->count() - 1);
    for (int i = 0; i < extra.size(); ++i) {
        if (4 + i < view->count())
            view->setItemText(4 + i, extra[i]);
        else
            view->addItem(extra[i]);
    }
    filling = false;
    if (shownGeneration != s.generation() && st.isEmpty())
        regions.clear();
    shownGeneration = s.generation();
    render();
    plot();
}

void XafsPanel::render()
{
    if (work.busy())
        return;
    const XafsStack& st = s.stack();
    const int k = std::clamp(energy->value(), 0, std::max(0, st.count() - 1));
    energyText->setText(st.isEmpty() ? QString() : QStringLiteral("%1 eV").arg(st.energies[size_t(k)], 0, 'f', 1));
    if (st.isEmpty()) {
        disp->image = QImage();
        disp->dispA->update();
        return;
    }
    const int v = view->currentIndex();
    std::vector<double> row(size_t(st.width));
    const std::vector<float>* x = extraMap(v);
    const XafsMaps* m = v > 0 && v < 4 ? s.currentMaps() : nullptr;
    if (v > 0 && v < 4 && !m) {
        // Made in the job; drawn when it ends.
        makeMaps();
        return;
    }
    const XafsMaps::Kind kind = v == 1 ? XafsMaps::E0 : v == 2 ? XafsMaps::Jump : XafsMaps::Mask;
    auto value = [&](int i, int j) -> double {
        const size_t at = size_t(j) * size_t(st.width) + size_t(i);
        if (x)
            return (*x)[at];
        if (!m)
            return st.at(k, i, j);
        return kind == XafsMaps::E0 ? m->e0[at] : kind == XafsMaps::Jump ? m->jump[at] : m->mask[at];
    };
    double lo = 0, hi = 1;
    if (x) {
        const auto mm = std::minmax_element(x->begin(), x->end());
        lo = *mm.first;
        hi = *mm.second > lo ? *mm.second : lo + 1;
    } else if (m) {
        if (!m->range(kind, lo, hi))
            lo = 0, hi = 1;
    } else {
        const float* p = st.image(k);
        const auto mm = std::minmax_element(p, p + size_t(st.width) * size_t(st.height));
        lo = *mm.first;
        hi = *mm.second;
    }
    ColorBar* bar = disp->CBar;
    if (!bar->isFixed())
        bar->autoMinMax(lo, hi);
    QImage img(st.width, st.height, QImage::Format_Grayscale8);
    for (int j = 0; j < st.height; ++j) {
        for (int i = 0; i < st.width; ++i)
            row[size_t(i)] = value(i, j);
        bar->levelRow(row.data(), img.scanLine(j), st.width);
    }
    const bool newSize = disp->image.size() != img.size();
    disp->image = img;
    if (newSize)
        disp->scaleSet = false;
    disp->newImage();
}

void XafsPanel::showValue(double x, double z)
{
    if (work.busy())
        return;
    const XafsStack& st = s.stack();
    const int i = int(std::trunc(x)), j = int(std::trunc(z));
    if (st.isEmpty() || x < 0 || z < 0 || i >= st.width || j >= st.height)
        return;
    const int v = view->currentIndex();
    const size_t at = size_t(j) * size_t(st.width) + size_t(i);
    if (const std::vector<float>* x = extraMap(v))
        disp->setVal((*x)[at]);
    else if (v == 0)
        disp->setVal(st.at(std::clamp(energy->value(), 0, st.count() - 1), i, j));
    else if (const XafsMaps* m = s.currentMaps(); !m)
        return;
    else if (v == 1)
        disp->setVal(m->e0[at]);
    else if (v == 2)
        disp->setVal(m->jump[at]);
    else
        disp->setVal(m->mask[at]);
}

void XafsPanel::drawRegions(QPainter* p)
{
    const XafsStack& st = s.stack();
    if (st.isEmpty())
        return;
    const ChCoord* c = disp->coord;
    const double ox = double(st.x0), oz = double(st.z0);
    p->save();
    p->setBrush(Qt::NoBrush);
    for (const Region& r : regions) {
        p->setPen(QPen(r.pixel ? QColor(255, 255, 0) : r.colour, 2));
        const XafsRoi& q = r.roi;
        if (q.shape == XafsRoi::Pixel) {
            const double x = std::floor(q.x0) - ox, z = std::floor(q.z0) - oz;
            p->drawRect(QRectF(QPointF(c->r2sX(x), c->r2sY(z)), QPointF(c->r2sX(x + 1), c->r2sY(z + 1))).normalized());
        } else if (q.shape == XafsRoi::Rect) {
            p->drawRect(QRectF(QPointF(c->r2sX(q.x0 - ox), c->r2sY(q.z0 - oz)),
                               QPointF(c->r2sX(q.x1 - ox), c->r2sY(q.z1 - oz))).normalized());
        } else {
            p->drawEllipse(QRectF(QPointF(c->r2sX(q.x0 - q.x1 - ox), c->r2sY(q.z0 - q.x1 - oz)),
                                  QPointF(c->r2sX(q.x0 + q.x1 - ox), c->r2sY(q.z0 + q.x1 - oz))).normalized());
        }
    }
    if (disp->selecting) {
        p->setPen(QPen(Qt::white, 1, Qt::DashLine));
        p->drawRect(QRectF(QPointF(c->r2sX(disp->selX), c->r2sY(disp->selY)),
                           QPointF(c->r2sX(disp->selX + disp->selW), c->r2sY(disp->selY + disp->selH))).normalized());
    }
    p->restore();
}

void XafsPanel::resetChart(const QString& yTitle)
{
    chart->removeAllSeries();
    // Removed axes are the caller's to delete; removed series are deleted.
    for (QAbstractAxis* a : chart->axes()) {
        chart->removeAxis(a);
        delete a;
    }
    auto* ax = new QValueAxis;
    ax->setTitleText(tr("Energy (eV)"));
    auto* ay = new QValueAxis;
    ay->setTitleText(yTitle);
    chart->addAxis(ax, Qt::AlignBottom);
    chart->addAxis(ay, Qt::AlignLeft);
}

void XafsPanel::attach(QAbstractSeries* series, bool inLegend)
{
    chart->addSeries(series);
    for (QAbstractAxis* a : chart->axes())
        series->attachAxis(a);
    if (!inLegend)
        for (QLegendMarker* mk : chart->legend()->markers(series))
            mk->setVisible(false);
}

void XafsPanel::plot()
{
    if (work.busy())
        return;
    if (plotKind->currentIndex() == 1) {
        plotShifts();
        return;
    }
    const XafsStack& st = s.stack();
    const bool norm = normalised->isChecked();
    resetChart(norm ? tr("normalised mu") : tr("mu (%1)").arg(st.unit));
    PlotSpan span;
    QStringList lines;
    int n = 0;
    for (const Region& r : regions) {
        const QString label = r.pixel ? tr("pixel (%1, %2)").arg(std::floor(r.roi.x0)).arg(std::floor(r.roi.z0))
                                      : tr("R%1").arg(++n);
        plotRegion(r, label, norm, span, lines);
    }
    if (!st.isEmpty()) {
        chart->axes(Qt::Horizontal).first()->setRange(st.energies.front(), st.energies.back());
        if (span.any && span.hi > span.lo) {
            const double pad = 0.05 * (span.hi - span.lo);
            chart->axes(Qt::Vertical).first()->setRange(span.lo - pad, span.hi + pad);
        }
    }
    if (st.isEmpty())
        lines << tr("No energy stack: choose a directory of slices and a pattern, then Load Stack.");
    else if (regions.isEmpty())
        lines << tr("%1 energies, %2 x %3 pixels. Click the picture for a pixel's spectrum, drag with Shift for a region.")
                     .arg(st.count()).arg(st.width).arg(st.height);
    for (const QString& sk : st.skipped)
        lines << tr("Left out: %1").arg(sk);
    fitText->setText(lines.join(QLatin1Char('\n')));
}

void XafsPanel::plotRegion(const Region& r, const QString& label, bool norm, PlotSpan& span, QStringList& lines)
{
    XafsSpectrum sp;
    XafsNormalize fit;
    QString why;
    const bool fitted = s.spectrum(r.roi, sp, fit, &why);
    if (sp.pixels == 0) {
        lines << label + QStringLiteral(": ") + why;
        return;
    }
    std::vector<double> y = sp.mu;
    double scale = 1;
    if (norm && fitted) {
        y = fit.normalised(sp.energy.data(), sp.mu.data(), int(sp.energy.size()));
        scale = 1.0 / fit.jump;
    }
    auto* mean = new QLineSeries;
    mean->setName(label);
    mean->setPen(QPen(r.colour, 2));
    // A region's spread about its mean as a band; a pixel has none.
    QLineSeries* upper = r.pixel ? nullptr : new QLineSeries;
    QLineSeries* lower = r.pixel ? nullptr : new QLineSeries;
    for (size_t i = 0; i < y.size(); ++i) {
        const double sd = upper ? sp.sigma[i] * std::fabs(scale) : 0;
        mean->append(sp.energy[i], y[i]);
        if (upper) {
            upper->append(sp.energy[i], y[i] + sd);
            lower->append(sp.energy[i], y[i] - sd);
        }
        span.add(y[i] - sd, y[i] + sd);
    }
    if (upper) {
        auto* band = new QAreaSeries(upper, lower);
        // The area does not own its edges; they go with it.
        upper->setParent(band);
        lower->setParent(band);
        QColor fill = r.colour;
        fill.setAlpha(50);
        band->setBrush(fill);
        band->setPen(Qt::NoPen);
        attach(band, false);
    }
    attach(mean);
    if (!fitted) {
        lines << label + QStringLiteral(": ") + why;
        return;
    }
    lines << tr("%1: E0 %2 eV, jump %3 (%4 px)").arg(label).arg(fit.e0, 0, 'f', 1).arg(fit.jump, 0, 'g', 4).arg(sp.pixels);
    if (!s.references().empty())
        plotReferenceFit(r, label, norm, lines);
    plotNormalisation(r, fit, norm, scale);
}

void XafsPanel::plotReferenceFit(const Region& r, const QString& label, bool norm, QStringList& lines)
{
    // The region's fractions, and its fit over the window.
    XafsLcfFit lf;
    XafsLcf l;
    XafsSpectrum ls;
    QString lwhy;
    if (!s.lcfRegion(r.roi, lf, l, ls, &lwhy)) {
        lines << QStringLiteral("   ") + lwhy;
        return;
    }
    QStringList parts;
    for (int a = 0; a < l.k(); ++a)
        parts << QStringLiteral("%1 %2 \u00b1 %3").arg(l.names[a]).arg(lf.fraction[size_t(a)], 0, 'f', 3).arg(lf.sigma[size_t(a)], 0, 'f', 3);
    lines << QStringLiteral("   ") + parts.join(QStringLiteral(", ")) + tr(", R-factor %1").arg(lf.rFactor, 0, 'g', 3);
    if (!norm)
        return;
    auto* fitLine = new QLineSeries;
    fitLine->setName(tr("%1 fit").arg(label));
    for (int i = 0; i < l.w(); ++i)
        fitLine->append(l.energies[size_t(i)], lf.fit[size_t(i)]);
    fitLine->setPen(QPen(r.colour.darker(200), 2, Qt::DashDotLine));
    attach(fitLine);
}

void XafsPanel::plotNormalisation(const Region& r, const XafsNormalize& fit, bool norm, double scale)
{
    // The fit lines over their ranges, and E0: what the normalisation used.
    const XafsRanges rg = s.ranges();
    auto* preLine = new QLineSeries;
    auto* postLine = new QLineSeries;
    for (int i = 0; i <= 20; ++i) {
        const double ea = fit.e0 + rg.pre1 + (rg.pre2 - rg.pre1) * i / 20.0;
        const double ec = fit.e0 + rg.post1 + (rg.post2 - rg.post1) * i / 20.0;
        preLine->append(ea, norm ? 0.0 : fit.preAt(ea));
        postLine->append(ec, norm ? (fit.postAt(ec) - fit.preAt(ec)) * scale : fit.postAt(ec));
    }
    for (QLineSeries* l : {preLine, postLine}) {
        l->setPen(QPen(r.colour.darker(150), 1.5, Qt::DashLine));
        attach(l, false);
    }
    auto* e0Line = new QLineSeries;
    e0Line->append(fit.e0, norm ? 0.0 : fit.preAt(fit.e0));
    e0Line->append(fit.e0, norm ? 1.0 : fit.postAt(fit.e0));
    e0Line->setPen(QPen(r.colour, 1, Qt::DotLine));
    attach(e0Line, false);
}

void XafsPanel::plotShifts()
{
    resetChart(tr("shift (pixels)"));
    const std::vector<XafsEnergyShift>& sh = s.lastShifts();
    auto* dx = new QLineSeries;
    dx->setName(tr("dx (columns)"));
    auto* dz = new QLineSeries;
    dz->setName(tr("dz (rows)"));
    auto* odd = new QScatterSeries;
    odd->setName(tr("questionable"));
    odd->setMarkerSize(9);
    double lo = 0, hi = 0;
    for (const XafsEnergyShift& e : sh) {
        dx->append(e.energy, e.dx);
        dz->append(e.energy, e.dz);
        if (e.questionable) {
            odd->append(e.energy, e.dx);
            odd->append(e.energy, e.dz);
        }
        lo = std::min({lo, e.dx - e.spreadX, e.dz - e.spreadZ});
        hi = std::max({hi, e.dx + e.spreadX, e.dz + e.spreadZ});
    }
    for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(dx), static_cast<QAbstractSeries*>(dz),
                                    static_cast<QAbstractSeries*>(odd)})
        attach(series);
    if (!sh.empty()) {
        chart->axes(Qt::Horizontal).first()->setRange(sh.front().energy, std::max(sh.back().energy, sh.front().energy + 1));
        chart->axes(Qt::Vertical).first()->setRange(lo - 0.5, hi + 0.5);
        fitText->setText(tr("%1 energy sets aligned, %2 questionable").arg(sh.size())
                             .arg(std::count_if(sh.begin(), sh.end(), [](const XafsEnergyShift& e) { return e.questionable; })));
    } else {
        fitText->setText(tr("No shifts yet: give a directory of projections and the reference energy, then Align."));
    }
}

QStringList XafsPanel::extraViews() const
{
    QStringList v;
    const XafsLcfMaps& m = s.lastLcfMaps();
    if (!m.fraction.empty() && m.width == s.stack().width && m.height == s.stack().height) {
        for (const QString& n : s.lastLcfNames())
            v << tr("Fraction: %1").arg(n);
        v << tr("Fraction sum") << tr("LCF R-factor");
    }
    if (!s.lastClusters().classMap.empty() && s.lastClusters().classMap.size() == s.stack().values.size() / std::max<size_t>(1, size_t(s.stack().count())))
        v << tr("Classes (%1)").arg(s.lastClusters().k);
    return v;
}

const std::vector<float>* XafsPanel::extraMap(int v) const
{
    if (v < 4)
        return nullptr;
    const XafsLcfMaps& m = s.lastLcfMaps();
    int i = v - 4;
    const bool lcf = !m.fraction.empty() && m.width == s.stack().width && m.height == s.stack().height;
    if (lcf) {
        const int n = int(m.fraction.size());
        if (i < n)
            return &m.fraction[size_t(i)];
        if (i == n)
            return &m.sum;
        if (i == n + 1)
            return &m.rFactor;
        i -= n + 2;
    }
    if (i == 0 && !s.lastClusters().classMap.empty())
        return &s.lastClusters().classMap;
    return nullptr;
}

void XafsPanel::fitMapsClicked()
{
    work.start(tr("Fraction maps"), [this](XafsProgress* p, QString& why, int&) { return s.computeLcfMaps(&why, p); });
}

void XafsPanel::classesClicked()
{
    const int k = classCount->value();
    work.start(tr("Classes"), [this, k](XafsProgress* p, QString& why, int&) { return s.computeClusters(k, &why, p); });
}

void XafsPanel::jobStarted()
{
    progressText->setText(work.title());
    progressBar->setRange(0, 0);
    for (QWidget* w : {static_cast<QWidget*>(progressText), static_cast<QWidget*>(progressBar), static_cast<QWidget*>(cancel)})
        w->setVisible(true);
    for (QWidget* w : {static_cast<QWidget*>(fitMaps), static_cast<QWidget*>(classes), static_cast<QWidget*>(dir),
                       static_cast<QWidget*>(pattern), static_cast<QWidget*>(disp), static_cast<QWidget*>(align)})
        w->setEnabled(false);
    poll->start();
    emit jobProgressed();
}

void XafsPanel::showProgress()
{
    const int total = work.progress.total.load(), done = work.progress.done.load();
    if (total > 0) {
        progressBar->setRange(0, total);
        progressBar->setValue(std::min(done, total));
    }
    emit jobProgressed();
}

void XafsPanel::jobFinished(bool ok, int, const QString& why)
{
    poll->stop();
    for (QWidget* w : {static_cast<QWidget*>(progressBar), static_cast<QWidget*>(cancel)})
        w->setVisible(false);
    for (QWidget* w : {static_cast<QWidget*>(fitMaps), static_cast<QWidget*>(classes), static_cast<QWidget*>(dir),
                       static_cast<QWidget*>(pattern), static_cast<QWidget*>(disp), static_cast<QWidget*>(align)})
        w->setEnabled(true);
    progressText->setText(ok ? tr("%1: done").arg(work.title()) : tr("%1: %2").arg(work.title(), why));
    emit jobProgressed();
    // What the job made as a value goes to the session now, in this thread.
    if (loadedStack) {
        s.takeStack(std::move(*loadedStack));
        loadedStack.reset();
        regions.clear();
        if (!ok)
            fitText->setText(why);
    }
    if (madeMaps) {
        s.takeMaps(std::move(*madeMaps), mapsGeneration);
        madeMaps.reset();
    }
    if (!shiftsPath.isEmpty()) {
        if (ok) {
            plotKind->setCurrentIndex(1);
            emit shiftsWritten(shiftsPath);
        }
        shiftsPath.clear();
    }
    const int before = view->count();
    refresh();
    // A new result is shown at once.
    if (ok && view->count() > before)
        view->setCurrentIndex(before);
    emit edited();
}
