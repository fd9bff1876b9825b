#pragma once

#include "layout/Form.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace korvo::layout {

/// The elastic layout's view of a real top-level QWidget.
///
/// Units: twips, 15 to a device-independent pixel; font sizes in points. The window's Height and Width
/// are its outer size (frameGeometry); before the window has a frame they equal its geometry.
///
/// Controls: every widget inside the window, with coordinates relative to their container. Containers are
/// plain QWidgets, plain QFrames and group boxes; the inner widgets of composite widgets (a spin box's
/// editor, a view's scroll bars) are theirs, not the window's, and are not controls. Separate windows
/// (dialogs, menus) are not controls either. The widgets that exist when the adapter is made come first,
/// depth first with a container's children right after it; widgets seen later follow in the order they
/// were first seen. Neither raise()/lower() nor a new widget changes the position of an existing one, so
/// recorded positions keep naming the same widgets. Controls should be placed by hand, not by a QLayout,
/// which would undo every move at its next activation.
///
/// Properties: "Top", "Left", "Height", "Width" and "FontSize" for every control except a LineControl,
/// which has "X1", "Y1", "X2", "Y2" instead; "RightMargin" (the fixed wrap width of the text, 0 for
/// wrapping at the edge) only for a QTextEdit. Anything else fails with error 438; a negative size, a
/// font size that is not positive or a value Qt cannot place fails with error 380.
///
/// AutoRedraw is the window's Qt::WA_StaticContents: while it is on, growing the window repaints only the
/// newly exposed part and keeps the rest of the drawing as it was. Qt already paints through a backing
/// store, so that is the part of a persistent image that is left to choose, and it is harmless to leave
/// on or off.
class QtForm final : public QObject, public Form
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtForm)
public:
    /// The window must be a top-level widget.
    explicit QtForm(QWidget& window);
    ~QtForm() override;

    /// Called for every resize event the window receives, when Qt delivers it: for a visible window
    /// synchronously from within the size change that caused it, for a hidden one when it is shown.
    void setResizeHandler(std::function<void()> handler);

    /// The controls collection, in order.
    [[nodiscard]] QList<QWidget*> controls() const;

    [[nodiscard]] float height() const override;
    [[nodiscard]] float width() const override;
    void setHeight(float twips) override;
    void setWidth(float twips) override;
    [[nodiscard]] int windowState() const override;
    [[nodiscard]] bool autoRedraw() const override;
    void setAutoRedraw(bool on) override;
    [[nodiscard]] std::int32_t controlsCount() const override;
    [[nodiscard]] bool isLine(std::int32_t index) const override;
    [[nodiscard]] double controlProperty(std::int32_t index, QStringView name) const override;
    void setControlProperty(std::int32_t index, QStringView name, double value) override;
    [[nodiscard]] double screenHeight() const override;
    [[nodiscard]] double screenWidth() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] QWidget& target() const;
    [[nodiscard]] QWidget& control(std::int32_t index) const;
    void checkSizable() const;

    QPointer<QWidget> m_window;
    std::function<void()> m_onResize;
};

} // namespace korvo::layout
