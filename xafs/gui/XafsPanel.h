#pragma once
// The spectrum panel: a slice of the energy stack (or a map) with its colour
// bar and read-outs on the left, the spectra of the picked pixel and of the
// dragged regions on the right, each region in its own colour on both, and
// the fit ranges and the jump threshold to edit below. It shows what the
// shared XafsSession holds and sends edits to it, as the xafs_ batch
// commands do. Long computations (fraction maps, classes, and the batch
// words that make them) run in its job, with progress and Cancel in its
// status row; meanwhile it leaves the session alone. Loading a stack and
// making the edge maps run there too: the worker builds the stack or the
// maps as a value of its own, which the panel hands to the session when the
// job has ended. The drift of a projection directory is measured there as
// well and plotted by energy.
#include <algorithm>
#include <memory>

#include "XafsJob.h"
#include "XafsSession.h"

#include <QColor>
#include <QFrame>
#include <QList>

class ImgDispWPV;
class QAbstractSeries;
class QCheckBox;
class QChart;
class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPainter;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

class XafsPanel : public QFrame
{
    Q_OBJECT
public:
    // Shows session; its long work runs in job (the session host's).
    XafsPanel(XafsSession& session, XafsJob& job, QWidget* parent = nullptr);

    // Adds a region (image coordinates) as a drag on the picture would.
    void addRegion(const XafsRoi& roi);
    // Shows the spectrum of the pixel under image point (x, z), as a click does.
    void pickPixel(double x, double z);
    void clearRegions();
    // Fills the source fields after a sequential run while no stack is loaded.
    void suggestSource(const QString& directory, const QString& namePattern);
    // 0: the slice at the chosen energy, 1: E0 map, 2: edge-jump map, 3: mask,
    // then (once made) each reference's fraction, their sum, the R-factor,
    // and the classes.
    void showView(int view);
    XafsJob& job() { return work; }
    void showEnergy(int index);
    int regionCount() const { return regions.size(); }

signals:
    // The operator changed ranges, threshold or the stack.
    void edited();
    // The job started, advanced or ended (for the window's status row).
    void jobProgressed();
    // A shifts table was written (the reconstructions may apply it).
    void shiftsWritten(const QString& path);

public slots:
    // The stack, ranges or threshold changed: read them again, redraw.
    void refresh();

private slots:
    void loadClicked();
    void rangesEdited();
    void released();
    void render();
    void showValue(double x, double z);
    void fitMapsClicked();
    void classesClicked();
    void alignClicked();
    void jobStarted();
    void jobFinished(bool ok, int kind, const QString& why);
    void showProgress();

private:
    struct Region
    {
        XafsRoi roi;
        QColor colour;
        bool pixel = false;
    };
    // The y range of what a plot holds.
    struct PlotSpan
    {
        double lo = 0, hi = 0;
        bool any = false;
        void add(double a, double b)
        {
            lo = any ? std::min(lo, a) : a;
            hi = any ? std::max(hi, b) : b;
            any = true;
        }
    };
    // The parts of the panel, made once by the constructor.
    QPushButton* buildSourceRow(QGridLayout* top);
    QWidget* buildPictureSide();
    QWidget* buildPlotSide();
    void buildJobRows(QGridLayout* rg);
    void buildStatusRow(QGridLayout* top);
    void connectControls(QPushButton* load);
    void drawRegions(QPainter* p);
    void plot();
    // An empty chart with an energy axis and a y axis titled yTitle.
    void resetChart(const QString& yTitle);
    // Adds a series on the chart's axes; without a legend entry unless inLegend.
    void attach(QAbstractSeries* series, bool inLegend = true);
    // A region's spectrum (with its spread and fit lines) on the chart, and
    // its line of text.
    void plotRegion(const Region& r, const QString& label, bool norm, PlotSpan& span, QStringList& lines);
    void plotReferenceFit(const Region& r, const QString& label, bool norm, QStringList& lines);
    void plotNormalisation(const Region& r, const XafsNormalize& fit, bool norm, double scale);
    // dx and dz of the last alignment against energy.
    void plotShifts();
    // Starts the job that makes the edge maps of the current stack.
    void makeMaps();
    QColor nextColour() const;
    // The extra views' names, and the map of view v (null for the fixed ones).
    QStringList extraViews() const;
    const std::vector<float>* extraMap(int v) const;

    XafsSession& s;
    QList<Region> regions;
    ImgDispWPV* disp;
    QChartView* chartView;
    QChart* chart;
    QComboBox* view;
    QComboBox* shape;
    QSlider* energy;
    QLabel* energyText;
    QLabel* fitText;
    QLineEdit* dir;
    QLineEdit* pattern;
    QDoubleSpinBox* pre1;
    QDoubleSpinBox* pre2;
    QDoubleSpinBox* post1;
    QDoubleSpinBox* post2;
    QComboBox* postOrder;
    QDoubleSpinBox* threshold;
    QCheckBox* normalised;
    QPushButton* fitMaps;
    QPushButton* classes;
    QSpinBox* classCount;
    QProgressBar* progressBar;
    QLabel* progressText;
    QPushButton* cancel;
    QLineEdit* alignDir;
    QDoubleSpinBox* alignRef;
    QPushButton* align;
    QComboBox* plotKind;
    // What the running job makes, handed to the session when it ends.
    std::shared_ptr<XafsStack> loadedStack;
    std::shared_ptr<XafsMaps> madeMaps;
    int mapsGeneration = -1;
    QString shiftsPath;
    QTimer* poll;
    XafsJob& work;
    bool filling = false;
    int shownGeneration = -1;
};
