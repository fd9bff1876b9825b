// The fuzz target's own checks over its corpus, so that every build runs them without libFuzzer. What a
// file reads as is checked through the settings window (tst_faults).

#include <QDir>
#include <QTest>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

class TestPeriodScript final : public QObject
{
    Q_OBJECT
private slots:
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
