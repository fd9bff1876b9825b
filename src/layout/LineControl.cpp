#include "layout/LineControl.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvo::layout {

LineControl::LineControl(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    place();
}

LineControl::LineControl(const QLine& line, QWidget* parent)
    : LineControl(parent)
{
    setLine(line);
}

LineControl::~LineControl() = default;

void LineControl::setLine(const QLine& line)
{
    if (line == m_line)
        return;
    m_line = line;
    place();
    update();
}

void LineControl::setPen(const QPen& pen)
{
    m_pen = pen;
    place();
    update();
}

void LineControl::place()
{
    // Room for half the pen on every side, so that the end caps are not clipped.
    const int margin = std::max(1, static_cast<int>(std::ceil(m_pen.widthF() / 2)));
    const QPoint topLeft(std::min(m_line.x1(), m_line.x2()) - margin, std::min(m_line.y1(), m_line.y2()) - margin);
    const QPoint bottomRight(std::max(m_line.x1(), m_line.x2()) + margin,
                             std::max(m_line.y1(), m_line.y2()) + margin);
    setGeometry(QRect(topLeft, bottomRight));
}

void LineControl::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setPen(m_pen);
    painter.drawLine(m_line.translated(-pos()));
}

} // namespace korvo::layout
