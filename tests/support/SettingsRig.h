#pragma once

#include "model/ClockModel.h"
#include "settings/FrmSet.h"
#include "support/FakeDialogs.h"
#include "support/FakeErrors.h"
#include "support/LoopbackSocket.h"
#include "ui/PeriodGrid.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace korvo::test {

inline void click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

/// Moves a bar with its arrow keys, as the operator would; gives up where the bar stops.
inline void keyTo(QScrollBar* bar, int value)
{
    bar->setFocus();
    for (int i = 0; i < 200 && bar->value() != value; ++i)
        QTest::keyClick(bar, bar->value() < value ? Qt::Key_Down : Qt::Key_Up);
}

/// The settings window on real widgets, scripted dialogs and error reports, and a local address of
/// 10.0.0.7; loaded and shown.
struct Settings
{
    Settings()
    {
        socket.localAddress = QStringLiteral("10.0.0.7");
        frm->Form_Load();
        frm->show();
    }
    [[nodiscard]] const ui::SettingsWindowUi& ui() const { return frm->widgets(); }
    [[nodiscard]] ui::PeriodGrid& grid() const { return *ui().grdPERIOD; }

    /// Enters a period as the operator does: legend, then the two bars, then Add.
    void add(const QString& legend, int minutes, int seconds, bool askMe = false) const
    {
        ui().txtPERIODLEGEND->clear();
        QTest::keyClicks(ui().txtPERIODLEGEND, legend);
        keyTo(ui().vsTIMEMIN, minutes);
        keyTo(ui().vsTIMESEC, seconds);
        if (askMe)
            click(ui().chkASKME);
        click(ui().cmdADD);
        if (askMe)
            click(ui().chkASKME);
    }
    void clickRow(int row) const
    {
        const QRect cell = grid().visualRect(grid().model()->index(row - 1, 1));
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, cell.center());
    }
    /// Rows 1 … n as "legend|time"; column 0 must stay empty.
    [[nodiscard]] QStringList table() const
    {
        QStringList rows;
        for (int r = 1; r < grid().rows(); ++r)
            rows.append(grid().textMatrix(r, 0) + grid().textMatrix(r, 1) + '|' + grid().textMatrix(r, 2));
        return rows;
    }
    /// The reports' numbers, descriptions and locations, one line each.
    [[nodiscard]] QString reports() const
    {
        QStringList lines;
        for (const QString& text : trap.reporter.texts)
            lines.append(text.split("\r\n").mid(0, 3).join('|'));
        return lines.join('\n');
    }

    model::ClockModel model;
    fakes::FakeTrap trap;
    LoopbackSocket socket;
    fakes::FakeDialogs dialogs;
    std::unique_ptr<settings::FrmSet> frm =
        std::make_unique<settings::FrmSet>(settings::SettingsServices{model, trap.trap, socket, dialogs});
};

} // namespace korvo::test
