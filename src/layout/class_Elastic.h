#pragma once

#include "errors/Trap.h"
#include "layout/Form.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>
#include <vector>

namespace korvo::layout {

/// The window size the recorded layouts were designed on, in twips.
inline constexpr double ReferenceScreenHeight = 7290;
inline constexpr double ReferenceScreenWidth = 9690;

/// Keeps the controls of one window in proportion to the window's size.
///
/// `Init` records, once, the window's outer size and every control's geometry, font size and right
/// margin (a line's end points instead), then fits the window to the screen. `FormResize`, called after
/// every change of the window's size, rewrites every recorded control from the recorded values and the
/// window's current size, so repeated resizing never accumulates rounding. Controls are matched by
/// position: adding or removing controls after `Init` needs another `Init`.
///
/// The object keeps no reference to the window; pass the same window to every call. Both calls may be
/// re-entered from the window's resize notification while they resize the window.
class class_Elastic final
{
    Q_DISABLE_COPY_MOVE(class_Elastic)
public:
    /// Failures of the reported steps of `Init` go to this trap.
    explicit class_Elastic(errors::Trap& trap);

    /// Plain storage for the caller; nothing here consults it.
    [[nodiscard]] QString DoNotResizeTag() const;
    void setDoNotResizeTag(const QString& value);

    /// Record the window and its controls and fit the window to the screen. Only whether `FullScreen` is
    /// given matters, never its value: a given one, even false, makes the window as large as the screen.
    void Init(Form& TargetForm, const std::optional<QVariant>& FullScreen = std::nullopt);

    /// Rescale every recorded control to the window's current size. Never reports a failure.
    void FormResize(Form& TargetForm);

    /// The recorded state, for inspection.
    [[nodiscard]] std::int16_t CapturedHeight() const { return m_CapturedHeight; }
    [[nodiscard]] std::int16_t CapturedWidth() const { return m_CapturedWidth; }
    [[nodiscard]] std::int16_t LastIndex() const { return m_LastIndex; }
    [[nodiscard]] const std::vector<std::int16_t>& TopY1() const { return m_TopY1; }
    [[nodiscard]] const std::vector<std::int16_t>& LeftX1() const { return m_LeftX1; }
    [[nodiscard]] const std::vector<std::int16_t>& HeightY2() const { return m_HeightY2; }
    [[nodiscard]] const std::vector<std::int16_t>& WidthX2() const { return m_WidthX2; }
    [[nodiscard]] const std::vector<std::int16_t>& FontSizes() const { return m_FontSizes; }
    [[nodiscard]] const std::vector<std::int16_t>& RightMargins() const { return m_RightMargins; }
    [[nodiscard]] bool SkipNextResize() const { return m_SkipNextResize; }

    static constexpr const char* kModule = "class_Elastic";
    static constexpr const char* kDoNotResizeTagGet = "DoNotResizeTag[Get]";
    static constexpr const char* kDoNotResizeTagLet = "DoNotResizeTag[Let]";
    static constexpr const char* kInit = "Init";
    static constexpr const char* kFormResize = "FormResize";

private:
    errors::Trap& m_trap;

    QString m_DoNotResizeTag;
    std::int16_t m_CapturedHeight = 0;
    std::int16_t m_CapturedWidth = 0;
    std::int16_t m_LastIndex = 0;
    // Empty until the first Init: every access then fails like a list that was never created.
    std::vector<std::int16_t> m_TopY1;
    std::vector<std::int16_t> m_LeftX1;
    std::vector<std::int16_t> m_HeightY2;
    std::vector<std::int16_t> m_WidthX2;
    std::vector<std::int16_t> m_FontSizes;
    std::vector<std::int16_t> m_RightMargins;
    bool m_SkipNextResize = false;
};

} // namespace korvo::layout
