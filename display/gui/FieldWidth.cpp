#include "FieldWidth.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {
// QLineEdit keeps this much space between its contents and the text.
constexpr int innerMargin = 2;
// And one pixel for the cursor after the last character.
constexpr int cursorRoom = 1;
// Advances are rounded to whole pixels; the text layout may not be.
constexpr int rounding = 1;
} // namespace

QString FieldWidth::number()
{
    return QStringLiteral("-0.000888888");
}

QString FieldWidth::setting()
{
    return QStringLiteral("0.888888");
}

QString FieldWidth::position()
{
    return QStringLiteral("-8888.88");
}

QString FieldWidth::count()
{
    return QStringLiteral("-88888");
}

QString FieldWidth::seconds()
{
    return QStringLiteral("88888.8");
}

QString FieldWidth::timeOfDay()
{
    return QStringLiteral("88:88:88.888");
}

QString FieldWidth::dateTime()
{
    return QStringLiteral("88/88/88 88:88:88.888");
}

int FieldWidth::widthFor(const QLineEdit* e, const QString& text)
{
    const QMargins tm = e->textMargins();
    const int w = e->fontMetrics().horizontalAdvance(text) + 2 * innerMargin + cursorRoom + rounding + tm.left() + tm.right();
    const int h = e->fontMetrics().height() + tm.top() + tm.bottom();
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    opt.features = QStyleOptionFrame::None;
    return e->style()->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(w, h), e).width();
}

int FieldWidth::roomIn(const QLineEdit* e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    opt.features = QStyleOptionFrame::None;
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e);
    const QMargins tm = e->textMargins();
    return r.width() - tm.left() - tm.right() - 2 * innerMargin - cursorRoom;
}

void FieldWidth::fit(QLineEdit* e, const QString& widest)
{
    if (!e)
        return;
    const int w = widthFor(e, widest);
    if (e->maximumWidth() < w)
        e->setMaximumWidth(w);
    e->setMinimumWidth(w);
    // A field its form marks Fixed keeps just this width: numbers need no
    // more, and the room goes to fields that can use it (paths).
    if (e->sizePolicy().horizontalPolicy() == QSizePolicy::Fixed)
        e->setMaximumWidth(w);
    e->setProperty("widestText", widest);
}
