// Figures for the display path: values to grey levels for a 2048 x 2048
// picture, and painting that picture whole, zoomed in and panned.
#include "ColorBar.h"
#include "ImgDispWCBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {
constexpr int side = 2048;

double msPer(QElapsedTimer& t, int n)
{
    return double(t.nsecsElapsed()) / 1e6 / n;
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<double> data(size_t(side) * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            data[size_t(y) * side + x] = std::sin(x * 0.01) * std::cos(y * 0.013) * 1000;

    ImgDispWCBar disp;
    ColorBar* bar = disp.CBar;
    bar->autoMinMax(-1000, 1000);
    bar->cMin = 0.1;
    bar->cMax = 0.9;
    QImage img(side, side, QImage::Format_Grayscale8);

    const int reps = 5;
    QElapsedTimer t;
    t.start();
    for (int r = 0; r < reps; ++r)
        for (int y = 0; y < side; ++y)
            bar->levelRow(&data[size_t(y) * side], img.scanLine(y), side);
    std::printf("levelRow, 2048 x 2048 values:            %8.2f ms\n", msPer(t, reps));

    // The same through the one-value call, as a renderer without rows would.
    const ColorScale& scale = *bar;
    t.restart();
    for (int r = 0; r < reps; ++r)
        for (int y = 0; y < side; ++y) {
            uchar* out = img.scanLine(y);
            const double* in = &data[size_t(y) * side];
            for (int x = 0; x < side; ++x)
                out[x] = uchar(scale.level(in[x]));
        }
    std::printf("level per value, 2048 x 2048 values:     %8.2f ms\n", msPer(t, reps));

    disp.image = img;
    disp.dispA->setFixedSize(600, 600);
    disp.show();
    disp.newImage();
    QImage target(600, 600, QImage::Format_ARGB32_Premultiplied);

    const struct {
        const char* name;
        QRectF view;
    } views[] = {
        { "whole picture", QRectF(0, 0, side, side) },
        { "zoomed to 256 x 256", QRectF(900, 900, 256, 256) },
        { "zoomed to 64 x 64", QRectF(1000.5, 700.25, 64, 64) },
        { "panned half outside", QRectF(-1024, 1024, side, side) },
    };
    const int paints = 20;
    for (const auto& v : views) {
        disp.view = v.view;
        t.restart();
        for (int i = 0; i < paints; ++i) {
            QPainter p(&target);
            disp.dispA->render(&p);
        }
        std::printf("paint 600 x 600 area, %-20s %8.2f ms\n", v.name, msPer(t, paints));
    }
    return 0;
}
