#include "layout/QtForm.h"

#include "errors/RuntimeError.h"
#include "layout/LineControl.h"
#include "layout/Twips.h"

#include <QEvent>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTextEdit>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <utility>

namespace korvo::layout {

namespace {

/// Taller than any screen; bigger type only costs the font engine.
constexpr double kMaxFontPoints = 2048;

[[noreturn]] void invalidValue()
{
    errors::raise(errors::err::InvalidPropertyValue);
}

[[noreturn]] void noSuchMember()
{
    errors::raise(errors::err::NoSuchMember);
}

int toSize(double twips)
{
    if (twips < 0)
        invalidValue();
    return toPixels(twips);
}

enum class Prop { Top, Left, Height, Width, FontSize, RightMargin, X1, Y1, X2, Y2 };

std::optional<Prop> propertyNamed(QStringView name)
{
    static constexpr std::pair<const char16_t*, Prop> names[] = {
        {u"Top", Prop::Top},       {u"Left", Prop::Left},         {u"Height", Prop::Height},
        {u"Width", Prop::Width},   {u"FontSize", Prop::FontSize}, {u"RightMargin", Prop::RightMargin},
        {u"X1", Prop::X1},         {u"Y1", Prop::Y1},             {u"X2", Prop::X2},
        {u"Y2", Prop::Y2},
    };
    for (const auto& [text, prop] : names) {
        if (name.compare(QStringView(text), Qt::CaseInsensitive) == 0)
            return prop;
    }
    return std::nullopt;
}

bool isEndPoint(Prop p)
{
    return p == Prop::X1 || p == Prop::Y1 || p == Prop::X2 || p == Prop::Y2;
}

// Positions in the collection must keep naming the same widgets even when one is raised or lowered,
// which reorders its parent's children, and a widget created later must not push the others along.
// Each widget is numbered the first time it is seen, and the collection is in that order.
constexpr const char* kOrderProperty = "_korvo_layout_order";
std::atomic<qulonglong> nextOrder{1};

qulonglong orderOf(QWidget* w)
{
    const QVariant known = w->property(kOrderProperty);
    if (known.isValid())
        return known.toULongLong();
    const qulonglong order = nextOrder.fetch_add(1);
    w->setProperty(kOrderProperty, order);
    return order;
}

bool isContainer(const QWidget* w)
{
    const QMetaObject* type = w->metaObject();
    return type == &QWidget::staticMetaObject || type == &QFrame::staticMetaObject
        || qobject_cast<const QGroupBox*>(w) != nullptr;
}

void collect(const QWidget& container, QList<std::pair<qulonglong, QWidget*>>& out)
{
    for (QObject* child : container.children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w == nullptr || w->isWindow())
            continue;
        out.append({orderOf(w), w});
        if (isContainer(w))
            collect(*w, out);
    }
}

QScreen* screenOf(const QWidget& w)
{
    QScreen* screen = w.screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        errors::raise(errors::err::ObjectNotSet);
    return screen;
}

} // namespace

QtForm::QtForm(QWidget& window)
    : m_window(&window)
{
    // What exists now is numbered now, container before contents, whatever the stacking order later.
    (void)controls();
    window.installEventFilter(this);
}

QtForm::~QtForm()
{
    if (m_window)
        m_window->removeEventFilter(this);
}

void QtForm::setResizeHandler(std::function<void()> handler)
{
    m_onResize = std::move(handler);
}

bool QtForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Resize && m_onResize)
        m_onResize();
    return QObject::eventFilter(watched, event);
}

QWidget& QtForm::target() const
{
    if (!m_window)
        errors::raise(errors::err::ObjectNotSet);
    return *m_window;
}

QList<QWidget*> QtForm::controls() const
{
    QList<std::pair<qulonglong, QWidget*>> numbered;
    collect(target(), numbered);
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<QWidget*> all;
    all.reserve(numbered.size());
    for (const auto& entry : numbered)
        all.append(entry.second);
    return all;
}

QWidget& QtForm::control(std::int32_t index) const
{
    const QList<QWidget*> all = controls();
    if (index < 0 || index >= all.size())
        errors::raise(errors::err::SubscriptOutOfRange);
    return *all.at(index);
}

float QtForm::height() const
{
    return static_cast<float>(toTwips(target().frameGeometry().height()));
}

float QtForm::width() const
{
    return static_cast<float>(toTwips(target().frameGeometry().width()));
}

void QtForm::checkSizable() const
{
    if (target().windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        errors::raise(errors::err::CannotSizeMinMax);
}

void QtForm::setHeight(float twips)
{
    checkSizable();
    QWidget& w = target();
    const int outer = toSize(static_cast<double>(twips));
    // The frame keeps its thickness; what is left of the outer size goes to the client area.
    const int frame = w.frameGeometry().height() - w.height();
    w.resize(w.width(), std::max(0, outer - frame));
}

void QtForm::setWidth(float twips)
{
    checkSizable();
    QWidget& w = target();
    const int outer = toSize(static_cast<double>(twips));
    const int frame = w.frameGeometry().width() - w.width();
    w.resize(std::max(0, outer - frame), w.height());
}

int QtForm::windowState() const
{
    const Qt::WindowStates state = target().windowState();
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return 2;
    if (state & Qt::WindowMinimized)
        return 1;
    return 0;
}

bool QtForm::autoRedraw() const
{
    return target().testAttribute(Qt::WA_StaticContents);
}

void QtForm::setAutoRedraw(bool on)
{
    target().setAttribute(Qt::WA_StaticContents, on);
}

std::int32_t QtForm::controlsCount() const
{
    return static_cast<std::int32_t>(controls().size());
}

bool QtForm::isLine(std::int32_t index) const
{
    return qobject_cast<const LineControl*>(&control(index)) != nullptr;
}

double QtForm::controlProperty(std::int32_t index, QStringView name) const
{
    QWidget& w = control(index);
    const std::optional<Prop> prop = propertyNamed(name);
    if (!prop)
        noSuchMember();
    if (const auto* line = qobject_cast<const LineControl*>(&w)) {
        switch (*prop) {
        case Prop::X1: return toTwips(line->line().x1());
        case Prop::Y1: return toTwips(line->line().y1());
        case Prop::X2: return toTwips(line->line().x2());
        case Prop::Y2: return toTwips(line->line().y2());
        default: noSuchMember();
        }
    }
    switch (*prop) {
    case Prop::Top: return toTwips(w.y());
    case Prop::Left: return toTwips(w.x());
    case Prop::Height: return toTwips(w.height());
    case Prop::Width: return toTwips(w.width());
    case Prop::FontSize: {
        const double points = w.font().pointSizeF();
        // A font given in pixels has no point size of its own; ask what it came out as.
        return points > 0 ? points : QFontInfo(w.font()).pointSizeF();
    }
    case Prop::RightMargin:
        if (const auto* text = qobject_cast<const QTextEdit*>(&w)) {
            return text->lineWrapMode() == QTextEdit::FixedPixelWidth ? toTwips(text->lineWrapColumnOrWidth())
                                                                        : 0.0;
        }
        noSuchMember();
    default: noSuchMember();
    }
}

void QtForm::setControlProperty(std::int32_t index, QStringView name, double value)
{
    QWidget& w = control(index);
    const std::optional<Prop> prop = propertyNamed(name);
    if (!prop)
        noSuchMember();
    if (auto* line = qobject_cast<LineControl*>(&w)) {
        if (!isEndPoint(*prop))
            noSuchMember();
        QLine l = line->line();
        const int pixels = toPixels(value);
        switch (*prop) {
        case Prop::X1: l.setP1({pixels, l.y1()}); break;
        case Prop::Y1: l.setP1({l.x1(), pixels}); break;
        case Prop::X2: l.setP2({pixels, l.y2()}); break;
        case Prop::Y2: l.setP2({l.x2(), pixels}); break;
        default: break;
        }
        line->setLine(l);
        return;
    }
    switch (*prop) {
    case Prop::Top: w.move(w.x(), toPixels(value)); return;
    case Prop::Left: w.move(toPixels(value), w.y()); return;
    case Prop::Height: w.resize(w.width(), toSize(value)); return;
    case Prop::Width: w.resize(toSize(value), w.height()); return;
    case Prop::FontSize: {
        if (!(value > 0 && value <= kMaxFontPoints))
            invalidValue();
        QFont font = w.font();
        font.setPointSizeF(value);
        w.setFont(font);
        return;
    }
    case Prop::RightMargin:
        if (auto* text = qobject_cast<QTextEdit*>(&w)) {
            const int pixels = toSize(value);
            if (pixels == 0) {
                text->setLineWrapMode(QTextEdit::WidgetWidth);
            } else {
                text->setLineWrapMode(QTextEdit::FixedPixelWidth);
                text->setLineWrapColumnOrWidth(pixels);
            }
            return;
        }
        noSuchMember();
    default: noSuchMember();
    }
}

double QtForm::screenHeight() const
{
    return toTwips(screenOf(target())->geometry().height());
}

double QtForm::screenWidth() const
{
    return toTwips(screenOf(target())->geometry().width());
}

} // namespace korvo::layout
