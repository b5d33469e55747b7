#include "CorSweepPanel.h"

#include "CorSweep.h"
#include "CtFiles.h"
#include "Failures.h"
#include "SafeWrite.h"

#include <QChart>
#include <QChartView>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QScatterSeries>
#include <QScrollArea>
#include <QSplitter>
#include <QToolButton>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
double fieldValue(const QLineEdit* e)
{
    bool ok = false;
    const double v = e->text().trimmed().toDouble(&ok);
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

CorSweepPanel::CorSweepPanel(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(tr("Centre Sweep"));
    auto* top = new QHBoxLayout;
    From = new QLineEdit;
    To = new QLineEdit;
    Step = new QLineEdit(QStringLiteral("1"));
    for (QLineEdit* e : {From, To, Step}) {
        e->setMaximumWidth(70);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    Start = new QPushButton(tr("Sweep"));
    Save = new QPushButton(tr("Save..."));
    Save->setEnabled(false);
    top->addWidget(new QLabel(tr("From")));
    top->addWidget(From);
    top->addWidget(new QLabel(tr("To")));
    top->addWidget(To);
    top->addWidget(new QLabel(tr("Step")));
    top->addWidget(Step);
    top->addWidget(Start);
    top->addStretch();
    top->addWidget(Save);

    status = new QLabel;
    auto* tileArea = new QWidget;
    grid = new QGridLayout(tileArea);
    grid->setSpacing(2);
    auto* scroll = new QScrollArea;
    scroll->setWidget(tileArea);
    scroll->setWidgetResizable(true);

    curve = new QLineSeries;
    sharpest = new QScatterSeries;
    sharpest->setMarkerSize(9);
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->addSeries(curve);
    chart->addSeries(sharpest);
    axisX = new QValueAxis;
    axisX->setTitleText(tr("Centre of rotation (pixels)"));
    axisY = new QValueAxis;
    axisY->setTitleText(tr("Measure"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(curve), static_cast<QAbstractSeries*>(sharpest)}) {
        s->attachAxis(axisX);
        s->attachAxis(axisY);
    }
    chartView = new QChartView(chart);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumHeight(160);

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(scroll);
    split->addWidget(chartView);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(status);
    layout->addWidget(split, 1);
    resize(900, 760);

    connect(Start, &QPushButton::clicked, this,
            [this] { emit sweepRequested(fieldValue(From), fieldValue(To), fieldValue(Step)); });
    connect(Save, &QPushButton::clicked, this, &CorSweepPanel::saveAs);
}

void CorSweepPanel::setSweep(const CorSweep* s)
{
    sweep = s;
    connect(sweep, &CorSweep::started, this, &CorSweepPanel::begin);
    connect(sweep, &CorSweep::trialFinished, this, &CorSweepPanel::showTrial);
    connect(sweep, &CorSweep::finished, this, &CorSweepPanel::finish);
}

void CorSweepPanel::setRange(double from, double to, double step)
{
    From->setText(QString::number(from, 'g', 8));
    To->setText(QString::number(to, 'g', 8));
    Step->setText(QString::number(step, 'g', 8));
}

void CorSweepPanel::setStatus(const QString& text)
{
    status->setText(text);
}

void CorSweepPanel::begin()
{
    qDeleteAll(tiles);
    tiles.clear();
    const int cols = sweep ? sweep->columns() : 1;
    for (const CorTrial& t : sweep->trials()) {
        auto* b = new QToolButton;
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(sweep->tileSize, sweep->tileSize));
        b->setText(CorSweep::centreText(t.cor) + QStringLiteral("\n..."));
        const double cor = t.cor;
        connect(b, &QToolButton::clicked, this, [this, cor] { emit centreChosen(cor); });
        grid->addWidget(b, t.index / cols, t.index % cols);
        tiles << b;
    }
    Start->setEnabled(false);
    Save->setEnabled(false);
    setStatus(tr("Sweeping %1 centres...").arg(tiles.size()));
    updatePlot();
}

void CorSweepPanel::showTrial(const CorTrial& t)
{
    QToolButton* b = tiles.value(t.index);
    if (!b)
        return;
    if (!t.tile.isNull())
        b->setIcon(QPixmap::fromImage(t.tile));
    b->setText(CorSweep::centreText(t.cor) + QLatin1Char('\n') + CorSweep::measureText(t));
    b->setToolTip(tr("Take %1 as the centre").arg(CorSweep::centreText(t.cor)));
    updatePlot();
}

void CorSweepPanel::finish()
{
    Start->setEnabled(true);
    const int best = sweep->best();
    for (int i = 0; i < tiles.size(); ++i)
        tiles[i]->setStyleSheet(i == best ? QStringLiteral("QToolButton { border: 2px solid red; }") : QString());
    Save->setEnabled(best >= 0);
    if (best >= 0) {
        const CorTrial& t = sweep->trials()[size_t(best)];
        setStatus(tr("Sharpest at %1 (measure %2, lower is sharper); click a slice to take its centre")
                      .arg(CorSweep::centreText(t.cor), CorSweep::measureText(t)));
    } else {
        setStatus(tr("No trial gave a slice"));
    }
    updatePlot();
}

void CorSweepPanel::updatePlot()
{
    QList<QPointF> points;
    double lo = std::numeric_limits<double>::max(), hi = -lo;
    for (const CorTrial& t : sweep->trials())
        if (t.ok) {
            points << QPointF(t.cor, t.measure);
            lo = std::min(lo, t.measure);
            hi = std::max(hi, t.measure);
        }
    curve->replace(points);
    sharpest->clear();
    const int best = sweep->best();
    if (best >= 0)
        sharpest->append(sweep->trials()[size_t(best)].cor, sweep->trials()[size_t(best)].measure);
    const std::vector<CorTrial>& all = sweep->trials();
    if (!all.empty())
        axisX->setRange(all.front().cor - 0.5, all.back().cor + 0.5);
    if (!points.isEmpty()) {
        const double margin = std::max(0.05 * (hi - lo), 1e-9 * std::fabs(hi));
        axisY->setRange(lo - margin, hi + margin);
    }
}

QImage CorSweepPanel::gridImage() const
{
    return sweep ? sweep->picture(font()) : QImage();
}

bool CorSweepPanel::save(const QString& path, QString* error, QStringList* written) const
{
    if (!sweep) {
        if (error)
            *error = tr("No sweep to save");
        return false;
    }
    return sweep->save(path, font(), error, written);
}

void CorSweepPanel::saveAs()
{
    const QString file = QFileDialog::getSaveFileName(this, tr("Save Sweep Picture"), QString(),
                                                      tr("Pictures (*.png *.jpg *.tif)"));
    if (file.isEmpty())
        return;
    QString error;
    if (save(file, &error)) {
        setStatus(tr("Saved %1").arg(file));
        return;
    }
    setStatus(error);
    Failures::record(Failures::Write, error);
}
