#include "settings/NetworkAddress.h"
#include "settings/PeriodScript.h"

#include <QDir>
#include <QTest>

#include <cstdint>

using namespace korvo::settings;

Q_DECLARE_METATYPE(std::vector<PeriodRow>)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

class TestPeriodScript final : public QObject
{
    Q_OBJECT
private slots:
    void writeThenRead_data()
    {
        QTest::addColumn<Direction>("direction");
        QTest::addColumn<std::vector<PeriodRow>>("rows");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("count down, ask me")
            << Direction::Left << std::vector<PeriodRow>{{"A", "10:00"}, {"B", "Ask me"}}
            << QByteArray("TimeLeft\r\nA\r\n10:00\r\nB\r\nAsk me\r\n");
        QTest::newRow("UTF-8 without byte-order mark")
            << Direction::Pass << std::vector<PeriodRow>{{"Période", "10:00"}}
            << QByteArray("TimePass\r\nP\xC3\xA9riode\r\n10:00\r\n");
        QTest::newRow("empty last time") << Direction::Pass << std::vector<PeriodRow>{{"A", "01:00"}, {"B", ""}}
                                         << QByteArray("TimePass\r\nA\r\n01:00\r\nB\r\n\r\n");
    }
    void writeThenRead()
    {
        QFETCH(Direction, direction);
        QFETCH(std::vector<PeriodRow>, rows);
        QFETCH(QByteArray, bytes);
        QCOMPARE(PeriodScript::write(direction, rows), bytes);
        const PeriodFile file = PeriodScript::read(bytes);
        QCOMPARE(file.direction, std::optional(direction));
        QVERIFY(file.rows == rows);
        QVERIFY(!file.incomplete);
    }

    void broadcastAddresses()
    {
        // Each field read up to its first blank, leading zeros dropped, no limit of 255.
        for (const auto& [box, ip] : {std::pair{"192.168.001", "192.168.1.255"}, {"1__.2_3.___", "1.2.0.255"},
                                      {"999.300.256", "999.300.256.255"}})
            QCOMPARE(broadcastAddress(QString::fromLatin1(box)), QString::fromLatin1(ip));
    }

    // The fuzz target's own checks over its corpus, so every build runs them without libFuzzer.
    void fuzzCorpus()
    {
        const QDir dir(QStringLiteral(KORVO_FUZZ_CORPUS_DIR));
        const QStringList names = dir.entryList(QDir::Files);
        QVERIFY2(names.size() >= 10, "the corpus is missing");
        for (const QString& name : names) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestPeriodScript)
#include "tst_periodscript.moc"
