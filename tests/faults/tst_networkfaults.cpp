// The network failing under a running clock: a socket whose every send fails, a namespace without any
// route, destinations the routing table refuses. The clock must keep ticking and showing, report nothing,
// and send again as soon as the network lets it.

#include "FaultHarness.h"

#include "clock/FrmMain.h"
#include "fakes/FakeDialogs.h"
#include "fakes/FakeErrors.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeTimer.h"
#include "model/ClockModel.h"
#include "platform/UdpSocket.h"
#include "ui/MainWindowUi.h"
#include "ui/SymbolButton.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using korvo::model::COUNT_DOWN;

namespace {

korvo::model::PERIOD_REC tenMinutes(const QString& descr)
{
    return {descr, korvo::model::kFalse, 10, 0};
}

/// A main window on the given socket with two halves of 10:00 counting down, loaded and shown.
struct Clock
{
    explicit Clock(korvo::platform::DatagramSocket& s, const QString& broadcastIp)
        : socket(s)
    {
        frm = std::make_unique<korvo::clock::FrmMain>(
            korvo::clock::ClockServices{model, trap.trap, timer, socket, dialogs});
        frm->setSettingsWindow([this, broadcastIp] {
            model.applySet({tenMinutes(QStringLiteral("1st Half")), tenMinutes(QStringLiteral("2nd Half"))},
                           COUNT_DOWN, broadcastIp);
        });
        // Reset asks through a pop-up; here it is always answered "Yes".
        frm->setPopupMenu([](QMenu& menu, const QPoint&) {
            for (QAction* a : menu.actions())
                if (a->objectName() == QLatin1String("mnRESETYES"))
                    a->trigger();
        });
        frm->Form_Load();
        frm->show();
    }

    void pressS() { QTest::keyClick(frm->windowHandle(), Qt::Key_S); }
    void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    [[nodiscard]] QString time() const { return frm->ui().lblTIME->text(); }
    [[nodiscard]] QString caption() const { return frm->windowTitle(); }

    korvo::model::ClockModel model;
    korvo::fakes::FakeTrap trap;
    korvo::fakes::FakeTimer timer;
    korvo::platform::DatagramSocket& socket;
    korvo::fakes::FakeDialogs dialogs;
    std::unique_ptr<korvo::clock::FrmMain> frm;
};

/// Datagrams on port 7699 of any local address, as "destination payload": waits up to 2 s for each of the
/// `expected` ones, then briefly for one too many.
QStringList receive(QUdpSocket& receiver, qsizetype expected)
{
    QStringList out;
    while (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(out.size() < expected ? 2000 : 100)) {
        const QNetworkDatagram d = receiver.receiveDatagram();
        out.append(d.destinationAddress().toString() + QLatin1Char(' ') + QString::fromLatin1(d.data()));
    }
    return out;
}

bool ip(const QString& args)
{
    return korvo::faults::run(QStringLiteral("ip"), args.split(QLatin1Char(' ')));
}

/// Loopback and kt0 = 192.168.0.1/24 (with its pair kt1), made once; later calls find them there.
bool ensureNetwork()
{
    QProcess show;
    show.start(QStringLiteral("ip"), {QStringLiteral("-4"), QStringLiteral("addr"), QStringLiteral("show"),
                                      QStringLiteral("dev"), QStringLiteral("kt0")});
    show.waitForFinished();
    if (show.exitCode() == 0 && show.readAll().contains("192.168.0.1/24"))
        return true;
    return ip(QStringLiteral("link set lo up")) && ip(QStringLiteral("link add kt0 type veth peer name kt1"))
        && ip(QStringLiteral("addr add 192.168.0.1/24 brd + dev kt0")) && ip(QStringLiteral("link set kt0 up"))
        && ip(QStringLiteral("link set kt1 up"));
}

/// Until the kernel routes to this broadcast address (links come up asynchronously).
bool routeReady(const QString& address)
{
    for (int i = 0; i < 100; ++i) {
        if (korvo::faults::run(QStringLiteral("ip"), {QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("get"),
                                                       address}))
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

/// Runs inside a private network namespace of its own, which starts with nothing up: no route at all.
class NetworkFaultsInNamespace : public QObject
{
    Q_OBJECT

private slots:
    void noRouteAtAll()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));
        korvo::platform::UdpSocket socket;
        Clock c(socket, QStringLiteral("192.168.0.255"));
        QCOMPARE(c.time(), QStringLiteral("10:00")); // the start-up datagram could not go out

        c.pressS();
        const QStringList expected{"09:59", "09:58", "09:57"};
        for (const QString& t : expected) {
            QVERIFY(c.timer.fire());
            QCOMPARE(c.time(), t);
            QCOMPARE(c.caption(), QStringLiteral("1st Half/") + t);
        }
        QVERIFY(c.timer.enabled);
        QCOMPARE(c.trap.reporter.texts, QStringList());

        QVERIFY(ensureNetwork());
        QVERIFY(routeReady(QStringLiteral("192.168.0.255")));
        QVERIFY(receive(receiver, 0).isEmpty());
        QVERIFY(c.timer.fire());
        QCOMPARE(receive(receiver, 1), QStringList{QStringLiteral("192.168.0.255 p1t09:56")});
        QCOMPARE(c.trap.reporter.texts, QStringList());
    }

    void refusedDestination_data()
    {
        QTest::addColumn<QString>("route"); // how the routing table refuses 10.9.N.0/24; empty: no route
        QTest::addColumn<int>("subnet");
        QTest::newRow("no route to the network") << QString() << 1;
        QTest::newRow("unreachable") << QStringLiteral("unreachable") << 2;
        QTest::newRow("prohibited") << QStringLiteral("prohibit") << 3;
        QTest::newRow("blackhole") << QStringLiteral("blackhole") << 4;
    }

    void refusedDestination()
    {
        QFETCH(QString, route);
        QFETCH(int, subnet);
        QVERIFY(ensureNetwork());
        const QString net = QStringLiteral("10.9.%1").arg(subnet);
        if (!route.isEmpty())
            QVERIFY(ip(QStringLiteral("route add %1 %2.0/24").arg(route, net)));

        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress(QHostAddress::AnyIPv4), 7699, QUdpSocket::ShareAddress));
        korvo::platform::UdpSocket socket;
        Clock c(socket, net + QStringLiteral(".255"));
        QCOMPARE(receive(receiver, 1), QStringList{QStringLiteral("192.168.0.255 p1t10:00")});

        // Every command that sends, while nothing can be sent.
        c.pressS();
        QVERIFY(c.timer.fire());
        QCOMPARE(c.caption(), QStringLiteral("1st Half/09:59"));
        QVERIFY(c.timer.fire(1));
        QCOMPARE(c.time(), QStringLiteral("09:57"));
        c.pressS(); // pause
        c.click(c.frm->ui().cmd10DW);
        QCOMPARE(c.time(), QStringLiteral("09:47"));
        c.click(c.frm->ui().cmdRESET);
        QCOMPARE(c.time(), QStringLiteral("10:00"));
        c.pressS();
        QVERIFY(c.timer.fire());
        QCOMPARE(c.caption(), QStringLiteral("1st Half/09:59"));
        QVERIFY(c.timer.enabled);
        QCOMPARE(c.trap.reporter.texts, QStringList());
        QVERIFY(receive(receiver, 0).isEmpty());

        // The fault clears: the network gets an address of this machine, so its broadcasts loop back.
        if (!route.isEmpty())
            QVERIFY(ip(QStringLiteral("route del %1 %2.0/24").arg(route, net)));
        QVERIFY(ip(QStringLiteral("addr add %1.1/24 brd + dev kt0").arg(net)));
        QVERIFY(routeReady(net + QStringLiteral(".255")));
        QVERIFY(c.timer.fire());
        QCOMPARE(receive(receiver, 1), QStringList{net + QStringLiteral(".255 p1t09:58")});
        QCOMPARE(c.trap.reporter.texts, QStringList());
    }
};

class TestNetworkFaults : public QObject
{
    Q_OBJECT

private slots:
    /// Every procedure that sends, with a socket that fails every send.
    void sendFailingEveryCall()
    {
        korvo::fakes::FakeSocket socket;
        socket.failSends = true;
        Clock c(socket, QStringLiteral("192.168.1.255"));
        QCOMPARE(c.time(), QStringLiteral("10:00"));

        c.pressS();
        for (int i = 1; i <= 5; ++i) {
            QVERIFY(c.timer.fire());
            const QString t = QStringLiteral("09:%1").arg(60 - i, 2, 10, QLatin1Char('0'));
            QCOMPARE(c.time(), t);
            QCOMPARE(c.caption(), QStringLiteral("1st Half/") + t);
        }
        QVERIFY(c.timer.enabled);
        c.pressS(); // pause: sends "pause"
        QVERIFY(!c.timer.enabled);
        c.click(c.frm->ui().cmd1UP);
        c.click(c.frm->ui().cmd10DW);
        QCOMPARE(c.time(), QStringLiteral("09:46"));
        c.click(c.frm->ui().cmd10DW);
        for (int i = 0; i < 60; ++i)
            c.click(c.frm->ui().cmd10DW); // down to the end: Next becomes possible
        QCOMPARE(c.time(), QStringLiteral("00:00"));
        c.click(c.frm->ui().cmdNEXTPERIOD);
        QCOMPARE(c.caption(), QStringLiteral("2nd Half/10:00"));
        c.click(c.frm->ui().cmd1DW);
        c.click(c.frm->ui().cmdRESET);
        QCOMPARE(c.time(), QStringLiteral("10:00"));
        c.pressS();
        QVERIFY(c.timer.fire());
        QCOMPARE(c.caption(), QStringLiteral("2nd Half/09:59"));
        QVERIFY(socket.sent.empty());
        QCOMPARE(c.trap.reporter.texts, QStringList());

        socket.failSends = false;
        QVERIFY(c.timer.fire());
        QCOMPARE(socket.sent.size(), std::size_t{1});
        QCOMPARE(socket.sent.front().text, QStringLiteral("p2t09:58"));
        QCOMPARE(socket.sent.front().host, QStringLiteral("192.168.1.255"));
        QCOMPARE(c.trap.reporter.texts, QStringList());
    }

    /// The real socket in namespaces where the network refuses.
    void refusingNetworks()
    {
        const korvo::faults::ChildRun child = korvo::faults::runSelfInNamespace({QStringLiteral("-n")},
                                                                                 {QStringLiteral("--netns-child")});
        if (child.skipped)
            QSKIP(qPrintable(*child.skipped));
        QVERIFY2(child.exitCode == 0, qPrintable(child.output));
        QVERIFY2(child.output.contains(QLatin1String(" passed, 0 failed, 0 skipped")), qPrintable(child.output));
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("--netns-child")) {
        args.remove(1);
        NetworkFaultsInNamespace inside;
        return QTest::qExec(&inside, args);
    }
    TestNetworkFaults outside;
    return QTest::qExec(&outside, args);
}

#include "tst_networkfaults.moc"
