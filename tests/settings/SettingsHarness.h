#pragma once

#include "fakes/FakeDialogs.h"
#include "fakes/FakeErrors.h"
#include "fakes/FakeSocket.h"
#include "model/ClockModel.h"
#include "settings/FrmSet.h"
#include "ui/PeriodGrid.h"
#include "ui/SymbolButton.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <memory>

namespace korvo::tests {

/// One settings window on real widgets, with scripted dialogs and error reports and a socket that
/// reports the local address the test chooses.
struct SettingsHarness
{
    explicit SettingsHarness(const QString& localIp = QStringLiteral("10.0.0.7"))
    {
        socket.localAddress = localIp;
        frm = std::make_unique<settings::FrmSet>(settings::SettingsServices{model, trap.trap, socket, dialogs});
    }

    /// Loads the window as showing it would, but without a modal loop, and puts it on screen.
    void load()
    {
        frm->Form_Load();
        frm->show();
    }

    [[nodiscard]] const ui::SettingsWindowUi& ui() const { return frm->widgets(); }
    [[nodiscard]] ui::PeriodGrid& grid() const { return *ui().grdPERIOD; }

    static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    /// Clicks one of a scroll bar's arrows.
    static void clickArrow(QScrollBar* bar, QStyle::SubControl arrow)
    {
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.subControls = QStyle::SC_All;
        option.orientation = bar->orientation();
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        option.upsideDown = bar->invertedAppearance();
        const QRect rect = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, arrow, bar);
        QVERIFY2(!rect.isEmpty(), "the scroll bar shows no such arrow");
        QTest::mouseClick(bar, Qt::LeftButton, {}, rect.center());
    }

    /// Moves a bar to a value with its arrow keys, as the operator would.
    static void keyTo(QScrollBar* bar, int value)
    {
        bar->setFocus();
        while (bar->value() < value)
            QTest::keyClick(bar, Qt::Key_Down);
        while (bar->value() > value)
            QTest::keyClick(bar, Qt::Key_Up);
    }

    void typeLegend(const QString& text) const
    {
        QLineEdit* box = ui().txtPERIODLEGEND;
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 128) {
                QTest::keyClick(box, c.toLatin1());
            } else {
                // Typed as a key whose text is the character, as a keyboard layout would deliver it.
                QTest::sendKeyEvent(QTest::Press, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Release, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }

    /// Enters one period through the entry fields and "Add Period".
    void addPeriod(const QString& legend, int minutes, int seconds) const
    {
        typeLegend(legend);
        keyTo(ui().vsTIMEMIN, minutes);
        keyTo(ui().vsTIMESEC, seconds);
        click(ui().cmdADD);
    }

    void addAskMe(const QString& legend) const
    {
        typeLegend(legend);
        if (!ui().chkASKME->isChecked())
            click(ui().chkASKME);
        click(ui().cmdADD);
        click(ui().chkASKME);
    }

    /// Makes a period row current by clicking its legend cell.
    void clickRow(int row) const
    {
        ui::PeriodGrid& g = grid();
        const QRect cell = g.visualRect(g.model()->index(row - 1, 1));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, cell.center());
    }

    /// The table as "legend|time" texts, rows 1 … n.
    [[nodiscard]] QStringList table() const
    {
        QStringList rows;
        for (int r = 1; r < grid().rows(); ++r)
            rows.append(grid().textMatrix(r, 1) + QLatin1Char('|') + grid().textMatrix(r, 2));
        return rows;
    }

    model::ClockModel model;
    fakes::FakeTrap trap;
    fakes::FakeSocket socket;
    fakes::FakeDialogs dialogs;
    std::unique_ptr<settings::FrmSet> frm;
};

} // namespace korvo::tests
