#pragma once

#include <QStringView>

#include <cstdint>

namespace korvo::layout {

/// One window as the elastic layout sees it: its outer size, its state, its controls by position, and the
/// screen it is on. Sizes are in twips (1440 to the inch).
///
/// Every operation may fail the way the windowing toolkit fails: it throws errors::RuntimeError with the
/// toolkit's number (438 for a property the object does not have, 380 for a value it refuses, 9 for a
/// position outside the collection, ...). Controls are addressed by their position in the window's
/// collection at the moment of the call; no control is held between calls, so a collection that changes
/// in between is simply seen as it is then.
class Form
{
public:
    virtual ~Form() = default;

    /// Outer size of the window, frame and title bar included.
    [[nodiscard]] virtual float height() const = 0;
    [[nodiscard]] virtual float width() const = 0;
    /// Setting the size may deliver the window's resize notification before returning.
    virtual void setHeight(float twips) = 0;
    virtual void setWidth(float twips) = 0;

    /// 0 normal, 1 minimised, 2 maximised.
    [[nodiscard]] virtual int windowState() const = 0;

    /// Whether the window keeps a persistent image of its drawing.
    [[nodiscard]] virtual bool autoRedraw() const = 0;
    virtual void setAutoRedraw(bool on) = 0;

    /// The "Count" member of the window's control collection.
    [[nodiscard]] virtual std::int32_t controlsCount() const = 0;
    /// Whether the control at the 0-based position is a line (end points X1, Y1, X2, Y2 instead of
    /// Top, Left, Height, Width).
    [[nodiscard]] virtual bool isLine(std::int32_t index) const = 0;
    /// Read or write a control's property by name; names match without regard to letter case.
    [[nodiscard]] virtual double controlProperty(std::int32_t index, QStringView name) const = 0;
    virtual void setControlProperty(std::int32_t index, QStringView name, double value) = 0;

    /// Size of the screen the window is on.
    [[nodiscard]] virtual double screenHeight() const = 0;
    [[nodiscard]] virtual double screenWidth() const = 0;

protected:
    Form() = default;
    Form(const Form&) = default;
    Form& operator=(const Form&) = default;
};

} // namespace korvo::layout
