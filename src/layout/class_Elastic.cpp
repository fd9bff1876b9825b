#include "layout/class_Elastic.h"

#include "errors/Procedure.h"
#include "errors/RuntimeError.h"
#include "model/CheckedArithmetic.h"

#include <cmath>

namespace korvo::layout {

namespace {

constexpr int kMaximised = 2;

/// A recorded entry; a list that was never created, or a position beyond it, is error 9.
std::int16_t& entry(std::vector<std::int16_t>& list, int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        errors::raise(errors::err::SubscriptOutOfRange);
    return list[static_cast<std::size_t>(index)];
}

/// recorded ÷ factor, floored. A factor that could not be computed stays 0 and fails every division.
double scaled(std::int16_t recorded, double factor)
{
    if (factor == 0.0) {
        if (recorded == 0)
            errors::raise(errors::err::Overflow);
        errors::raise(errors::err::DivisionByZero);
    }
    return std::floor(static_cast<double>(recorded) / factor);
}

/// An odd size goes to the next even one away from zero, so that fonts step in even point sizes.
double evenFontSize(double n)
{
    const std::int32_t whole = model::roundTo32(n);
    return n + static_cast<double>(whole % 2);
}

double factor(std::int16_t captured, float current)
{
    if (current == 0.0F) {
        if (captured == 0)
            errors::raise(errors::err::Overflow);
        errors::raise(errors::err::DivisionByZero);
    }
    return static_cast<double>(captured) / static_cast<double>(current);
}

} // namespace

class_Elastic::class_Elastic(errors::Trap& trap)
    : m_trap(trap)
{
}

QString class_Elastic::DoNotResizeTag() const
{
    errors::Procedure p(m_trap, kModule, kDoNotResizeTagGet);
    QString value;
    p([&] { value = m_DoNotResizeTag; });
    return value;
}

void class_Elastic::setDoNotResizeTag(const QString& value)
{
    errors::Procedure p(m_trap, kModule, kDoNotResizeTagLet);
    p([&] { m_DoNotResizeTag = value; });
}

void class_Elastic::Init(Form& TargetForm, const std::optional<QVariant>& FullScreen)
{
    errors::Procedure p(m_trap, kModule, kInit);

    bool fullScreenPassed = false;
    p([&] { fullScreenPassed = FullScreen.has_value(); });
    p([&] { m_CapturedHeight = model::roundTo16(static_cast<double>(TargetForm.height())); });
    p([&] { m_CapturedWidth = model::roundTo16(static_cast<double>(TargetForm.width())); });
    p([&] { m_LastIndex = model::narrow16(std::int64_t{TargetForm.controlsCount()} - 1); });
    p([&] { m_SkipNextResize = true; });
    // No control at all gives empty lists: nothing can be recorded, and nothing needs to be.
    const auto fresh = [&] { return std::vector<std::int16_t>(static_cast<std::size_t>(m_LastIndex + 1), 0); };
    p([&] { m_TopY1 = fresh(); });
    p([&] { m_LeftX1 = fresh(); });
    p([&] { m_HeightY2 = fresh(); });
    p([&] { m_WidthX2 = fresh(); });
    p([&] { m_FontSizes = fresh(); });
    p([&] { m_RightMargins = fresh(); });

    // A control that cannot give a value keeps 0 there; the capture goes on without a word.
    p.skipErrors();

    const int last = m_LastIndex;
    for (int i = 0; i <= last; ++i) {
        bool line = false;
        p([&] { line = TargetForm.isLine(i); });
        if (line) {
            p([&] { entry(m_TopY1, i) = model::roundTo16(TargetForm.controlProperty(i, u"Y1")); });
            p([&] { entry(m_LeftX1, i) = model::roundTo16(TargetForm.controlProperty(i, u"x1")); });
            p([&] { entry(m_HeightY2, i) = model::roundTo16(TargetForm.controlProperty(i, u"Y2")); });
            p([&] { entry(m_WidthX2, i) = model::roundTo16(TargetForm.controlProperty(i, u"x2")); });
        } else {
            p([&] { entry(m_TopY1, i) = model::roundTo16(TargetForm.controlProperty(i, u"Top")); });
            p([&] { entry(m_LeftX1, i) = model::roundTo16(TargetForm.controlProperty(i, u"Left")); });
            p([&] { entry(m_HeightY2, i) = model::roundTo16(TargetForm.controlProperty(i, u"Height")); });
            p([&] { entry(m_WidthX2, i) = model::roundTo16(TargetForm.controlProperty(i, u"Width")); });
            p([&] { entry(m_FontSizes, i) = model::roundTo16(TargetForm.controlProperty(i, u"FontSize")); });
            p([&] { entry(m_RightMargins, i) = model::roundTo16(TargetForm.controlProperty(i, u"RightMargin")); });
        }
    }

    bool toScreen = fullScreenPassed;
    p([&] { toScreen = fullScreenPassed || TargetForm.windowState() == kMaximised; });
    if (toScreen) {
        p([&] { TargetForm.setHeight(static_cast<float>(TargetForm.screenHeight())); });
        p([&] { TargetForm.setWidth(static_cast<float>(TargetForm.screenWidth())); });
    } else {
        // Deliberately not rounded to whole twips: the toolkit gets the exact proportion.
        p([&] {
            TargetForm.setHeight(static_cast<float>(static_cast<double>(TargetForm.height())
                                                    * TargetForm.screenHeight() / ReferenceScreenHeight));
        });
        p([&] {
            TargetForm.setWidth(static_cast<float>(static_cast<double>(TargetForm.width())
                                                   * TargetForm.screenWidth() / ReferenceScreenWidth));
        });
    }

    // The resizing above may already have run FormResize and used up the flag; the caller's own first
    // FormResize after this call must still find it set.
    p([&] { m_SkipNextResize = true; });
}

void class_Elastic::FormResize(Form& TargetForm)
{
    errors::Procedure p(m_trap, kModule, kFormResize);
    p.skipErrors();

    bool SavedAutoRedraw = false;
    double HeightFactor = 0;
    double WidthFactor = 0;

    p([&] { SavedAutoRedraw = TargetForm.autoRedraw(); });
    p([&] { TargetForm.setAutoRedraw(true); });

    if (m_SkipNextResize) {
        m_SkipNextResize = false;
        p([&] { TargetForm.setAutoRedraw(SavedAutoRedraw); });
        return;
    }

    // Never below half the recorded size. Halves of whole twips are exact in single precision.
    const float minHeight = static_cast<float>(m_CapturedHeight) / 2.0F;
    const float minWidth = static_cast<float>(m_CapturedWidth) / 2.0F;
    p([&] {
        if (TargetForm.height() < minHeight)
            TargetForm.setHeight(minHeight);
    });
    p([&] {
        if (TargetForm.width() < minWidth)
            TargetForm.setWidth(minWidth);
    });

    // Read anew: the toolkit may have kept a size other than the one just written.
    p([&] { HeightFactor = factor(m_CapturedHeight, TargetForm.height()); });
    p([&] { WidthFactor = factor(m_CapturedWidth, TargetForm.width()); });

    const int last = m_LastIndex;
    for (int i = 0; i <= last; ++i) {
        bool line = false;
        p([&] { line = TargetForm.isLine(i); });
        if (line) {
            p([&] { TargetForm.setControlProperty(i, u"Y1", scaled(entry(m_TopY1, i), HeightFactor)); });
            p([&] { TargetForm.setControlProperty(i, u"x1", scaled(entry(m_LeftX1, i), WidthFactor)); });
            p([&] { TargetForm.setControlProperty(i, u"Y2", scaled(entry(m_HeightY2, i), HeightFactor)); });
            p([&] { TargetForm.setControlProperty(i, u"x2", scaled(entry(m_WidthX2, i), WidthFactor)); });
        } else {
            p([&] { TargetForm.setControlProperty(i, u"Top", scaled(entry(m_TopY1, i), HeightFactor)); });
            p([&] { TargetForm.setControlProperty(i, u"Left", scaled(entry(m_LeftX1, i), WidthFactor)); });
            p([&] { TargetForm.setControlProperty(i, u"Height", scaled(entry(m_HeightY2, i), HeightFactor)); });
            p([&] { TargetForm.setControlProperty(i, u"Width", scaled(entry(m_WidthX2, i), WidthFactor)); });
            // Type follows the window's width only.
            p([&] {
                TargetForm.setControlProperty(i, u"FontSize",
                                              evenFontSize(scaled(entry(m_FontSizes, i), WidthFactor)));
            });
            // Deliberately the vertical factor, not the horizontal one.
            p([&] {
                TargetForm.setControlProperty(i, u"RightMargin", scaled(entry(m_RightMargins, i), HeightFactor));
            });
        }
    }

    p([&] { TargetForm.setAutoRedraw(SavedAutoRedraw); });
}

} // namespace korvo::layout
