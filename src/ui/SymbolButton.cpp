#include "ui/SymbolButton.h"

#include <QFontInfo>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace korvo::ui {

namespace {

// All shapes are drawn in a unit square (0,0)-(1,1), y downwards, and mapped into the box at the end.

QPainterPath polygon(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

QPainterPath rect(qreal left, qreal top, qreal right, qreal bottom)
{
    QPainterPath path;
    path.addRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
    return path;
}

QPainterPath mirrored(const QPainterPath& path)
{
    return QTransform(-1, 0, 0, 1, 1, 0).map(path);
}

QPainterPath play()
{
    return polygon({{0.18, 0.05}, {0.92, 0.5}, {0.18, 0.95}});
}

QPainterPath up()
{
    return polygon({{0.05, 0.82}, {0.5, 0.12}, {0.95, 0.82}});
}

QPainterPath fastForward()
{
    QPainterPath path = polygon({{0.02, 0.15}, {0.5, 0.5}, {0.02, 0.85}});
    path.addPath(polygon({{0.5, 0.15}, {0.98, 0.5}, {0.5, 0.85}}));
    return path;
}

QPainterPath skipForward()
{
    QPainterPath path = polygon({{0.02, 0.15}, {0.41, 0.5}, {0.02, 0.85}});
    path.addPath(polygon({{0.41, 0.15}, {0.8, 0.5}, {0.41, 0.85}}));
    path.addPath(rect(0.84, 0.15, 0.98, 0.85));
    return path;
}

QPainterPath pause()
{
    QPainterPath path = rect(0.17, 0.08, 0.41, 0.92);
    path.addPath(rect(0.59, 0.08, 0.83, 0.92));
    return path;
}

QPainterPath gear()
{
    const QPointF centre(0.5, 0.5);
    QPainterPath body;
    body.addEllipse(centre, 0.34, 0.34);
    constexpr int teeth = 8;
    for (int i = 0; i < teeth; ++i) {
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(360.0 / teeth * i);
        body = body.united(turn.map(rect(-0.085, -0.5, 0.085, -0.2)));
    }
    QPainterPath hole;
    hole.addEllipse(centre, 0.14, 0.14);
    return body.subtracted(hole);
}

QPainterPath circularArrow()
{
    // A ring open at the upper left, turning clockwise, with the arrow head at its left end pointing up.
    constexpr qreal radius = 0.33;
    const QRectF circle(0.5 - radius, 0.53 - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(circle, 100.0);
    arc.arcTo(circle, 100.0, -280.0);
    QPainterPathStroker stroker;
    stroker.setWidth(0.13);
    stroker.setCapStyle(Qt::FlatCap);
    QPainterPath ring = stroker.createStroke(arc);
    const qreal x = circle.left();
    const qreal y = circle.center().y();
    ring.addPath(polygon({{x - 0.16, y + 0.01}, {x, y - 0.22}, {x + 0.16, y + 0.01}}));
    return ring.simplified();
}

QPainterPath unitSymbol(QChar caption)
{
    switch (caption.unicode()) {
    case u'3':
        return mirrored(play());
    case u'4':
        return play();
    case u'5':
        return up();
    case u'6':
        return QTransform(1, 0, 0, -1, 0, 1).map(up());
    case u'7':
        return mirrored(fastForward());
    case u'8':
        return fastForward();
    case u'9':
        return mirrored(skipForward());
    case u':':
        return skipForward();
    case u';':
        return pause();
    case u'@':
        return gear();
    case u'q':
        return circularArrow();
    default:
        return {};
    }
}

} // namespace

SymbolButton::SymbolButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent)
{
}

bool SymbolButton::hasSymbol(QChar caption)
{
    return !unitSymbol(caption).isEmpty();
}

QPainterPath SymbolButton::symbolPath(QChar caption, const QRectF& box)
{
    QTransform toBox;
    toBox.translate(box.left(), box.top());
    toBox.scale(box.width(), box.height());
    return toBox.map(unitSymbol(caption));
}

void SymbolButton::paintEvent(QPaintEvent* event)
{
    const QString caption = text();
    if (caption.size() != 1 || !hasSymbol(caption.front())) {
        QPushButton::paintEvent(event);
        return;
    }

    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    // The glyph of a symbol font fills most of its em square; keep that proportion, but never let the
    // symbol touch the bevel of a small button.
    const QRect inside = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const qreal em = QFontInfo(font()).pixelSize();
    const qreal side = std::max(4.0, std::min({em * 0.8, inside.width() - 2.0, inside.height() - 2.0}));
    QPointF centre = QRectF(inside).center();
    if (isDown() || isChecked())
        centre += QPointF(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                          style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    const QRectF box(centre.x() - side / 2, centre.y() - side / 2, side, side);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawPath(symbolPath(caption.front(), box));
}

} // namespace korvo::ui
