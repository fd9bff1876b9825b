#include "settings/FrmSet.h"

#include "errors/Procedure.h"
#include "model/CheckedArithmetic.h"
#include "model/ClockModel.h"
#include "model/TimeText.h"
#include "platform/DatagramSocket.h"
#include "platform/Dialogs.h"
#include "settings/NetworkAddress.h"
#include "settings/PeriodScript.h"
#include "settings/PeriodSetFile.h"
#include "ui/PeriodGrid.h"
#include "ui/SymbolButton.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>

#include <optional>
#include <vector>

namespace korvo::settings {

namespace {

// Where reports say a failure happened: "KorvoTimer.frmSet.<procedure>".
constexpr const char* kModule = "frmSet";
namespace proc {
constexpr const char* Form_Load = "Form_Load";
constexpr const char* chkASKME_Click = "chkASKME_Click";
constexpr const char* cmdOK_Click = "cmdOK_Click";
constexpr const char* cmdCANCEL_Click = "cmdCANCEL_Click";
constexpr const char* Form_QueryUnload = "Form_QueryUnload";
constexpr const char* FIX_GRID = "FIX_GRID";
constexpr const char* cmdADD_Click = "cmdADD_Click";
constexpr const char* cmdREMOVE_Click = "cmdREMOVE_Click";
constexpr const char* cmdUP_Click = "cmdUP_Click";
constexpr const char* cmdDOWN_Click = "cmdDOWN_Click";
constexpr const char* vsTIMEMIN_Change = "vsTIMEMIN_Change";
constexpr const char* vsTIMESEC_Change = "vsTIMESEC_Change";
constexpr const char* cmdSAVE_Click = "cmdSAVE_Click";
constexpr const char* cmdLOAD_Click = "cmdLOAD_Click";
constexpr const char* optPASS_Click = "optPASS_Click";
constexpr const char* optLEFT_Click = "optLEFT_Click";
constexpr const char* tmrPASSdemo_Timer = "tmrPASSdemo_Timer";
constexpr const char* tmrLEFTdemo_Timer = "tmrLEFTdemo_Timer";
} // namespace proc

constexpr const char* kAskMe = "Ask me";
constexpr const char* kZeroTime = "00:00";
constexpr const char* kFilter = "Period Script (*.ptm);;All files (*.*)";

void setBold(QWidget& widget, bool bold)
{
    QFont font = widget.font();
    font.setBold(bold);
    widget.setFont(font);
}

} // namespace

/// The error handler of one of this window's procedures (module "frmSet"). Once the program has ended under
/// the procedure, the window leaves its modal loop as the procedure returns.
class FrmSet::Handler final : public errors::Procedure
{
    Q_DISABLE_COPY_MOVE(Handler)
public:
    Handler(FrmSet& window, const char* procedure)
        : errors::Procedure(window.m_trap, kModule, procedure)
        , m_window(window)
    {
    }
    ~Handler() { m_window.leaveIfEnded(); }

private:
    FrmSet& m_window;
};

FrmSet::FrmSet(const SettingsServices& services, QWidget* parent)
    : QDialog(parent)
    , m_model(services.model)
    , m_trap(services.trap)
    , m_socket(services.socket)
    , m_dialogs(services.dialogs)
{
    m_ui.setupUi(this);

    connect(m_ui.chkASKME, &QCheckBox::toggled, this, &FrmSet::chkASKME_Click);
    connect(m_ui.cmdOK, &QPushButton::clicked, this, &FrmSet::cmdOK_Click);
    connect(m_ui.cmdCANCEL, &QPushButton::clicked, this, &FrmSet::cmdCANCEL_Click);
    connect(m_ui.cmdADD, &QPushButton::clicked, this, &FrmSet::cmdADD_Click);
    connect(m_ui.cmdREMOVE, &QPushButton::clicked, this, &FrmSet::cmdREMOVE_Click);
    connect(m_ui.cmdUP, &QPushButton::clicked, this, &FrmSet::cmdUP_Click);
    connect(m_ui.cmdDOWN, &QPushButton::clicked, this, &FrmSet::cmdDOWN_Click);
    connect(m_ui.cmdSAVE, &QPushButton::clicked, this, &FrmSet::cmdSAVE_Click);
    connect(m_ui.cmdLOAD, &QPushButton::clicked, this, &FrmSet::cmdLOAD_Click);
    // Program-made changes report too, so the carry rules run their nested changes as they happen.
    connect(m_ui.vsTIMEMIN, &QScrollBar::valueChanged, this, &FrmSet::vsTIMEMIN_Change);
    connect(m_ui.vsTIMESEC, &QScrollBar::valueChanged, this, &FrmSet::vsTIMESEC_Change);
    // An option reports being selected, by the operator or by a file load; not being deselected.
    connect(m_ui.optPASS, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optPASS_Click();
    });
    connect(m_ui.optLEFT, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optLEFT_Click();
    });
    connect(m_ui.tmrPASSdemo, &QTimer::timeout, this, &FrmSet::tmrPASSdemo_Timer);
    connect(m_ui.tmrLEFTdemo, &QTimer::timeout, this, &FrmSet::tmrLEFTdemo_Timer);
}

FrmSet::~FrmSet() = default;

void FrmSet::showModal()
{
    Form_Load();
    if (m_trap.ended())
        return;
    exec();
}

QString FrmSet::ipText() const
{
    // text() drops the unfilled places; the displayed text keeps them as "_".
    return m_ui.txtIP->displayText();
}

void FrmSet::done(int result)
{
    Form_QueryUnload();
    QDialog::done(result);
}

void FrmSet::keyPressEvent(QKeyEvent* event)
{
    // A dialog closes on Esc as on its close box, which here ends the program before any set was applied.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmSet::leaveIfEnded()
{
    if (m_trap.ended() && isVisible())
        QDialog::done(QDialog::Rejected);
}

void FrmSet::setIpText(const QString& text)
{
    checkAddressBoxText(text);
    m_ui.txtIP->setText(text);
}

void FrmSet::showEntryTime()
{
    m_ui.txtPERIODTIME->setText(model::clockText(m_ui.vsTIMEMIN->value(), m_ui.vsTIMESEC->value()));
}

// ---- The dialog -------------------------------------------------------------------------------------

void FrmSet::Form_Load()
{
    Handler p(*this, proc::Form_Load);
    p([&] { FIX_GRID(); });
    QStringList fields;
    p([&] { fields = m_socket.localIp().split(QLatin1Char('.')); });
    p([&] { setIpText(proposedNetwork(fields)); });
    p([&] { SET_CHANGED = model::kFalse; });
    p([&] { DEMO_UP_SEC = 0; });
    p([&] { DEMO_DOWN_SEC = 20; });
    p([&] { DEMO_UP_MIN = 0; });
    p([&] { DEMO_DOWN_MIN = 1; });
    p([&] { m_ui.tmrPASSdemo->start(); });
    p([&] { m_ui.tmrLEFTdemo->start(); });
}

void FrmSet::chkASKME_Click()
{
    Handler p(*this, proc::chkASKME_Click);
    if (m_ui.chkASKME->checkState() != Qt::Unchecked) {
        p([&] { m_ui.txtPERIODTIME->setText(QLatin1String(kZeroTime)); });
        p([&] { m_ui.vsTIMEMIN->setEnabled(false); });
        p([&] { m_ui.vsTIMESEC->setEnabled(false); });
    } else {
        p([&] { showEntryTime(); });
        p([&] { m_ui.vsTIMEMIN->setEnabled(true); });
        p([&] { m_ui.vsTIMESEC->setEnabled(true); });
    }
}

void FrmSet::cmdOK_Click()
{
    Handler p(*this, proc::cmdOK_Click);
    const ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    if (grid.rows() == 1)
        return;
    if (ipText() == QLatin1String(kUntouchedAddress))
        return;
    // A field over 255 would send every datagram nowhere, with no sign all game: it is refused here.
    if (const int field = fieldOver255(ipText()); field > 0) {
        static const char* const kOrdinal[] = {"first", "second", "third"};
        const QString value = ipText().mid(4 * (field - 1), 3);
        p([&] {
            m_dialogs.warn(QStringLiteral("The %1 field of the Broadcast IP, %2, is over 255.")
                               .arg(QLatin1String(kOrdinal[field - 1]), value));
        });
        p([&] { m_ui.txtIP->setFocus(); });
        p([&] { m_ui.txtIP->setSelection(4 * (field - 1), 3); });
        return;
    }
    std::int16_t n = 0;
    p([&] { n = model::narrow16(grid.rows() - 1); });
    p([&] { m_model.PERIODS = std::vector<model::PERIOD_REC>(static_cast<std::size_t>(n) + 1); });
    for (int i = 1; i <= n && p.active(); ++i) {
        p([&] { m_model.record(i).Descr = grid.textMatrix(i, 1); });
        QString time;
        p([&] { time = grid.textMatrix(i, 2); });
        if (time == QLatin1String(kAskMe)) {
            p([&] { m_model.record(i).AskMe = model::kTrue; });
            p([&] { m_model.record(i).Minutes = -1; });
            p([&] { m_model.record(i).Seconds = -1; });
        } else {
            p([&] { m_model.record(i).AskMe = model::kFalse; });
            p([&] { m_model.record(i).Minutes = model::roundTo16(model::leadingNumber(QStringView(time).mid(0, 2))); });
            p([&] { m_model.record(i).Seconds = model::roundTo16(model::leadingNumber(QStringView(time).mid(3, 2))); });
        }
    }
    p([&] {
        if (m_ui.optPASS->isChecked())
            m_model.TIME_MODE = model::COUNT_UP;
    });
    p([&] {
        if (m_ui.optLEFT->isChecked())
            m_model.TIME_MODE = model::COUNT_DOWN;
    });
    p([&] { m_model.CUR_PERIOD = 1; });
    p([&] { m_model.PERIOD_COUNT = n; });
    p([&] { m_model.BROADCAST_IP = broadcastAddress(ipText()); });
    p([&] { done(QDialog::Accepted); });
}

void FrmSet::cmdCANCEL_Click()
{
    Handler p(*this, proc::cmdCANCEL_Click);
    p([&] { m_trap.endProgram(); });
}

void FrmSet::Form_QueryUnload()
{
    Handler p(*this, proc::Form_QueryUnload);
    p([&] { m_ui.tmrLEFTdemo->stop(); });
    p([&] { m_ui.tmrPASSdemo->stop(); });
}

// ---- The period table -------------------------------------------------------------------------------

void FrmSet::FIX_GRID()
{
    Handler p(*this, proc::FIX_GRID);
    ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    p([&] { grid.setRows(2); });
    p([&] { grid.setFixedRows(1); });
    p([&] { grid.setCols(3); });
    p([&] { grid.setFixedCols(0); });
    p([&] { grid.setFormatString(QStringLiteral("|Period Descr|Time")); });
    p([&] { grid.setFixedRows(1); });
    p([&] { grid.setRows(1); });
    p([&] { grid.setColWidth(0, 0); });
    p([&] { grid.setColWidth(1, 1955); });
    p([&] { grid.setColWidth(2, 700); });
    p([&] { grid.setColAlignment(1, 1); });
    p([&] { grid.setColAlignment(2, 7); });
}

void FrmSet::cmdADD_Click()
{
    Handler p(*this, proc::cmdADD_Click);
    ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    const bool askMe = m_ui.chkASKME->checkState() != Qt::Unchecked;
    if (m_ui.txtPERIODLEGEND->text().isEmpty())
        return;
    if (m_ui.txtPERIODTIME->text() == QLatin1String(kZeroTime) && !askMe)
        return;
    QString time;
    p([&] { time = askMe ? QString::fromLatin1(kAskMe) : m_ui.txtPERIODTIME->text(); });
    p([&] { grid.addCells({QString(), m_ui.txtPERIODLEGEND->text(), time}); });
    p([&] { grid.setRow(grid.rows() - 1); });
    p([&] { SET_CHANGED = model::kTrue; });
}

void FrmSet::cmdREMOVE_Click()
{
    Handler p(*this, proc::cmdREMOVE_Click);
    ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    if (grid.rows() == 1)
        return;
    int r = 0;
    p([&] { r = grid.row(); });
    if (grid.rows() == 2)
        p([&] { FIX_GRID(); });
    else
        p([&] { grid.removeItem(r); });
    p([&] { SET_CHANGED = model::kTrue; });
}

void FrmSet::moveRow(errors::Procedure& p, int row, int other)
{
    ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    QString legend;
    QString time;
    p([&] { legend = grid.textMatrix(other, 1); });
    p([&] { time = grid.textMatrix(other, 2); });
    p([&] { grid.removeItem(other); });
    p([&] { grid.addCells({QString(), legend, time}, row); });
    p([&] { grid.setRow(other); });
    p([&] { grid.setCol(0); });
    p([&] { grid.setColSel(2); });
    p([&] { SET_CHANGED = model::kTrue; });
}

void FrmSet::cmdUP_Click()
{
    Handler p(*this, proc::cmdUP_Click);
    int r = 0;
    p([&] { r = m_ui.grdPERIOD->row(); });
    if (r < 2)
        return;
    moveRow(p, r, r - 1);
}

void FrmSet::cmdDOWN_Click()
{
    Handler p(*this, proc::cmdDOWN_Click);
    int r = 0;
    p([&] { r = m_ui.grdPERIOD->row(); });
    if (r == m_ui.grdPERIOD->rows() - 1)
        return;
    moveRow(p, r, r + 1);
}

void FrmSet::vsTIMEMIN_Change()
{
    Handler p(*this, proc::vsTIMEMIN_Change);
    p([&] { showEntryTime(); });
}

void FrmSet::vsTIMESEC_Change()
{
    Handler p(*this, proc::vsTIMESEC_Change);
    QScrollBar& minutes = *m_ui.vsTIMEMIN;
    QScrollBar& seconds = *m_ui.vsTIMESEC;
    // Each setValue below runs the bar's own change procedure at once, nested inside this one; this
    // procedure writes the time box last, so it ends with the final values.
    if (seconds.value() == 60) {
        if (minutes.value() < 60) {
            p([&] { minutes.setValue(minutes.value() + 1); });
            p([&] { seconds.setValue(0); });
        } else {
            p([&] { seconds.setValue(59); });
        }
    }
    if (minutes.value() == 60)
        p([&] { seconds.setValue(0); });
    p([&] { showEntryTime(); });
}

// ---- Period-set files -------------------------------------------------------------------------------

void FrmSet::cmdSAVE_Click()
{
    Handler p(*this, proc::cmdSAVE_Click);
    const ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    if (grid.rows() == 1)
        return;
    QString name;
    p([&] { name = m_dialogs.saveFileName(QStringLiteral("Save Period Set"), QLatin1String(kFilter)); });
    if (name.isEmpty())
        return;
    // Written beside the target and renamed over it on commit: a failed save never harms the old file.
    // Only where nothing can be made beside it (a folder that is not writable) is a writable file
    // written in place.
    QSaveFile file(name);
    file.setDirectWriteFallback(true);
    p([&] { openForWriting(file); });
    Direction direction = Direction::Pass;
    p([&] {
        if (m_ui.optPASS->isChecked())
            direction = Direction::Pass;
    });
    p([&] {
        if (m_ui.optLEFT->isChecked())
            direction = Direction::Left;
    });
    std::vector<PeriodRow> rows;
    for (int i = 1; i < grid.rows() && p.active(); ++i)
        p([&] { rows.push_back({grid.textMatrix(i, 1), grid.textMatrix(i, 2)}); });
    p([&] { writeAll(file, PeriodScript::write(direction, rows)); });
    bool written = false;
    p([&] {
        commit(file);
        written = true;
    });
    // A save whose reports were answered Ignore wrote nothing: the table keeps its unsaved edits.
    if (written)
        p([&] { SET_CHANGED = model::kFalse; });
}

void FrmSet::cmdLOAD_Click()
{
    Handler p(*this, proc::cmdLOAD_Click);
    ui::PeriodGrid& grid = *m_ui.grdPERIOD;
    if (SET_CHANGED != model::kFalse && grid.rows() > 1) {
        platform::Dialogs::Reply answer = platform::Dialogs::Reply::Yes;
        p([&] { answer = m_dialogs.askYesNo(QStringLiteral("You lose the current set.\rContinue ?")); });
        if (answer == platform::Dialogs::Reply::No)
            return;
    }
    QString name;
    p([&] { name = m_dialogs.openFileName(QStringLiteral("Load Period Set"), QLatin1String(kFilter)); });
    if (name.isEmpty())
        return;
    // The table is emptied only once the file has been read, so a file that cannot be read loses nothing.
    std::optional<QByteArray> bytes;
    p([&] { bytes = readWhole(name); });
    if (!bytes)
        return;
    // Read before the table is emptied, too: a set the clock could not hold replaces nothing.
    std::optional<PeriodFile> content;
    p([&] { content = readPeriodSet(*bytes); });
    if (!content)
        return;
    p([&] { FIX_GRID(); });
    p([&] {
        if (content->direction == Direction::Pass)
            m_ui.optPASS->setChecked(true);
    });
    p([&] {
        if (content->direction == Direction::Left)
            m_ui.optLEFT->setChecked(true);
    });
    for (const PeriodRow& row : content->rows) {
        if (!p.active())
            break;
        p([&] { grid.addCells({QString(), row.legend, row.time}); });
    }
    p([&] { refuseLeftOut(*content); });
    // The legend of an incomplete last pair is not added: reading its time line fails at the end of the file.
    if (content->incomplete)
        p([&] { errors::raise(errors::err::InputPastEndOfFile); });
    p([&] { SET_CHANGED = model::kFalse; });
}

// ---- The counting-direction preview -----------------------------------------------------------------

void FrmSet::optPASS_Click()
{
    Handler p(*this, proc::optPASS_Click);
    p([&] { setBold(*m_ui.optLEFT, false); });
}

void FrmSet::optLEFT_Click()
{
    Handler p(*this, proc::optLEFT_Click);
    p([&] { setBold(*m_ui.optPASS, false); });
}

void FrmSet::tmrPASSdemo_Timer()
{
    Handler p(*this, proc::tmrPASSdemo_Timer);
    p([&] { DEMO_UP_SEC = model::add16(DEMO_UP_SEC, 1); });
    if (DEMO_UP_SEC > 59) {
        p([&] { DEMO_UP_SEC = 0; });
        p([&] { DEMO_UP_MIN = model::add16(DEMO_UP_MIN, 1); });
    }
    if (DEMO_UP_MIN == 1 && DEMO_UP_SEC == 20) {
        p([&] { DEMO_UP_MIN = 0; });
        p([&] { DEMO_UP_SEC = 1; });
    }
    p([&] { m_ui.lblPASS->setText(model::clockText(DEMO_UP_MIN, DEMO_UP_SEC)); });
    p([&] {
        if (m_ui.optPASS->isChecked())
            setBold(*m_ui.optPASS, !m_ui.optPASS->font().bold());
    });
}

void FrmSet::tmrLEFTdemo_Timer()
{
    Handler p(*this, proc::tmrLEFTdemo_Timer);
    p([&] { DEMO_DOWN_SEC = model::sub16(DEMO_DOWN_SEC, 1); });
    if (DEMO_DOWN_SEC < 0) {
        p([&] { DEMO_DOWN_SEC = 59; });
        p([&] { DEMO_DOWN_MIN = model::sub16(DEMO_DOWN_MIN, 1); });
    }
    if (DEMO_DOWN_MIN == 0 && DEMO_DOWN_SEC == 0) {
        p([&] { DEMO_DOWN_MIN = 1; });
        p([&] { DEMO_DOWN_SEC = 20; });
    }
    p([&] { m_ui.lblLEFT->setText(model::clockText(DEMO_DOWN_MIN, DEMO_DOWN_SEC)); });
    p([&] {
        if (m_ui.optLEFT->isChecked())
            setBold(*m_ui.optLEFT, !m_ui.optLEFT->font().bold());
    });
}

} // namespace korvo::settings
