#pragma once
// Shows a centre sweep: a grid of its trial slices, each labelled with its
// centre and measure (the sharpest framed), and a plot of the measure
// against the centre.  A click on a tile takes that centre; the From, To
// and Step fields start another sweep; Save writes the grid as one picture
// with the table beside it.  Only shows what the sweep hands over.
#include <QImage>
#include <QList>
#include <QWidget>

class CorSweep;
struct CorTrial;
class QChartView;
class QGridLayout;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QToolButton;
class QValueAxis;

class CorSweepPanel : public QWidget
{
    Q_OBJECT
public:
    explicit CorSweepPanel(QWidget* parent = nullptr);

    // Follows sweep's trials from now on (not owned; must outlive the panel).
    void setSweep(const CorSweep* sweep);
    void setRange(double from, double to, double step);
    // A line under the fields (why a sweep was refused, the best centre).
    void setStatus(const QString& text);
    int tileCount() const { return int(tiles.size()); }
    QToolButton* tile(int i) const { return tiles.value(i); }
    // The tiles with their labels in the grid's order, the sharpest framed;
    // null before the first sweep.
    QImage gridImage() const;
    // gridImage() at png (".png" added when it has no suffix) and the
    // sweep's table beside it as .csv, each whole or not at all; false with
    // *error set.  *written receives the files written.
    bool save(const QString& png, QString* error, QStringList* written = nullptr) const;

    QLineEdit* From;
    QLineEdit* To;
    QLineEdit* Step;
    QPushButton* Start;
    QPushButton* Save;

signals:
    // A tile was clicked.
    void centreChosen(double cor);
    // Start with the fields' values (NaN for a field that is no number).
    void sweepRequested(double from, double to, double step);

private:
    void begin();
    void showTrial(const CorTrial& t);
    void finish();
    void saveAs();
    void updatePlot();
    int columns() const;

    const CorSweep* sweep = nullptr;
    QLabel* status;
    QGridLayout* grid;
    QList<QToolButton*> tiles;
    QChartView* chartView;
    QLineSeries* curve;
    QScatterSeries* sharpest;
    QValueAxis* axisX;
    QValueAxis* axisY;
};
