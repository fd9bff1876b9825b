#pragma once

#include "clock/FrmMain.h"
#include "model/ClockModel.h"
#include "settings/FrmSet.h"
#include "support/FakeDialogs.h"
#include "support/FakeErrors.h"
#include "support/FakeTimer.h"
#include "support/LoopbackSocket.h"
#include "ui/SymbolButton.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace korvo::test {

/// Both windows wired as app/main.cpp wires them, with scripted dialogs and error reports, a fake timer and
/// the real socket kept on loopback, unless a test hands in a socket of its own. Settings runs
/// settingsWindow: the real settings window unless a test puts something else there, as load() does.
struct ClockRig
{
    Q_DISABLE_COPY_MOVE(ClockRig)

    explicit ClockRig(platform::DatagramSocket* ownSocket = nullptr, platform::JournalStore* journal = nullptr)
        : frm(std::make_unique<clock::FrmMain>(clock::ClockServices{model, trap.trap, timer,
              ownSocket ? *ownSocket : socket, dialogs, [this] { settingsWindow(); }, journal}))
        , frmSet(new settings::FrmSet({model, trap.trap, ownSocket ? *ownSocket : socket, dialogs}, frm.get()))
    {
        frm->setPopupMenu([this](QMenu& menu, const QPoint&) {
            if (auto* item = menu.findChild<QAction*>(menuAnswer))
                item->trigger();
        });
    }

    /// Start-up with the settings window replaced by applying a set of periods of these lengths in seconds
    /// (-1: "Ask me"), named P1, P2, ...; then the window is shown.
    void load(const QList<int>& lengths, std::int32_t mode, const QString& broadcast = QStringLiteral("192.168.1.255"))
    {
        std::vector<model::PERIOD_REC> set;
        for (int s : lengths)
            set.push_back({QStringLiteral("P%1").arg(set.size() + 1), s < 0 ? model::kTrue : model::kFalse,
                           static_cast<std::int16_t>(s < 0 ? -1 : s / 60),
                           static_cast<std::int16_t>(s < 0 ? -1 : s % 60)});
        settingsWindow = [this, set, mode, broadcast] { model.applySet(set, mode, broadcast); };
        frm->Form_Load();
        frm->show();
        QVERIFY(QTest::qWaitForWindowExposed(frm.get()));
    }

    /// The operator's steps in turn: a button by its name ("cmdSTART", "cmd1UP", ...); "mnRESETYES" or
    /// "mnRESETNO": Reset, and that item of its pop-up menu; "S": the key, through the window system, so that
    /// it goes to the control with the focus; "tick", or "tick, 3 missed" for a late one; "Retry": the next
    /// error report is answered Retry (the others Ignore).
    void operate(const QStringList& steps)
    {
        static const QRegularExpression late(QStringLiteral("^tick, (\\d+) missed$"));
        for (const QString& step : steps) {
            if (step == QLatin1String("S")) {
                QTest::keyClick(frm->windowHandle(), Qt::Key_S);
            } else if (step == QLatin1String("Retry")) {
                trap.reporter.answers.push_back(errors::Answer::Retry);
            } else if (step.startsWith(QLatin1String("tick"))) {
                QVERIFY2(timer.fire(late.match(step).captured(1).toInt()), "a tick while the timer is off");
            } else {
                menuAnswer = step;
                auto* button = frm->findChild<QAbstractButton*>(step.startsWith("mnRESET") ? "cmdRESET" : step);
                QVERIFY2(button != nullptr, qPrintable(step));
                QTest::mouseClick(button, Qt::LeftButton);
            }
        }
    }

    /// What the operator sees: caption (period and clock), clock colour, the end marker, which of Settings, Previous and Next are
    /// enabled, whether the timer runs; then the prompts and the error reports ("Error n|Location") since.
    QString state()
    {
        QString s = frm->windowTitle();
        const QColor c = ui.lblTIME->palette().color(QPalette::WindowText);
        s += c == Qt::red ? QStringLiteral(" red") : c == Qt::black ? QStringLiteral(" black") : QLatin1Char(' ') + c.name();
        const std::pair<bool, QString> flags[] = {{ui.lblEND->isVisible(), ui.lblEND->text()},
            {ui.cmdSETTING->isEnabled(), "settings"}, {ui.cmdPREVPERIOD->isEnabled(), "prev"},
            {ui.cmdNEXTPERIOD->isEnabled(), "next"}, {timer.enabled, "timer"}};
        for (const auto& [on, name] : flags)
            s += on ? QLatin1Char(' ') + name : QString();
        if (!dialogs.prompts.isEmpty())
            s += QLatin1Char(' ') + std::exchange(dialogs.prompts, {}).join(QLatin1Char('|'));
        for (const QString& t : std::exchange(trap.reporter.texts, {}))
            s += QLatin1Char(' ') + t.section("\r\n", 0, 0) + QLatin1Char('|') + t.section("\r\n", 2, 2);
        return s;
    }

    fakes::FakeTimer timer;
    LoopbackSocket socket;
    model::ClockModel model;
    fakes::FakeTrap trap;
    fakes::FakeDialogs dialogs;
    std::function<void()> settingsWindow = [this] { frmSet->showModal(); };
    std::unique_ptr<clock::FrmMain> frm;
    settings::FrmSet* frmSet; ///< a child of frm, as in the program
    const ui::MainWindowUi& ui = frm->ui();
    QString menuAnswer; ///< the item the Reset menu is answered with
};

} // namespace korvo::test
