#pragma once

#include "errors/RuntimeError.h"
#include "layout/Form.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace korvo::layout::test {

/// One control of a FakeForm: numeric properties by lower-case name.
struct FakeControl
{
    bool line = false;
    std::map<QString, double> props;
    /// Lower-case names whose writes fail with error 380.
    QSet<QString> refused;
    /// Refuse font sizes that are not positive, as a real control does.
    bool positiveFontsOnly = false;

    static FakeControl box(double top, double left, double height, double width, double fontSize)
    {
        return {false, {{"top", top}, {"left", left}, {"height", height}, {"width", width}, {"fontsize", fontSize}},
                {}, false};
    }
    static FakeControl lineFrom(double x1, double y1, double x2, double y2)
    {
        return {true, {{"x1", x1}, {"y1", y1}, {"x2", x2}, {"y2", y2}}, {}, false};
    }
};

/// A scripted window: sizes, state and controls are plain data, and every write is logged.
class FakeForm final : public Form
{
public:
    struct Write
    {
        int index; ///< -1 for the window itself
        QString name;
        double value;
        bool operator==(const Write&) const = default;
    };

    float h = 0;
    float w = 0;
    int state = 0;
    bool redraw = false;
    double screenH = 7290;
    double screenW = 9690;
    std::vector<FakeControl> controls;

    /// The window refuses size writes (error 384), as a maximised one does.
    bool refuseSize = false;
    /// The height the window keeps when given one (a minimum size, pixel snapping); as given by default.
    std::function<float(float)> keepHeight = [](float v) { return v; };
    /// The window's resize notification, raised from within a size write after the size changed.
    std::function<void()> onResize;

    std::vector<Write> writes;
    std::vector<bool> redrawWrites;

    [[nodiscard]] std::vector<Write> controlWrites() const
    {
        std::vector<Write> out;
        for (const Write& x : writes)
            if (x.index >= 0)
                out.push_back(x);
        return out;
    }
    [[nodiscard]] std::vector<Write> windowWrites() const
    {
        std::vector<Write> out;
        for (const Write& x : writes)
            if (x.index < 0)
                out.push_back(x);
        return out;
    }
    /// The value last written to a control's property, or nothing.
    [[nodiscard]] std::optional<double> written(int index, const QString& name) const
    {
        std::optional<double> v;
        for (const Write& x : writes)
            if (x.index == index && x.name == name)
                v = x.value;
        return v;
    }
    void clearLog()
    {
        writes.clear();
        redrawWrites.clear();
    }

    float height() const override { return h; }
    float width() const override { return w; }
    void setHeight(float twips) override
    {
        if (refuseSize)
            errors::raise(384, "Can't size a maximised window");
        writes.push_back({-1, "Height", static_cast<double>(twips)});
        h = keepHeight(twips);
        if (onResize)
            onResize();
    }
    void setWidth(float twips) override
    {
        if (refuseSize)
            errors::raise(384, "Can't size a maximised window");
        writes.push_back({-1, "Width", static_cast<double>(twips)});
        w = twips;
        if (onResize)
            onResize();
    }
    int windowState() const override { return state; }
    bool autoRedraw() const override { return redraw; }
    void setAutoRedraw(bool on) override
    {
        redrawWrites.push_back(on);
        redraw = on;
    }
    std::int32_t controlsCount() const override { return static_cast<std::int32_t>(controls.size()); }
    bool isLine(std::int32_t index) const override { return at(index).line; }
    double controlProperty(std::int32_t index, QStringView name) const override
    {
        const FakeControl& c = at(index);
        const auto found = c.props.find(name.toString().toLower());
        if (found == c.props.end())
            errors::raise(438, "Object doesn't support this property or method");
        return found->second;
    }
    void setControlProperty(std::int32_t index, QStringView name, double value) override
    {
        FakeControl& c = at(index);
        const QString key = name.toString().toLower();
        if (c.props.count(key) == 0)
            errors::raise(438, "Object doesn't support this property or method");
        if (c.refused.contains(key) || (c.positiveFontsOnly && key == "fontsize" && value <= 0))
            errors::raise(380, "Invalid property value");
        writes.push_back({index, name.toString(), value});
        c.props[key] = value;
    }
    double screenHeight() const override { return screenH; }
    double screenWidth() const override { return screenW; }

private:
    const FakeControl& at(std::int32_t index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= controls.size())
            errors::raise(errors::err::SubscriptOutOfRange);
        return controls[static_cast<std::size_t>(index)];
    }
    FakeControl& at(std::int32_t index)
    {
        return const_cast<FakeControl&>(static_cast<const FakeForm&>(*this).at(index));
    }
};

/// So that a failing comparison shows what was written.
inline char* toString(const std::vector<FakeForm::Write>& writes)
{
    QStringList parts;
    for (const FakeForm::Write& w : writes)
        parts << QStringLiteral("%1:%2=%3").arg(w.index).arg(w.name).arg(w.value, 0, 'g', 17);
    return qstrdup(parts.join(QStringLiteral(", ")).toUtf8().constData());
}

} // namespace korvo::layout::test
