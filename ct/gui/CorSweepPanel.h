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
    // The sweep's picture (CorSweep::picture) in this panel's font.
    QImage gridImage() const;
    // The sweep's picture and table (CorSweep::save) in this panel's font.
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
