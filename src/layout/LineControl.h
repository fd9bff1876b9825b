#pragma once

#include <QLine>
#include <QPen>
#include <QWidget>

namespace korvo::layout {

/// A straight line drawn on its container, given by its two end points rather than by a rectangle.
///
/// The end points are in the parent's coordinates (device-independent pixels); the widget sizes and
/// places itself around them. Place it with setLine(), not with move() or resize(). It takes no mouse
/// input, so it never hides the controls it is drawn across.
class LineControl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LineControl)
public:
    explicit LineControl(QWidget* parent = nullptr);
    LineControl(const QLine& line, QWidget* parent);
    ~LineControl() override;

    [[nodiscard]] QLine line() const { return m_line; }
    void setLine(const QLine& line);

    [[nodiscard]] QPen pen() const { return m_pen; }
    void setPen(const QPen& pen);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void place();

    QLine m_line;
    QPen m_pen{Qt::black, 1};
};

} // namespace korvo::layout
