#include "follow/DatagramReceiver.h"
#include "display/DisplayWidget.h"
#include "support/FakeClock.h"
#include "support/Ink.h"

#include <QImage>
#include <QTest>
#include <QUdpSocket>

using namespace korvo::display;
using korvo::follow::DatagramReceiver;
using korvo::test::inkOf;
using namespace std::chrono_literals;

namespace {

/// Broadcasts one datagram the way a clock does, but on loopback's broadcast address: it reaches every
/// socket bound to the port on this host and never leaves it.
bool sendOnLoopback(const QByteArray& payload, quint16 port)
{
    QUdpSocket socket;
    return socket.writeDatagram(payload, QHostAddress(QStringLiteral("127.255.255.255")), port) == payload.size();
}

const QRgb kDigitWhite = qRgb(255, 255, 255); // nothing but the clock's digits is drawn in pure white
const QRgb kPauseAmber = qRgb(255, 176, 0);

} // namespace

class TestDisplayWidget final : public QObject
{
    Q_OBJECT

    quint16 m_port = 0;
    korvo::fakes::FakeClock m_clock;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::unique_ptr<DisplayWidget> m_display;

private slots:
    void init()
    {
        m_display.reset();
        m_receiver = std::make_unique<DatagramReceiver>(DatagramReceiver::Options{0, QHostAddress::AnyIPv4, {}});
        QVERIFY(m_receiver->listen());
        m_port = m_receiver->port();
        m_display = std::make_unique<DisplayWidget>(m_clock);
        m_display->follow(*m_receiver);
        m_display->resize(640, 360);
        m_display->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_display.get()));
    }

    void followsTheClock()
    {
        QCOMPARE(m_display->clockText(), QStringLiteral("--:--"));
        QCOMPARE(m_display->periodText(), QString());
        QCOMPARE(m_display->statusText(), QStringLiteral("waiting for the clock on port %1").arg(m_port));

        QVERIFY(sendOnLoopback("p3t09:12", m_port));
        QTRY_COMPARE(m_display->clockText(), QStringLiteral("09:12"));
        QCOMPARE(m_display->periodText(), QStringLiteral("Period 3"));
        QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1"));

        // The age appears past two seconds, and the line on screen follows by itself. (That a rejected
        // datagram reaches no window is seen in tests/display_e2e.)
        m_clock.advance(2s);
        QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1"));
        struct : QObject
        {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override
            {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        m_display->installEventFilter(&counter);
        QCoreApplication::processEvents(); // what was due already is painted
        counter.paints = 0;
        m_clock.advance(1ms);
        QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1 \u2014 last update 2 s ago"));
        QTRY_VERIFY(counter.paints > 0);

        QVERIFY(sendOnLoopback("pause", m_port));
        QTRY_VERIFY(m_display->isPaused());
        QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1"));
        QCOMPARE(m_display->clockText() + '|' + m_display->periodText(), QStringLiteral("09:12|Period 3"));
        // The digits dimmed; the marker, bars and word, centred under them. (That it is drawn at all is seen
        // on a real screen in tests/display_e2e.)
        const QImage paused = m_display->grab().toImage();
        QVERIFY2(inkOf(paused, kDigitWhite).isEmpty(), "paused digits should be dimmed");
        const QRect marker = inkOf(paused, kPauseAmber).boundingRect();
        QVERIFY2(!marker.isEmpty() && qAbs(marker.center().x() - m_display->width() / 2) <= 3,
                 qPrintable(QString::number(marker.left())));

        QVERIFY(sendOnLoopback("p3t09:11", m_port));
        QTRY_COMPARE(m_display->clockText(), QStringLiteral("09:11"));
        QVERIFY(!m_display->isPaused());
        QVERIFY(inkOf(m_display->grab().toImage(), kPauseAmber).isEmpty());
    }

    // A program that holds the port without sharing it keeps the display out until it lets go; the display
    // says so and gets in by itself once the port is free.
    void waitsOutATakenPort()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
        const quint16 port = holder.localPort();
        DatagramReceiver receiver({port, QHostAddress::AnyIPv4, std::nullopt});
        DisplayWidget display(m_clock);
        display.follow(receiver);
        const QString status = display.statusText();
        QVERIFY2(status.startsWith(QStringLiteral("cannot listen on port %1: ").arg(port))
                     && status.endsWith(QStringLiteral(" \u2014 trying again every 2 s")),
                 qPrintable(status));
        holder.close();
        QTRY_COMPARE_WITH_TIMEOUT(display.statusText(), QStringLiteral("waiting for the clock on port %1").arg(port), 3000);
        QVERIFY(sendOnLoopback("p1t00:07", port));
        QTRY_COMPARE(display.clockText(), QStringLiteral("00:07"));
    }

    void togglesFullScreen()
    {
        QTest::keyClick(m_display.get(), Qt::Key_F11);
        QTRY_VERIFY(m_display->isFullScreen());
        QTest::keyClick(m_display.get(), Qt::Key_Escape);
        QTRY_VERIFY(!m_display->isFullScreen());
        QTest::mouseDClick(m_display.get(), Qt::LeftButton);
        QTRY_VERIFY(m_display->isFullScreen());
        QTest::keyClick(m_display.get(), Qt::Key_F11);
        QTRY_VERIFY(!m_display->isFullScreen());
    }
};

QTEST_MAIN(TestDisplayWidget)
#include "tst_DisplayWidget.moc"
