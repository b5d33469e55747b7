#include "I0ofImage.h"

#include "FieldWidth.h"

I0ofImage::I0ofImage(QWidget* parent) : QFrame(parent)
{
    ui.setupUi(this);
    FieldWidth::fit(ui.I0Val, FieldWidth::number());
    shown.value = ui.I0Val->text().toDouble();
    shown.fromXafs = ui.CalcFromXAFS->isChecked();
    shown.energyPattern = ui.EngPattern->text();
    connect(ui.I0Val, &QLineEdit::textEdited, this, [this](const QString& t) {
        shown.value = t.toDouble();
        changed();
    });
    connect(ui.CalcFromXAFS, &QAbstractButton::toggled, this, [this](bool on) {
        shown.fromXafs = on;
        changed();
    });
    connect(ui.EngPattern, &QLineEdit::textEdited, this, [this](const QString& t) {
        shown.energyPattern = t;
        changed();
    });
    connect(ui.XafsFile, &SelectAFile::fileSelected, this, [this](const QString& f) {
        shown.xafsFile = f;
        changed();
    });
    connect(ui.XafsFile, &SelectAFile::clear, this, [this] {
        shown.xafsFile.clear();
        changed();
    });
}

void I0ofImage::changed()
{
    if (!showing)
        emit edited(shown);
}

void I0ofImage::showSource(const SessionState::I0Source& s)
{
    showing = true;
    ui.I0Val->setText(QString::number(s.value, 'g', 6));
    ui.CalcFromXAFS->setChecked(s.fromXafs);
    ui.EngPattern->setText(s.energyPattern);
    if (s.xafsFile != shown.xafsFile) {
        if (s.xafsFile.isEmpty())
            ui.XafsFile->clear0();
        else
            ui.XafsFile->fileSelected0(s.xafsFile);
    }
    shown = s;
    showing = false;
}
