#include "ui/MainWindowUi.h"

#include "layout/Twips.h"
#include "ui/SymbolButton.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace korvo::ui {

using layout::twipsRect;

namespace {

// The symbol captions were designed for a symbol font at these sizes; the buttons draw the symbols
// themselves and only take the size and weight from the font.
QFont symbolFont(qreal pointSize, QFont::Weight weight)
{
    QFont font;
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

QLabel* label(QWidget* window, const char* name, const QString& caption, QRect place, const QFont& font,
              const QColor& text)
{
    auto* l = new QLabel(caption, window);
    l->setObjectName(QLatin1String(name));
    // The period label shows an operator's legend: as typed, never as markup.
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(place);
    l->setFont(font);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, text);
    l->setPalette(palette);
    return l;
}

SymbolButton* button(QWidget* window, const char* name, const QString& caption, QRect place, const QFont& font,
                     const QString& toolTip)
{
    auto* b = new SymbolButton(caption, window);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(place);
    b->setFont(font);
    b->setToolTip(toolTip);
    return b;
}

} // namespace

QFont heavyFont(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial Black"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Black);
    font.setPointSizeF(pointSize);
    return font;
}

void MainWindowUi::setupUi(QWidget* window)
{
    window->setObjectName(QStringLiteral("frmMAIN"));
    window->setWindowTitle(QStringLiteral("Korvo Timer"));
    const QRect client = twipsRect(3525, 2805, 3240, 2295);
    window->setGeometry(client);
    window->setFixedSize(client.size());

    // Created in paint order: the two markers come after the clock text so that they lie above it.
    lblTIME = label(window, "lblTIME", QStringLiteral("99:99"), twipsRect(570, 270, 2085, 735), heavyFont(27.75),
                    QColor(0, 0, 0));
    lblPERIOD = label(window, "lblPERIOD", QStringLiteral("1st Quarter"), twipsRect(0, 0, 3195, 255),
                      heavyFont(9.75), QColor(0, 0, 255));
    {
        // The application-workspace grey of the classic desktop scheme.
        QPalette palette = lblPERIOD->palette();
        palette.setColor(QPalette::Window, QColor(171, 171, 171));
        lblPERIOD->setPalette(palette);
        lblPERIOD->setAutoFillBackground(true);
    }
    lblEND = label(window, "lblEND", QStringLiteral("E N D"), twipsRect(630, 330, 1995, 495), heavyFont(21.75),
                   QColor(255, 255, 0));
    // Opaque in the window's colour: while shown it covers the digits, so that "E N D" can be read.
    lblEND->setAutoFillBackground(true);
    lblEND->setVisible(false);
    lblPAUSE = label(window, "lblPAUSE", QStringLiteral("P a u s e d"), twipsRect(540, 270, 2145, 615),
                     heavyFont(21.75), QColor(0, 255, 0));
    lblPAUSE->setVisible(false);

    const QFont large = symbolFont(26.25, QFont::Bold);
    const QFont small = symbolFont(12, QFont::Normal);
    cmdSETTING = button(window, "cmdSETTING", QStringLiteral("@"), twipsRect(30, 1680, 825, 555), large,
                        QStringLiteral("Settings"));
    cmdRESET = button(window, "cmdRESET", QStringLiteral("q"), twipsRect(30, 1080, 825, 555), large,
                      QStringLiteral("Reset"));
    cmdSTART = button(window, "cmdSTART", QStringLiteral("4"), twipsRect(1200, 1080, 825, 540), large,
                      QStringLiteral("Start"));
    cmdPREVPERIOD = button(window, "cmdPREVPERIOD", QStringLiteral("9"), twipsRect(1200, 1680, 825, 540), large,
                           QStringLiteral("Previous"));
    cmdPREVPERIOD->setEnabled(false);
    cmdPAUSE = button(window, "cmdPAUSE", QStringLiteral(";"), twipsRect(2370, 1080, 825, 540), large,
                      QStringLiteral("Pause"));
    cmdNEXTPERIOD = button(window, "cmdNEXTPERIOD", QStringLiteral(":"), twipsRect(2370, 1680, 825, 540), large,
                           QStringLiteral("Next"));
    cmd1UP = button(window, "cmd1UP", QStringLiteral("4"), twipsRect(2670, 270, 525, 375), small, QString());
    cmd1DW = button(window, "cmd1DW", QStringLiteral("3"), twipsRect(30, 270, 525, 375), small, QString());
    cmd10UP = button(window, "cmd10UP", QStringLiteral("8"), twipsRect(2670, 660, 525, 375), small, QString());
    cmd10DW = button(window, "cmd10DW", QStringLiteral("7"), twipsRect(30, 660, 525, 375), small, QString());

    QWidget::setTabOrder(cmdSETTING, cmdRESET);
    QWidget::setTabOrder(cmdRESET, cmdSTART);
    QWidget::setTabOrder(cmdSTART, cmdPREVPERIOD);
    QWidget::setTabOrder(cmdPREVPERIOD, cmdPAUSE);
    QWidget::setTabOrder(cmdPAUSE, cmdNEXTPERIOD);
    QWidget::setTabOrder(cmdNEXTPERIOD, cmd1UP);
    QWidget::setTabOrder(cmd1UP, cmd1DW);
    QWidget::setTabOrder(cmd1DW, cmd10UP);
    QWidget::setTabOrder(cmd10UP, cmd10DW);

    mnRESET = new QMenu(QStringLiteral("Reset"), window);
    mnRESET->setObjectName(QStringLiteral("mnRESET"));
    mnRESETYES = mnRESET->addAction(QStringLiteral("Yes Reset time"));
    mnRESETYES->setObjectName(QStringLiteral("mnRESETYES"));
    mnRESETNO = mnRESET->addAction(QStringLiteral("No/Cancel"));
    mnRESETNO->setObjectName(QStringLiteral("mnRESETNO"));
}

} // namespace korvo::ui
