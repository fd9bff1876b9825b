#include "protocol/DottedDecimal.h"

#include <QHostAddress>
#include <QTest>

using namespace korvo::protocol;

// The datagrams themselves are checked where they turn into what a page shows: tests/web/tst_web.cpp.
class TestProtocol final : public QObject
{
    Q_OBJECT

private slots:
    void parsesDottedDecimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // "" when the text is not an address
        QTest::newRow("leading zero is not octal") << "010.000.000.001" << "10.0.0.1";
        QTest::newRow("three fields") << "1.2.3" << "";
        QTest::newRow("field above 255") << "256.0.0.1" << "";
        QTest::newRow("field beyond int") << "1.2.3.99999999999" << "";
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661.\u0662.\u0663.\u0664") << "";
    }

    void parsesDottedDecimal()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto address = parseDottedDecimal(text);
        QCOMPARE(address ? QHostAddress(*address).toString() : QString(), expected);
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
