#pragma once

#include "clock/FrmMain.h"
#include "errors/Trap.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeErrors.h"
#include "fakes/FakeTimer.h"
#include "model/ClockModel.h"
#include "platform/UdpSocket.h"
#include "settings/FrmSet.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <vector>

namespace korvo::test {

/// One datagram as the clock sent it: the destination host it had been given, and the bytes.
struct Sent
{
    QString host;
    QByteArray bytes;
};

/// The program's real UDP socket, kept on loopback: every host the clock gives it is recorded and then
/// replaced by 127.0.0.1, and the port by that of a receiver of this test, so that parallel tests never
/// meet on port 7699. What the clock asked for is checked against the records.
class LoopbackSocket final : public platform::DatagramSocket
{
public:
    LoopbackSocket()
    {
        QVERIFY(m_receiver.bind(QHostAddress::LocalHost, 0));
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(m_receiver.localPort());
    }

    void setProtocol(std::int32_t protocol) override
    {
        protocols.push_back(protocol);
        m_real.setProtocol(protocol);
    }
    void setRemoteHost(const QString& host) override
    {
        hosts.append(host);
        m_host = host;
    }
    void setRemotePort(std::int32_t port) override { ports.push_back(port); }
    void sendData(const QString& text) override
    {
        m_real.sendData(text);
        m_sentTo.append(m_host);
        drain(); // a long run of ticks would otherwise overflow the receive buffer
    }
    [[nodiscard]] QString localIp() const override { return m_real.localIp(); }

    /// Everything received since the last call, in order, with the host each was sent to.
    std::vector<Sent> take()
    {
        drain();
        std::vector<Sent> out;
        out.swap(m_received);
        m_sentTo = m_sentTo.mid(static_cast<qsizetype>(out.size()));
        return out;
    }
    /// The payloads of take().
    QList<QByteArray> payloads()
    {
        QList<QByteArray> out;
        for (const Sent& s : take())
            out.append(s.bytes);
        return out;
    }

    QStringList hosts;
    std::vector<std::int32_t> ports;
    std::vector<std::int32_t> protocols;

private:
    void drain()
    {
        while (m_receiver.hasPendingDatagrams()
               || (m_received.size() < static_cast<std::size_t>(m_sentTo.size()) && m_receiver.waitForReadyRead(200))) {
            QByteArray bytes(static_cast<qsizetype>(m_receiver.pendingDatagramSize()), '\0');
            m_receiver.readDatagram(bytes.data(), bytes.size());
            const QString host = m_received.size() < static_cast<std::size_t>(m_sentTo.size())
                ? m_sentTo.at(static_cast<qsizetype>(m_received.size()))
                : QString();
            m_received.push_back({host, bytes});
        }
    }

    platform::UdpSocket m_real;
    QUdpSocket m_receiver;
    QString m_host;
    QStringList m_sentTo;         ///< host of every datagram sent and not yet taken
    std::vector<Sent> m_received; ///< received and not yet taken
};

/// A period of a set as the settings window would apply it.
inline model::PERIOD_REC period(const QString& descr, int minutes, int seconds)
{
    return {descr, model::kFalse, static_cast<std::int16_t>(minutes), static_cast<std::int16_t>(seconds)};
}
inline model::PERIOD_REC askMe(const QString& descr)
{
    return {descr, model::kTrue, -1, -1};
}

/// The main window with fake time, dialogs and error reports and a real socket on loopback.
struct Clock
{
    model::ClockModel model;
    fakes::FakeTrap trap;
    fakes::FakeTimer timer;
    LoopbackSocket socket;
    fakes::FakeDialogs dialogs;
    std::unique_ptr<clock::FrmMain> frm =
        std::make_unique<clock::FrmMain>(clock::ClockServices{model, trap.trap, timer, socket, dialogs});
    const ui::MainWindowUi& ui = frm->ui();

    /// Start-up as the program runs it, with the settings window applying this set (or nothing).
    void load(const std::vector<model::PERIOD_REC>& periods, std::int32_t mode,
              const QString& broadcastIp = QStringLiteral("192.168.1.255"))
    {
        frm->setSettingsWindow([this, periods, mode, broadcastIp] {
            if (!periods.empty())
                model.applySet(periods, mode, broadcastIp);
        });
        frm->Form_Load();
    }
};

/// Answers the next pop-up menu that opens by clicking the item with this caption (or Escape when empty).
inline void chooseFromNextPopup(const QString& caption)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, caption] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || !menu->isVisible())
            return;
        poll->deleteLater();
        poll->stop();
        for (QAction* action : menu->actions()) {
            if (!caption.isEmpty() && action->text() == caption) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    poll->start(10);
}

/// Runs `act` on the settings window as soon as it is up and waiting for the operator.
inline void whenSettingsOpen(std::function<void(settings::FrmSet&)> act)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        auto* frmSet = qobject_cast<settings::FrmSet*>(QApplication::activeModalWidget());
        if (frmSet == nullptr || !frmSet->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(*frmSet);
    });
    poll->start(10);
}

} // namespace korvo::test
