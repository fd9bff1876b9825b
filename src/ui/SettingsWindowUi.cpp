#include "ui/SettingsWindowUi.h"

#include "layout/Twips.h"
#include "model/PeriodRec.h"
#include "ui/PeriodGrid.h"
#include "ui/SymbolButton.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTimer>
#include <QValidator>
#include <QWidget>

#include <algorithm>

namespace korvo::ui {

using layout::toPixels;
using layout::twipsRect;

namespace {

constexpr int kDemoInterval = 999;
constexpr int kLegendLength = 15;

/// A legend is one line of a period-set file, so it may hold no tab and no line break.
class LegendValidator final : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString& input, int& /*pos*/) const override
    {
        return model::isLegendText(input) ? Acceptable : Invalid;
    }
};

/// A check box whose caption wraps inside its box, as the long "Ask me" caption needs. Where the
/// platform's face is wider than the one the box was sized for, the caption's type shrinks just enough
/// to show all of it.
class WrappingCheckBox final : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        constexpr int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
        QStyleOptionButton box = option;
        box.rect = indicator;
        painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);

        const int gap = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
        const QRect textRect = rect().adjusted(indicator.right() + 1 + gap, 0, 0, 0);
        QFont face = font();
        constexpr qreal smallest = 6.0;
        while (face.pointSizeF() > smallest
               && !textRect.contains(QFontMetrics(face).boundingRect(textRect, flags, text()))) {
            face.setPointSizeF(face.pointSizeF() - 0.25);
        }
        painter.setFont(face);
        painter.drawItemText(textRect, flags, palette(), isEnabled(), text(), QPalette::WindowText);
        if (hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = painter.boundingRect(textRect, flags, text());
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }

    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

/// Where the face found is wider than the one the window was laid out for (Liberation Sans has its widths),
/// a control's type shrinks just enough for its whole design text to show in its designed room.
void fit(QWidget* widget, const QString& text, int room)
{
    QFont face = widget->font();
    constexpr qreal smallest = 6.0;
    while (face.pointSizeF() > smallest && QFontMetrics(face).horizontalAdvance(text) > room)
        face.setPointSizeF(face.pointSizeF() - 0.25);
    if (face != widget->font())
        widget->setFont(face);
}

template <class W>
W* place(W* widget, const char* name, const QRect& geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QGroupBox* frame(QWidget* window, const char* name, const QString& caption, const QRect& geometry)
{
    return place(new QGroupBox(caption, window), name, geometry);
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
              Qt::Alignment alignment)
{
    auto* l = place(new QLabel(caption, parent), name, geometry);
    l->setAlignment(alignment | Qt::AlignVCenter);
    return l;
}

/// The light-yellow captions of the entry fields.
QLabel* caption(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    QLabel* l = label(parent, name, text, geometry, Qt::AlignRight);
    QPalette palette = l->palette();
    palette.setColor(QPalette::Window, QColor(255, 255, 128));
    l->setPalette(palette);
    l->setAutoFillBackground(true);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* b = place(new QPushButton(caption, parent), name, geometry);
    // The window has no default button: Enter in a text box must not apply the set.
    b->setAutoDefault(false);
    return b;
}

SymbolButton* symbolButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* b = place(new SymbolButton(caption, parent), name, geometry);
    b->setAutoDefault(false);
    // The symbols were designed for a symbol font of this size; the button takes only the size from it.
    QFont font = b->font();
    font.setPointSizeF(15.75);
    font.setWeight(QFont::Normal);
    b->setFont(font);
    return b;
}

QScrollBar* scrollBar(QWidget* parent, const char* name, int maximum, const QRect& geometry)
{
    // A vertical scroll bar has its minimum at the top: the value grows toward the lower arrow.
    auto* bar = place(new QScrollBar(Qt::Vertical, parent), name, geometry);
    bar->setRange(0, maximum);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setValue(0);
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

QTimer* timer(QWidget* window, const char* name)
{
    auto* t = new QTimer(window);
    t->setObjectName(QLatin1String(name));
    t->setInterval(kDemoInterval);
    return t;
}

/// Colours a frame's caption without handing the colour down to the controls inside it.
void captionColour(QGroupBox* box, const QColor& colour)
{
    const QPalette inherited = box->palette();
    QPalette palette = inherited;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        // Styles draw the caption either in the window-text or in the text role.
        palette.setColor(group, QPalette::WindowText, colour);
        palette.setColor(group, QPalette::Text, colour);
    }
    box->setPalette(palette);
    for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QPalette own = child->palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            own.setColor(group, QPalette::WindowText, inherited.color(group, QPalette::WindowText));
            own.setColor(group, QPalette::Text, inherited.color(group, QPalette::Text));
        }
        child->setPalette(own);
    }
}

} // namespace

QFont settingsFont()
{
    QFont font;
    // Fall back on faces of similar width before the platform's default sans-serif.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    return font;
}

void SettingsWindowUi::setupUi(QWidget* window)
{
    window->setObjectName(QStringLiteral("frmSet"));
    window->setWindowTitle(QStringLiteral("Setting"));
    window->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    window->setFont(settingsFont());
    window->resize(toPixels(7365), toPixels(4710));

    Frame1 = frame(window, "Frame1", QStringLiteral("Timer Type"), twipsRect(0, 0, 3075, 1125));
    optPASS = place(new QRadioButton(QStringLiteral("Clock timer"), Frame1), "optPASS", twipsRect(180, 330, 2085, 255));
    optPASS->setChecked(true);
    lblPASS = label(Frame1, "lblPASS", QStringLiteral("00:00"), twipsRect(2160, 360, 885, 225), Qt::AlignHCenter);
    optLEFT = place(new QRadioButton(QStringLiteral("Countdown timer"), Frame1), "optLEFT",
                    twipsRect(180, 660, 2085, 255));
    lblLEFT = label(Frame1, "lblLEFT", QStringLiteral("01:20"), twipsRect(2160, 690, 885, 225), Qt::AlignHCenter);

    Frame2 = frame(window, "Frame2", QStringLiteral("Periods"), twipsRect(0, 1140, 7335, 3015));
    Label1 = caption(Frame2, "Label1", QStringLiteral("Period legend"), twipsRect(120, 330, 1785, 225));
    Label2 = caption(Frame2, "Label2", QStringLiteral("ex. Quarter or Half Time"), twipsRect(120, 570, 1785, 225));
    txtPERIODLEGEND = place(new QLineEdit(Frame2), "txtPERIODLEGEND", twipsRect(1950, 270, 1515, 285));
    txtPERIODLEGEND->setMaxLength(kLegendLength);
    txtPERIODLEGEND->setValidator(new LegendValidator(txtPERIODLEGEND));
    Label3 = caption(Frame2, "Label3", QStringLiteral("Period time"), twipsRect(120, 930, 1785, 225));
    txtPERIODTIME = place(new QLineEdit(QStringLiteral("00:00"), Frame2), "txtPERIODTIME",
                          twipsRect(1950, 900, 615, 285));
    txtPERIODTIME->setEnabled(false);
    vsTIMESEC = scrollBar(Frame2, "vsTIMESEC", 60, twipsRect(3090, 900, 375, 315));
    vsTIMEMIN = scrollBar(Frame2, "vsTIMEMIN", 99, twipsRect(2670, 900, 375, 315));
    chkASKME = place(new WrappingCheckBox(QStringLiteral("I don't know. Ask me for this period."), Frame2), "chkASKME",
                     twipsRect(1980, 1230, 1575, 405));
    grdPERIOD = place(new PeriodGrid(Frame2), "grdPERIOD", twipsRect(3690, 270, 3045, 2625));
    grdPERIOD->setFont(settingsFont());
    // As the grid is first created: two rows and two columns, one of each fixed.
    grdPERIOD->setCols(2);
    grdPERIOD->setRows(2);
    grdPERIOD->setFixedRows(1);
    grdPERIOD->setFixedCols(1);
    cmdADD = button(Frame2, "cmdADD", QStringLiteral("Add Period"), twipsRect(330, 1860, 1395, 375));
    cmdREMOVE = button(Frame2, "cmdREMOVE", QStringLiteral("Remove Period"), twipsRect(1860, 1860, 1395, 375));
    cmdUP = symbolButton(Frame2, "cmdUP", QStringLiteral("5"), twipsRect(6810, 1110, 435, 435));
    cmdDOWN = symbolButton(Frame2, "cmdDOWN", QStringLiteral("6"), twipsRect(6810, 1680, 435, 435));
    cmdSAVE = button(Frame2, "cmdSAVE", QStringLiteral("Save set"), twipsRect(330, 2430, 1395, 375));
    cmdLOAD = button(Frame2, "cmdLOAD", QStringLiteral("Load set"), twipsRect(1860, 2430, 1395, 375));

    cmdOK = button(window, "cmdOK", QStringLiteral("Ok"), twipsRect(3840, 4260, 1545, 405));
    cmdCANCEL = button(window, "cmdCANCEL", QStringLiteral("End"), twipsRect(5580, 4260, 1545, 405));

    Frame3 = frame(window, "Frame3", QStringLiteral("Network"), twipsRect(3150, 0, 4185, 1125));
    Label4 = caption(Frame3, "Label4", QStringLiteral("Broadcast IP"), twipsRect(180, 270, 1305, 225));
    txtIP = place(new QLineEdit(Frame3), "txtIP", twipsRect(1530, 510, 1065, 285));
    txtIP->setInputMask(QStringLiteral("999.999.999;_"));
    Label5 = label(Frame3, "Label5", QStringLiteral(".255"), twipsRect(2670, 570, 525, 255), Qt::AlignLeft);

    for (QLabel* l : {Label1, Label2, Label3, Label4})
        fit(l, l->text(), l->width());
    // A line edit keeps a frame and a margin of two pixels each side, and room for the cursor.
    fit(txtIP, QStringLiteral("000.000.000"), txtIP->width() - 9);
    // A cell keeps three pixels each side; "Ask me" is the widest time.
    fit(grdPERIOD, QStringLiteral("Ask me"), toPixels(700) - 6);

    tmrLEFTdemo = timer(window, "tmrLEFTdemo");
    tmrPASSdemo = timer(window, "tmrPASSdemo");

    captionColour(Frame1, QColor(0, 0, 192));
    captionColour(Frame2, QColor(0, 0, 192));
    captionColour(Frame3, QColor(0, 0, 255));

    QWidget* const order[] = {optPASS, optLEFT, txtPERIODLEGEND, txtPERIODTIME, vsTIMESEC, vsTIMEMIN, chkASKME,
                              grdPERIOD, cmdADD, cmdREMOVE, cmdUP, cmdDOWN, cmdSAVE, cmdLOAD, cmdOK, cmdCANCEL, txtIP};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

} // namespace korvo::ui
