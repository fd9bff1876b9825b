#pragma once

#include "clock/FrmMain.h"
#include "model/ClockModel.h"
#include "platform/UdpSocket.h"
#include "settings/FrmSet.h"
#include "support/FakeDialogs.h"
#include "support/FakeErrors.h"
#include "support/FakeTimer.h"
#include "ui/SymbolButton.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QNetworkDatagram>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace korvo::test {

/// The program's real UDP socket, kept on loopback: hosts the clock gives it are recorded, and every
/// datagram goes to a receiver of this test instead, so that parallel tests never meet on port 7699.
class LoopbackSocket final : public platform::DatagramSocket
{
public:
    LoopbackSocket()
    {
        QVERIFY(m_receiver.bind(QHostAddress::LocalHost, 0));
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(m_receiver.localPort());
    }
    void setProtocol(std::int32_t protocol) override { m_real.setProtocol(protocol); }
    void setRemoteHost(const QString& remote) override { host = remote; }
    void setRemotePort(std::int32_t) override {}
    [[nodiscard]] QString localIp() const override { return m_real.localIp(); }
    void sendData(const QString& text) override
    {
        m_real.sendData(text);
        // Read back at once: each datagram keeps its host, and long runs never fill the receive buffer.
        if (m_receiver.hasPendingDatagrams() || m_receiver.waitForReadyRead(1000)) {
            m_sent.append(m_receiver.receiveDatagram().data());
            hosts.append(host);
        }
    }
    /// What arrived since the last call, separated by spaces.
    QByteArray payloads() { return std::exchange(m_sent, {}).join(' '); }

    QString host;      ///< where the clock means the next datagram to go
    QStringList hosts; ///< where it meant each datagram that arrived to go

private:
    platform::UdpSocket m_real;
    QUdpSocket m_receiver;
    QList<QByteArray> m_sent;
};

/// Both windows wired as app/main.cpp wires them, with scripted dialogs and error reports and the test's own
/// timer and socket. Settings runs settingsWindow: the real settings window unless a test puts something
/// else there, as load() does.
struct ClockRig
{
    Q_DISABLE_COPY_MOVE(ClockRig)

    /// `journal`: where the clock keeps its game; none by default.
    ClockRig(platform::TickTimer& timer, platform::DatagramSocket& socket, platform::JournalStore* journal = nullptr)
        : frm(std::make_unique<clock::FrmMain>(
              clock::ClockServices{model, trap.trap, timer, socket, dialogs, [this] { settingsWindow(); }, journal}))
        , frmSet(new settings::FrmSet({model, trap.trap, socket, dialogs}, frm.get()))
    {
    }
    ~ClockRig() = default;

    /// Start-up with the settings window replaced by applying this set; then the window is shown.
    void loadSet(const std::vector<model::PERIOD_REC>& set, std::int32_t mode, const QString& broadcast)
    {
        settingsWindow = [this, set, mode, broadcast] { model.applySet(set, mode, broadcast); };
        frm->Form_Load();
        frm->show();
        QVERIFY(QTest::qWaitForWindowExposed(frm.get()));
    }
    /// loadSet with periods of these lengths in seconds (-1: "Ask me"), named P1, P2, ...
    void load(const QList<int>& lengths, std::int32_t mode, const QString& broadcast = QStringLiteral("192.168.1.255"))
    {
        std::vector<model::PERIOD_REC> set;
        for (int s : lengths)
            set.push_back({QStringLiteral("P%1").arg(set.size() + 1), s < 0 ? model::kTrue : model::kFalse,
                           static_cast<std::int16_t>(s < 0 ? -1 : s / 60),
                           static_cast<std::int16_t>(s < 0 ? -1 : s % 60)});
        loadSet(set, mode, broadcast);
    }

    model::ClockModel model;
    fakes::FakeTrap trap;
    fakes::FakeDialogs dialogs;
    std::function<void()> settingsWindow = [this] { frmSet->showModal(); };
    std::unique_ptr<clock::FrmMain> frm;
    settings::FrmSet* frmSet; ///< a child of frm, as in the program
    const ui::MainWindowUi& ui = frm->ui();
};

template <class Socket>
struct OwnTimerAndSocket
{
    fakes::FakeTimer timer;
    Socket socket;
};

/// The rig with a fake timer and a socket of its own: by default the real one, kept on loopback.
template <class Socket = LoopbackSocket>
struct Clock : OwnTimerAndSocket<Socket>, ClockRig
{
    explicit Clock(platform::JournalStore* journal = nullptr)
        : ClockRig(this->timer, this->socket, journal)
    {
    }
    QStringList seen; ///< the states looked at by play()
};

/// Runs `act` on the widget `find` returns as soon as it is up: a modal window or a pop-up menu that the
/// code under test waits in.
inline void whenUp(std::function<QWidget*()> find, std::function<void(QWidget&)> act)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, find = std::move(find), act = std::move(act)] {
        QWidget* w = find();
        if (w == nullptr || !w->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(*w);
    });
    poll->start(10);
}

inline QString colourName(const QLabel* label)
{
    const QColor c = label->palette().color(QPalette::WindowText);
    return c == QColor(255, 0, 0) ? QStringLiteral("red") : c == QColor(0, 0, 0) ? QStringLiteral("black") : c.name();
}

/// What the operator sees: caption, clock colour, the end marker, which of Settings, Previous and Next are
/// enabled, whether the timer runs; then the prompts and the error reports ("Error n|Location") since.
template <class S>
QString state(Clock<S>& c)
{
    QString s = c.frm->windowTitle();
    if (!s.endsWith(QLatin1Char('/') + c.ui.lblTIME->text()))
        s += QStringLiteral(" clock ") + c.ui.lblTIME->text();
    s += QLatin1Char(' ') + colourName(c.ui.lblTIME);
    const std::pair<bool, QString> flags[] = {{c.ui.lblEND->isVisible(), c.ui.lblEND->text()},
        {c.ui.cmdSETTING->isEnabled(), "settings"}, {c.ui.cmdPREVPERIOD->isEnabled(), "prev"},
        {c.ui.cmdNEXTPERIOD->isEnabled(), "next"}, {c.timer.enabled, "timer"}};
    for (const auto& [on, name] : flags)
        s += on ? QLatin1Char(' ') + name : QString();
    if (!c.dialogs.prompts.isEmpty())
        s += QLatin1Char(' ') + std::exchange(c.dialogs.prompts, {}).join(QLatin1Char('|'));
    for (const QString& t : std::exchange(c.trap.reporter.texts, {}))
        s += QLatin1Char(' ') + t.section(QStringLiteral("\r\n"), 0, 0) + QLatin1Char('|')
            + t.section(QStringLiteral("\r\n"), 2, 2);
    return s;
}

/// Plays the operator's steps, separated by spaces: S (the key, through the window system so that it goes
/// to the control with the focus); t (a tick; tN with N missed); +1 -1 +10 -10 N P > || (buttons; > Start,
/// || Pause); Y n
/// (Reset, answered Yes or No/Cancel); =X (the next input box answers X, "=" alone cancels); r (the next
/// error report is answered Retry, others Ignore); ? (the state, into c.seen); k*X (X k times).
template <class S>
void play(Clock<S>& c, const QString& script)
{
    const QHash<QString, QPushButton*> buttons{{"+1", c.ui.cmd1UP}, {"-1", c.ui.cmd1DW}, {"+10", c.ui.cmd10UP},
        {"-10", c.ui.cmd10DW}, {"N", c.ui.cmdNEXTPERIOD}, {"P", c.ui.cmdPREVPERIOD}, {">", c.ui.cmdSTART},
        {"||", c.ui.cmdPAUSE}};
    for (QString step : script.split(QLatin1Char(' '))) {
        const qsizetype star = step.indexOf(QLatin1Char('*'));
        const int times = star > 0 ? step.left(star).toInt() : 1;
        step = step.mid(star + 1);
        for (int i = 0; i < times; ++i) {
            if (step == QLatin1String("S")) {
                QTest::keyClick(c.frm->windowHandle(), Qt::Key_S);
            } else if (step.startsWith(QLatin1Char('t'))) {
                QVERIFY(c.timer.fire(step.mid(1).toInt()));
            } else if (step.startsWith(QLatin1Char('='))) {
                c.dialogs.inputs.push_back(step.mid(1));
            } else if (step == QLatin1String("r")) {
                c.trap.reporter.answers.push_back(errors::Answer::Retry);
            } else if (step == QLatin1String("?")) {
                c.seen.append(state(c));
            } else if (step == QLatin1String("Y") || step == QLatin1String("n")) {
                const QString caption = step == QLatin1String("Y") ? "Yes Reset time" : "No/Cancel";
                whenUp([]() -> QWidget* { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                       [caption](QWidget& menu) {
                           for (QAction* a : menu.actions())
                               if (a->text() == caption)
                                   return QTest::mouseClick(&menu, Qt::LeftButton, {},
                                                            static_cast<QMenu&>(menu).actionGeometry(a).center());
                           QTest::keyClick(&menu, Qt::Key_Escape);
                       });
                QTest::mouseClick(c.ui.cmdRESET, Qt::LeftButton);
                QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
            } else {
                QVERIFY2(buttons.contains(step), qPrintable(step));
                QTest::mouseClick(buttons.value(step), Qt::LeftButton);
            }
        }
    }
}

} // namespace korvo::test
