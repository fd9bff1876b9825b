#include "LoopbackSender.h"

#include "display/DatagramReceiver.h"
#include "display/DisplayWidget.h"
#include "fakes/FakeClock.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

using namespace korvo::display;
using namespace std::chrono_literals;

namespace {

/// Where the clock's digits are: the bounding box of pure white pixels (nothing else is drawn in white).
QRect digitInk(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == 0xFFFFFF)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

int countPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            n += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    }
    return n;
}

QImage render(DisplayWidget& display)
{
    return display.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

const QRgb kPauseAmber = qRgb(255, 176, 0);

} // namespace

class TestDisplayWidget final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void waitsForTheClock();
    void showsTimePeriodAndSender();
    void marksPauseUntilTheNextTime();
    void ignoresRejectedDatagrams_data();
    void ignoresRejectedDatagrams();
    void showsTheAgeOnceTheClockGoesQuiet();
    void saysWhenThePortIsTaken();
    void digitsFillTheWindow_data();
    void digitsFillTheWindow();
    void unchangedDigitsStayPut();
    void togglesFullScreen();
    void tracesArrivalAndRepaint();

private:
    quint16 m_port = 0;
    korvo::fakes::FakeClock m_clock;
    std::unique_ptr<DatagramReceiver> m_receiver;
    std::unique_ptr<DisplayWidget> m_display;
    std::unique_ptr<LoopbackSender> m_clockSender;
};

void TestDisplayWidget::init()
{
    m_port = freeUdpPort();
    m_receiver = std::make_unique<DatagramReceiver>(DatagramReceiver::Options{m_port, QHostAddress::AnyIPv4, std::nullopt});
    QVERIFY(m_receiver->listen());
    m_display = std::make_unique<DisplayWidget>(m_clock);
    m_display->follow(*m_receiver);
    m_display->resize(640, 360);
    m_display->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_display.get()));
    m_clockSender = std::make_unique<LoopbackSender>();
}

void TestDisplayWidget::cleanup()
{
    m_display.reset();
    m_receiver.reset();
    m_clockSender.reset();
}

void TestDisplayWidget::waitsForTheClock()
{
    QCOMPARE(m_display->clockText(), QStringLiteral("--:--"));
    QCOMPARE(m_display->periodText(), QString());
    QCOMPARE(m_display->statusText(), QStringLiteral("waiting for the clock on port %1").arg(m_port));
    QVERIFY(!m_display->isPaused());
    QVERIFY(!digitInk(render(*m_display)).isEmpty());
}

void TestDisplayWidget::showsTimePeriodAndSender()
{
    QVERIFY(m_clockSender->send("p3t07:45", m_port));

    QTRY_COMPARE(m_display->clockText(), QStringLiteral("07:45"));
    QCOMPARE(m_display->periodText(), QStringLiteral("Period 3"));
    QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1"));

    QVERIFY(m_clockSender->send("p12t100:00", m_port));
    QTRY_COMPARE(m_display->clockText(), QStringLiteral("100:00"));
    QCOMPARE(m_display->periodText(), QStringLiteral("Period 12"));
}

void TestDisplayWidget::marksPauseUntilTheNextTime()
{
    QVERIFY(m_clockSender->send("p1t09:12", m_port));
    QTRY_COMPARE(m_display->clockText(), QStringLiteral("09:12"));
    QCOMPARE(countPixels(render(*m_display), kPauseAmber), 0);

    QVERIFY(m_clockSender->send("pause", m_port));
    QTRY_VERIFY(m_display->isPaused());
    QCOMPARE(m_display->clockText(), QStringLiteral("09:12"));
    QCOMPARE(m_display->periodText(), QStringLiteral("Period 1"));
    const QImage paused = render(*m_display);
    QVERIFY2(countPixels(paused, kPauseAmber) > 200, "no pause marker drawn");
    QVERIFY2(digitInk(paused).isEmpty(), "paused digits should be dimmed");

    QVERIFY(m_clockSender->send("pause", m_port));
    QVERIFY(m_clockSender->send("p1t09:11", m_port));
    QTRY_COMPARE(m_display->clockText(), QStringLiteral("09:11"));
    QVERIFY(!m_display->isPaused());
    QCOMPARE(countPixels(render(*m_display), kPauseAmber), 0);
}

void TestDisplayWidget::ignoresRejectedDatagrams_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("pause with a space") << QByteArray("pause ");
    QTest::newRow("period 0") << QByteArray("p0t05:00");
    QTest::newRow("line end") << QByteArray("p2t05:00\n");
    QTest::newRow("capital P") << QByteArray("P2t05:00");
    QTest::newRow("non-ASCII") << QByteArray("p2t05:0\xb9");
    QTest::newRow("oversized") << QByteArray("p2t") + QByteArray(70, '5') + QByteArray(":00");
}

void TestDisplayWidget::ignoresRejectedDatagrams()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(m_clockSender->send("p1t10:00", m_port));
    QTRY_COMPARE(m_display->clockText(), QStringLiteral("10:00"));
    m_clock.advance(1s);
    const QImage before = render(*m_display);
    const QString statusBefore = m_display->statusText();

    QSignalSpy rejected(m_receiver.get(), &DatagramReceiver::datagramRejected);
    QVERIFY(m_clockSender->send(bytes, m_port));
    QTRY_COMPARE(rejected.size(), 1);

    QCOMPARE(m_display->clockText(), QStringLiteral("10:00"));
    QCOMPARE(m_display->periodText(), QStringLiteral("Period 1"));
    QVERIFY(!m_display->isPaused());
    QCOMPARE(m_display->statusText(), statusBefore);
    QCOMPARE(render(*m_display), before);
    QCOMPARE(m_receiver->rejectedCount(), 1);
}

void TestDisplayWidget::showsTheAgeOnceTheClockGoesQuiet()
{
    QVERIFY(m_clockSender->send("p1t10:00", m_port));
    QTRY_COMPARE(m_display->clockText(), QStringLiteral("10:00"));

    m_clock.advance(2s);
    QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1"));
    m_clock.advance(1ms);
    QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1 \u2014 last update 2 s ago"));
    m_clock.advance(63s);
    QCOMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1 \u2014 last update 65 s ago"));

    // The line on screen follows by itself, without a datagram to trigger a repaint.
    const QImage stale = render(*m_display);
    m_clock.advance(10s);
    QTRY_VERIFY(render(*m_display) != stale);

    QVERIFY(m_clockSender->send("pause", m_port));
    QTRY_COMPARE(m_display->statusText(), QStringLiteral("from 127.0.0.1"));
}

void TestDisplayWidget::saysWhenThePortIsTaken()
{
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    DatagramReceiver blocked({squatter.localPort(), QHostAddress::AnyIPv4, std::nullopt});
    QVERIFY(!blocked.listen());
    DisplayWidget display(m_clock);
    display.follow(blocked);
    display.showListenError(blocked.errorString());
    QVERIFY(display.statusText().startsWith(QStringLiteral("cannot listen on port %1: ").arg(squatter.localPort())));
}

void TestDisplayWidget::digitsFillTheWindow_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("clock");
    QTest::newRow("wide") << QSize(1280, 400) << "10:00";
    QTest::newRow("16:9") << QSize(960, 540) << "10:00";
    QTest::newRow("tall") << QSize(400, 700) << "10:00";
    QTest::newRow("hundred minutes, tall") << QSize(400, 700) << "100:00";
    QTest::newRow("small") << QSize(200, 120) << "88:88";
}

void TestDisplayWidget::digitsFillTheWindow()
{
    QFETCH(QSize, size);
    QFETCH(QString, clock);
    m_display->resize(size);
    m_display->showTime(TimeDatagram{1, clock.toStdString()}, QHostAddress::LocalHost);

    const QImage image = render(*m_display);
    QCOMPARE(image.size(), size);
    const QRect ink = digitInk(image);
    QVERIFY(!ink.isEmpty());
    // Inside the window with a margin: nothing clipped.
    QVERIFY2(ink.left() > 0 && ink.right() < size.width() - 1, qPrintable(QStringLiteral("ink %1..%2").arg(ink.left()).arg(ink.right())));
    QVERIFY(ink.top() > size.height() / 10 && ink.bottom() < size.height() * 9 / 10);
    // As large as fits: one of the two directions is nearly used up.
    const bool fillsWidth = ink.width() >= size.width() * 8 / 10;
    const bool fillsHeight = ink.height() >= size.height() * 45 / 100;
    QVERIFY2(fillsWidth || fillsHeight,
             qPrintable(QStringLiteral("ink %1x%2 in %3x%4").arg(ink.width()).arg(ink.height()).arg(size.width()).arg(size.height())));

    // Twice the window, twice the digits.
    m_display->resize(size * 2);
    const QRect bigger = digitInk(render(*m_display));
    QVERIFY(bigger.width() >= ink.width() * 19 / 10 && bigger.width() <= ink.width() * 21 / 10);
}

void TestDisplayWidget::unchangedDigitsStayPut()
{
    m_display->resize(800, 450);
    m_display->showTime(TimeDatagram{1, "11:18"}, QHostAddress::LocalHost);
    const QImage first = render(*m_display);
    m_display->showTime(TimeDatagram{1, "11:11"}, QHostAddress::LocalHost);
    const QImage second = render(*m_display);
    const QRect ink = digitInk(first);

    // "11:1" is drawn in the same pixels both times; only the last digit's cell differs.
    const int lastCell = ink.left() + ink.width() * 3 / 4;
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        for (int x = 0; x < lastCell; ++x)
            QVERIFY2(first.pixel(x, y) == second.pixel(x, y), qPrintable(QStringLiteral("moved at %1,%2").arg(x).arg(y)));
    }
    QVERIFY(first != second);
}

void TestDisplayWidget::togglesFullScreen()
{
    QVERIFY(!m_display->isFullScreen());
    QTest::keyClick(m_display.get(), Qt::Key_F11);
    QTRY_VERIFY(m_display->isFullScreen());
    QTest::keyClick(m_display.get(), Qt::Key_F11);
    QTRY_VERIFY(!m_display->isFullScreen());

    QTest::mouseDClick(m_display.get(), Qt::LeftButton);
    QTRY_VERIFY(m_display->isFullScreen());
    QTest::keyClick(m_display.get(), Qt::Key_Escape);
    QTRY_VERIFY(!m_display->isFullScreen());
    QTest::keyClick(m_display.get(), Qt::Key_Escape);
    QVERIFY(!m_display->isFullScreen());
}

void TestDisplayWidget::tracesArrivalAndRepaint()
{
    QStringList lines;
    m_display->setTrace([&lines](const QString& line) { lines << line; });
    const qint64 now = m_clock.now().count();

    QVERIFY(m_clockSender->send("p2t03:04", m_port));
    QTRY_COMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QStringLiteral("received p2t03:04 %1").arg(now));
    QCOMPARE(lines.at(1), QStringLiteral("shown p2t03:04 %1").arg(now));

    m_clock.advance(5ms);
    QVERIFY(m_clockSender->send("pause", m_port));
    QTRY_COMPARE(lines.size(), 4);
    QCOMPARE(lines.at(3), QStringLiteral("shown pause %1").arg(now + 5'000'000));

    // A repaint without a new datagram is not a "shown".
    m_display->repaint();
    QCOMPARE(lines.size(), 4);
}

QTEST_MAIN(TestDisplayWidget)
#include "tst_DisplayWidget.moc"
