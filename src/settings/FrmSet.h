#pragma once

#include "model/PeriodRec.h"
#include "ui/SettingsWindowUi.h"

#include <QDialog>

#include <cstdint>

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
} // namespace korvo::platform

namespace korvo::settings {

/// What the settings window needs from the rest of the program.
struct SettingsServices
{
    model::ClockModel& model;
    errors::Trap& trap;
    const platform::DatagramSocket& socket; ///< only localIp() is read, once per load
    platform::Dialogs& dialogs;             ///< the "Continue ?" question and the file dialogs
};

/// The settings window: the period table, the counting-direction preview, period-set files and the
/// broadcast network. Each procedure runs under its own error handler (module "frmSet").
class FrmSet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrmSet)
public:
    explicit FrmSet(const SettingsServices& services, QWidget* parent = nullptr);
    ~FrmSet() override;

    /// Loads the window (runs Form_Load) and shows it modally; returns once it has been unloaded
    /// (OK or close box). After "End" the program has ended (Trap::ended() is true); with a fake
    /// process end the window closes itself so that this returns.
    void showModal();

    [[nodiscard]] const ui::SettingsWindowUi& widgets() const { return m_ui; }
    /// The address box's text in its eleven-character form, "_" in unfilled places.
    [[nodiscard]] QString ipText() const;

    // The dialog.
    void Form_Load();
    void chkASKME_Click();
    void cmdOK_Click();
    void cmdCANCEL_Click();
    void Form_QueryUnload();
    // The period table.
    void FIX_GRID();
    void cmdADD_Click();
    void cmdREMOVE_Click();
    void cmdUP_Click();
    void cmdDOWN_Click();
    void vsTIMEMIN_Change();
    void vsTIMESEC_Change();
    // Period-set files.
    void cmdSAVE_Click();
    void cmdLOAD_Click();
    // The counting-direction preview.
    void optPASS_Click();
    void optLEFT_Click();
    void tmrPASSdemo_Timer();
    void tmrLEFTdemo_Timer();

    /// The period table has been edited since the window loaded or since the last load or save of a file.
    std::int16_t SET_CHANGED = model::kFalse;
    std::int16_t DEMO_UP_SEC = 0;
    std::int16_t DEMO_UP_MIN = 0;
    std::int16_t DEMO_DOWN_SEC = 0;
    std::int16_t DEMO_DOWN_MIN = 0;

    /// Every way out of the window (OK, close box) unloads it through Form_QueryUnload.
    void done(int result) override;

protected:
    /// The window has no Cancel button: Esc does nothing here.
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Handler;
    /// Once the program has ended under a procedure (a process end that returns, as in tests), the
    /// window leaves its modal loop without running any unload procedure.
    void leaveIfEnded();
    /// Up and Down: the period in row `other` moves to `row`, the current one, and so the current period
    /// to `other`, which becomes current with its whole row selected.
    void moveRow(errors::Procedure& p, int row, int other);
    void setIpText(const QString& text);
    void showEntryTime();

    model::ClockModel& m_model;
    errors::Trap& m_trap;
    const platform::DatagramSocket& m_socket;
    platform::Dialogs& m_dialogs;
    ui::SettingsWindowUi m_ui;
};

} // namespace korvo::settings
