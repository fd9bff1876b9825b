#pragma once

#include "ui/MainWindowUi.h"

#include <QColor>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>

class QMenu;

namespace korvo::errors {
class Procedure;
class Trap;
} // namespace korvo::errors

namespace korvo::model {
class ClockModel;
}

namespace korvo::platform {
class DatagramSocket;
class Dialogs;
class JournalStore;
class TickTimer;
} // namespace korvo::platform

namespace korvo::clock {

/// What the main clock window needs from the rest of the program.
struct ClockServices
{
    model::ClockModel& model;
    errors::Trap& trap;
    platform::TickTimer& timer;       // Timer1, period 1000 ms in the program
    platform::DatagramSocket& socket; // wsTIME
    platform::Dialogs& dialogs;       // the "Ask me" input boxes
    /// frmSet: runs the settings window modally and returns once it has been closed.
    std::function<void()> settingsWindow;
    platform::JournalStore* journal = nullptr; // keeps the game for the next run; none: kept nowhere
};

/// The main clock window: its engine, display, commands and start-up. Every procedure runs under its own
/// error handler and is public so that it can be driven exactly as its event would drive it.
///
/// Life cycle: construct, Form_Initialize(), Form_Load() (which runs the settings window modally), show().
/// Closing the window runs no procedure.
class FrmMain final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrmMain)
public:
    explicit FrmMain(const ClockServices& services, QWidget* parent = nullptr);
    ~FrmMain() override;

    [[nodiscard]] const ui::MainWindowUi& ui() const { return m_ui; }

    // The engine.
    void Timer1_Timer();
    void CHECK_TIME();
    void PAUSED();
    void UNPAUSED();
    // The display and the time datagram.
    void SHOW_TIME();
    // The operator's commands.
    void cmdSTART_Click();
    void cmdPAUSE_Click();
    void cmd1UP_Click();
    void cmd1DW_Click();
    void cmd10UP_Click();
    void cmd10DW_Click();
    void cmdRESET_Click();
    void mnRESETYES_Click();
    void cmdNEXTPERIOD_Click();
    void cmdPREVPERIOD_Click();
    void cmdSETTING_Click();
    /// A key pressed anywhere in the window, before the control with the focus gets it. The shift state
    /// is passed for completeness and not looked at.
    void Form_KeyDown(std::int16_t KeyCode, std::int16_t Shift);
    // Start-up.
    void Form_Initialize();
    void Form_Load();

    /// Shows the Reset pop-up at a screen position and returns once it has closed; choosing an item
    /// triggers its action. The default runs the menu modally (QMenu::exec).
    using PopupMenu = std::function<void(QMenu& menu, const QPoint& at)>;
    void setPopupMenu(PopupMenu popup);

    /// Form_Load continues this game (one the last run left) instead of running the settings window.
    void setResumedGame(const model::ClockModel& game);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void correct(errors::Procedure& p, std::int32_t amount);
    void periodEnded(errors::Procedure& p);
    void askDuration(errors::Procedure& p);
    void resumeGame(errors::Procedure& p);
    void keepGame();
    /// Sends one datagram. While sends fail the period label shows it, red with the socket's error text as
    /// its tooltip, and the first failure of each run of failures goes to standard error; the failure is
    /// passed on to the step.
    void broadcast(const QString& text);

    model::ClockModel& m_model;
    errors::Trap& m_trap;
    platform::TickTimer& m_timer;
    platform::DatagramSocket& m_socket;
    platform::Dialogs& m_dialogs;
    ui::MainWindowUi m_ui;
    std::function<void()> m_settingsWindow;
    PopupMenu m_popup;
    platform::JournalStore* m_journal;
    std::unique_ptr<model::ClockModel> m_resumed;
    bool m_broadcastFailing = false;
    QColor m_periodBackground;
};

} // namespace korvo::clock
