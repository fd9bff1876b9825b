#include "clock/FrmMain.h"

#include "errors/Procedure.h"
#include "errors/Protector.h"
#include "model/CheckedArithmetic.h"
#include "model/ClockModel.h"
#include "model/Journal.h"
#include "model/TimeText.h"
#include "platform/DatagramSocket.h"
#include "platform/Dialogs.h"
#include "platform/JournalStore.h"
#include "platform/TickTimer.h"
#include "protocol/TimeMessage.h"
#include "ui/SymbolButton.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QWindow>

namespace korvo::clock {

namespace {

// The names error reports print; part of the product.
constexpr const char* kModule = "frmMAIN";
namespace proc {
constexpr const char* Timer1_Timer = "Timer1_Timer";
constexpr const char* CHECK_TIME = "CHECK_TIME";
constexpr const char* PAUSED = "PAUSED";
constexpr const char* UNPAUSED = "UNPAUSED";
constexpr const char* SHOW_TIME = "SHOW_TIME";
constexpr const char* cmdSTART_Click = "cmdSTART_Click";
constexpr const char* cmdPAUSE_Click = "cmdPAUSE_Click";
constexpr const char* cmd1UP_Click = "cmd1UP_Click";
constexpr const char* cmd1DW_Click = "cmd1DW_Click";
constexpr const char* cmd10UP_Click = "cmd10UP_Click";
constexpr const char* cmd10DW_Click = "cmd10DW_Click";
constexpr const char* cmdRESET_Click = "cmdRESET_Click";
constexpr const char* mnRESETYES_Click = "mnRESETYES_Click";
constexpr const char* cmdNEXTPERIOD_Click = "cmdNEXTPERIOD_Click";
constexpr const char* cmdPREVPERIOD_Click = "cmdPREVPERIOD_Click";
constexpr const char* cmdSETTING_Click = "cmdSETTING_Click";
constexpr const char* Form_KeyDown = "Form_KeyDown";
constexpr const char* Form_Load = "Form_Load";
} // namespace proc

constexpr std::int16_t kKeyS = 83;

/// An "Ask me" answer: a number the clock can put into a duration text, 0 … 99. A text that is not a
/// number is a type mismatch; any other number, an overflow.
std::int16_t askedNumber(const QString& answer)
{
    const std::int16_t value = model::textTo16(answer);
    if (value < 0 || value > 99)
        errors::raise(errors::err::Overflow);
    return value;
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

/// A caption shown as it is: Qt takes "[*]" in a window title for the place of its modified mark, and
/// shows a doubled one as one.
QString literalTitle(QString text)
{
    return text.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

void setBackground(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
}

/// Key codes as the key-down procedure knows them: letters and digits are their upper-case character
/// codes, as Qt's are; keys without such a code come as 0.
std::int16_t keyCode(const QKeyEvent& key)
{
    const int k = key.key();
    return k > 0 && k < 0x80 ? static_cast<std::int16_t>(k) : std::int16_t{0};
}

std::int16_t shiftState(Qt::KeyboardModifiers modifiers)
{
    int state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= 1;
    if (modifiers & Qt::ControlModifier)
        state |= 2;
    if (modifiers & Qt::AltModifier)
        state |= 4;
    return static_cast<std::int16_t>(state);
}

} // namespace

FrmMain::FrmMain(const ClockServices& services, QWidget* parent)
    : QWidget(parent)
    , m_model(services.model)
    , m_trap(services.trap)
    , m_timer(services.timer)
    , m_socket(services.socket)
    , m_dialogs(services.dialogs)
    , m_settingsWindow(services.settingsWindow)
    , m_popup([](QMenu& menu, const QPoint& at) { menu.exec(at); })
    , m_journal(services.journal)
{
    m_ui.setupUi(this);
    m_periodBackground = m_ui.lblPERIOD->palette().color(QPalette::Window);

    connect(&m_timer, &platform::TickTimer::tick, this, &FrmMain::Timer1_Timer);
    connect(m_ui.cmdSTART, &QPushButton::clicked, this, &FrmMain::cmdSTART_Click);
    connect(m_ui.cmdPAUSE, &QPushButton::clicked, this, &FrmMain::cmdPAUSE_Click);
    connect(m_ui.cmd1UP, &QPushButton::clicked, this, &FrmMain::cmd1UP_Click);
    connect(m_ui.cmd1DW, &QPushButton::clicked, this, &FrmMain::cmd1DW_Click);
    connect(m_ui.cmd10UP, &QPushButton::clicked, this, &FrmMain::cmd10UP_Click);
    connect(m_ui.cmd10DW, &QPushButton::clicked, this, &FrmMain::cmd10DW_Click);
    connect(m_ui.cmdRESET, &QPushButton::clicked, this, &FrmMain::cmdRESET_Click);
    connect(m_ui.mnRESETYES, &QAction::triggered, this, &FrmMain::mnRESETYES_Click);
    connect(m_ui.cmdNEXTPERIOD, &QPushButton::clicked, this, &FrmMain::cmdNEXTPERIOD_Click);
    connect(m_ui.cmdPREVPERIOD, &QPushButton::clicked, this, &FrmMain::cmdPREVPERIOD_Click);
    connect(m_ui.cmdSETTING, &QPushButton::clicked, this, &FrmMain::cmdSETTING_Click);

    // Key preview: the window sees every key before the control that has the focus.
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

FrmMain::~FrmMain() = default;

void FrmMain::setPopupMenu(PopupMenu popup)
{
    m_popup = std::move(popup);
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // A key reaches the window system's window first, once, before it is handed to the control with the
    // focus (or travels up from it); that first arrival is where the window previews it. The key then goes
    // on unchanged.
    const QWindow* window = windowHandle();
    if (event->type() == QEvent::KeyPress && window != nullptr && watched == static_cast<const QObject*>(window)) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        Form_KeyDown(keyCode(key), shiftState(key.modifiers()));
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The engine ---------------------------------------------------------------------------------------

void FrmMain::Timer1_Timer()
{
    errors::Procedure p(m_trap, kModule, proc::Timer1_Timer);
    std::int16_t step = 0;
    p([&] { step = model::narrow16(std::int64_t{m_timer.missedTicks()} + 1); });
    p.skipErrors();
    std::int32_t& seconds = m_model.CUR_SECONDS;
    p([&] { if (m_model.TIME_MODE == model::COUNT_DOWN) seconds = model::sub32(seconds, step); });
    p([&] { if (m_model.TIME_MODE == model::COUNT_UP) seconds = model::add32(seconds, step); });
    p([&] { CHECK_TIME(); });
    p([&] { SHOW_TIME(); });
    p([&] { keepGame(); });
}

void FrmMain::periodEnded(errors::Procedure& p)
{
    p([&] { m_timer.setEnabled(false); });
    p([&] { m_ui.lblEND->setVisible(true); });
    p([&] { m_ui.cmdPREVPERIOD->setEnabled(true); });
    p([&] { m_ui.cmdNEXTPERIOD->setEnabled(true); });
}

void FrmMain::CHECK_TIME()
{
    errors::Procedure p(m_trap, kModule, proc::CHECK_TIME);
    bool ended = false;
    p([&] { ended = m_model.TIME_MODE == model::COUNT_DOWN && m_model.CUR_SECONDS < 1; });
    if (ended)
        periodEnded(p);
    ended = false;
    p([&] { ended = m_model.TIME_MODE == model::COUNT_UP && m_model.CUR_SECONDS >= m_model.PERIOD_SECONDS; });
    if (ended)
        periodEnded(p);
    p([&] { if (m_model.CUR_SECONDS < 1) m_model.CUR_SECONDS = 0; });
    p([&] { if (m_model.CUR_SECONDS >= m_model.PERIOD_SECONDS) m_model.CUR_SECONDS = m_model.PERIOD_SECONDS; });
}

void FrmMain::PAUSED()
{
    errors::Procedure p(m_trap, kModule, proc::PAUSED);
    p([&] { m_model.CLOCK_RUNNING = model::kFalse; });
    p([&] { m_ui.lblEND->setVisible(false); });
    p([&] { setTextColour(m_ui.lblTIME, QColor(255, 0, 0)); });
    p([&] { keepGame(); });
}

void FrmMain::UNPAUSED()
{
    errors::Procedure p(m_trap, kModule, proc::UNPAUSED);
    p([&] { m_model.CLOCK_RUNNING = model::kTrue; });
    p([&] { m_ui.lblEND->setVisible(false); });
    p([&] { setTextColour(m_ui.lblTIME, QColor(0, 0, 0)); });
    p([&] { keepGame(); });
}

// ---- The display --------------------------------------------------------------------------------------

void FrmMain::SHOW_TIME()
{
    errors::Procedure p(m_trap, kModule, proc::SHOW_TIME);
    p.quietExit();
    QString clockText;
    QString descr;
    p([&] { clockText = model::common::SEC2TIME(m_trap, m_model.CUR_SECONDS); });
    p([&] { descr = m_model.currentRecord().Descr; });
    p([&] { m_ui.lblPERIOD->setText(descr); });
    p([&] { m_ui.lblTIME->setText(clockText); });
    p([&] { setWindowTitle(literalTitle(descr + QLatin1Char('/') + clockText)); });
    p([&] { broadcast(protocol::timeMessage(m_model.CUR_PERIOD, clockText)); });
}

void FrmMain::broadcast(const QString& text)
{
    // A send that fails is never reported in a box in the middle of a game; but every display stays dark
    // meanwhile, so the window shows it until a datagram goes out again.
    try {
        m_socket.sendData(text);
    } catch (const errors::RuntimeError& e) {
        if (!m_broadcastFailing)
            qWarning().noquote() << "KorvoTimer: the time broadcast fails:" << e.description();
        m_broadcastFailing = true;
        setBackground(m_ui.lblPERIOD, QColor(255, 0, 0));
        m_ui.lblPERIOD->setToolTip(e.description());
        throw;
    }
    if (m_broadcastFailing) {
        m_broadcastFailing = false;
        setBackground(m_ui.lblPERIOD, m_periodBackground);
        m_ui.lblPERIOD->setToolTip(QString());
    }
}

// ---- The operator's commands --------------------------------------------------------------------------

void FrmMain::cmdSTART_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmdSTART_Click);
    p([&] { m_timer.setEnabled(true); });
    p([&] { UNPAUSED(); });
    p([&] { m_ui.cmdSETTING->setEnabled(false); });
    p([&] { m_ui.cmdPREVPERIOD->setEnabled(false); });
    p([&] { m_ui.cmdNEXTPERIOD->setEnabled(false); });
}

void FrmMain::cmdPAUSE_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmdPAUSE_Click);
    p([&] { m_timer.setEnabled(false); });
    p([&] { PAUSED(); });
    p.skipErrors();
    p([&] { broadcast(protocol::pauseMessage()); });
}

void FrmMain::correct(errors::Procedure& p, std::int32_t amount)
{
    p([&] { m_timer.setEnabled(false); });
    p([&] { m_model.CUR_SECONDS = model::add32(m_model.CUR_SECONDS, amount); });
    p([&] { CHECK_TIME(); });
    p([&] { SHOW_TIME(); });
    p([&] { PAUSED(); });
}

void FrmMain::cmd1UP_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmd1UP_Click);
    correct(p, 1);
}

void FrmMain::cmd1DW_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmd1DW_Click);
    correct(p, -1);
}

void FrmMain::cmd10UP_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmd10UP_Click);
    correct(p, 10);
}

void FrmMain::cmd10DW_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmd10DW_Click);
    correct(p, -10);
}

void FrmMain::cmdRESET_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmdRESET_Click);
    p([&] { m_popup(*m_ui.mnRESET, QCursor::pos()); });
}

void FrmMain::mnRESETYES_Click()
{
    errors::Procedure p(m_trap, kModule, proc::mnRESETYES_Click);
    p.skipErrors();
    p([&] { m_timer.setEnabled(false); });
    model::startPeriod(p, m_model, __LINE__);
    p([&] { SHOW_TIME(); });
    p([&] { PAUSED(); });
    p([&] { m_ui.cmdSETTING->setEnabled(false); });
    p([&] { m_ui.cmdNEXTPERIOD->setEnabled(true); });
    p([&] { m_ui.cmdPREVPERIOD->setEnabled(true); });
}

void FrmMain::askDuration(errors::Procedure& p)
{
    bool askMe = false;
    p([&] { askMe = m_model.currentRecord().AskMe != model::kFalse; });
    if (!askMe)
        return;
    p([&] {
        const std::int16_t minutes =
            askedNumber(m_dialogs.inputBox(QStringLiteral("Minutes for the ") + m_model.currentRecord().Descr));
        m_model.currentRecord().Minutes = minutes;
    });
    p([&] {
        const std::int16_t seconds =
            askedNumber(m_dialogs.inputBox(QStringLiteral("Seconds for the ") + m_model.currentRecord().Descr));
        m_model.currentRecord().Seconds = seconds;
    });
}

void FrmMain::cmdNEXTPERIOD_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmdNEXTPERIOD_Click);
    bool atLast = false;
    p([&] { atLast = m_model.CUR_PERIOD == m_model.PERIOD_COUNT; });
    if (atLast)
        return;
    p([&] { m_timer.setEnabled(false); });
    p([&] { m_model.CUR_PERIOD = model::add16(m_model.CUR_PERIOD, 1); });
    p([&] { if (m_model.CUR_PERIOD == m_model.PERIOD_COUNT) m_ui.cmdNEXTPERIOD->setEnabled(false); });
    p([&] { m_ui.cmdPREVPERIOD->setEnabled(true); });
    askDuration(p);
    model::startPeriod(p, m_model, __LINE__);
    p([&] { SHOW_TIME(); });
    p([&] { PAUSED(); });
}

void FrmMain::cmdPREVPERIOD_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmdPREVPERIOD_Click);
    bool atFirst = false;
    p([&] { atFirst = m_model.CUR_PERIOD == 1; });
    if (atFirst)
        return;
    p([&] { m_timer.setEnabled(false); });
    p([&] { m_model.CUR_PERIOD = model::sub16(m_model.CUR_PERIOD, 1); });
    p([&] { if (m_model.CUR_PERIOD == 1) m_ui.cmdPREVPERIOD->setEnabled(false); });
    p([&] { m_ui.cmdNEXTPERIOD->setEnabled(true); });
    model::startPeriod(p, m_model, __LINE__);
    p([&] { SHOW_TIME(); });
    p([&] { PAUSED(); });
}

void FrmMain::cmdSETTING_Click()
{
    errors::Procedure p(m_trap, kModule, proc::cmdSETTING_Click);
    p([&] { m_settingsWindow(); });
    // Closed before any set was ever applied: there is nothing the clock could show, and the window
    // cannot be opened again, so this ends the program just as End does.
    p([&] { if (!m_model.PERIODS) m_trap.endProgram(); });
    // A first period marked "Ask me" is asked for as Next asks for it.
    askDuration(p);
    model::startPeriod(p, m_model, __LINE__);
    p([&] { SHOW_TIME(); });
    p([&] { PAUSED(); });
    p([&] { m_socket.setRemoteHost(m_model.BROADCAST_IP); });
}

void FrmMain::Form_KeyDown(std::int16_t KeyCode, std::int16_t /*Shift*/)
{
    errors::Procedure p(m_trap, kModule, proc::Form_KeyDown);
    if (KeyCode != kKeyS)
        return;
    bool running = false;
    p([&] { running = m_model.CLOCK_RUNNING != model::kFalse; });
    if (running)
        p([&] { cmdPAUSE_Click(); });
    else
        p([&] { cmdSTART_Click(); });
}

// ---- Start-up -----------------------------------------------------------------------------------------

void FrmMain::Form_Initialize()
{
    errors::vbwInitializeProtector(m_trap);
}

void FrmMain::Form_Load()
{
    errors::Procedure p(m_trap, kModule, proc::Form_Load);
    p([&] { m_socket.setProtocol(platform::DatagramSocket::kUdp); });
    p([&] { m_socket.setRemoteHost(QLatin1String(protocol::kLoadTimeHost)); });
    p([&] { m_socket.setRemotePort(protocol::kBroadcastPort); });
    p([&] { m_ui.cmdSETTING->setEnabled(false); });
    if (m_resumed) {
        resumeGame(p);
        return;
    }
    p([&] { cmdSETTING_Click(); });
    p([&] { m_ui.cmdPREVPERIOD->setEnabled(false); });
    p([&] { m_ui.cmdNEXTPERIOD->setEnabled(false); });
    p([&] { m_model.CLOCK_RUNNING = model::kFalse; });
}

// ---- The game the last run left ----------------------------------------------------------------------

void FrmMain::setResumedGame(const model::ClockModel& game)
{
    m_resumed = std::make_unique<model::ClockModel>(game);
}

void FrmMain::resumeGame(errors::Procedure& p)
{
    // Shown paused as after a correction, Previous and Next enabled as after a Reset (Next is, as the window
    // is built). The settings window and its load-time host are skipped: every datagram goes to the game's
    // own address.
    p([&] { m_model = *m_resumed; });
    p([&] { m_socket.setRemoteHost(m_model.BROADCAST_IP); });
    p([&] { SHOW_TIME(); });
    p([&] { PAUSED(); });
    p([&] { m_ui.cmdPREVPERIOD->setEnabled(true); });
}

/// After every change of the clock: the tick, and PAUSED and UNPAUSED, which every command ends with.
void FrmMain::keepGame()
{
    if (m_journal != nullptr)
        m_journal->save(model::journalBytes(m_model, false));
}

} // namespace korvo::clock
