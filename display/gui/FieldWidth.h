#pragma once
// Line edits sized from their font for the widest text they hold, so no
// value is cut off whatever the font and style.
#include <QString>

class QLineEdit;

class FieldWidth
{
public:
    // The widest texts of the usual kinds of value.
    static QString number();      // QString::number(v, 'g', 6)
    static QString setting();     // typed settings: times, sizes, fractions
    static QString position();    // image positions and regions (below 10000)
    static QString count();       // slice numbers and indices
    static QString seconds();     // spent times
    static QString timeOfDay();   // "hh:mm:ss.zzz"
    static QString dateTime();    // "yy/MM/dd hh:mm:ss.zzz"

    // Makes e at least wide enough for widest (a maximum width below that
    // is raised; a field with a Fixed horizontal policy gets exactly that
    // width) and records widest as its "widestText" property.
    static void fit(QLineEdit* e, const QString& widest);
    // The width e needs to show text whole.
    static int widthFor(const QLineEdit* e, const QString& text);
    // Room for text inside e as it is now laid out.
    static int roomIn(const QLineEdit* e);
};
