// The fuzz target's checks, run by the ordinary test command over its corpus and over a fixed series of
// mutations of it, so every build (sanitizers included) exercises them without libFuzzer.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void feed(const QByteArray& bytes)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size()));
}

QList<QByteArray> corpusFiles()
{
    QList<QByteArray> files;
    const QDir dir(QStringLiteral(KORVO_FUZZ_CORPUS_DIR));
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.append(file.readAll());
    }
    return files;
}

} // namespace

class TestPeriodScriptCorpus final : public QObject
{
    Q_OBJECT
private slots:
    void corpus_data();
    void corpus();
    void mutations();
};

void TestPeriodScriptCorpus::corpus_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QDir dir(QStringLiteral(KORVO_FUZZ_CORPUS_DIR));
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    QVERIFY2(names.size() >= 10, "the corpus is missing");
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << file.readAll();
    }
}

void TestPeriodScriptCorpus::corpus()
{
    QFETCH(QByteArray, bytes);
    feed(bytes);
}

void TestPeriodScriptCorpus::mutations()
{
    const QList<QByteArray> seeds = corpusFiles();
    QVERIFY(!seeds.isEmpty());
    static const char* const pieces[] = {"\r", "\n", "\r\n", "\r\r\n", "TimePass", "TimeLeft", "\t", "\xEF\xBB\xBF",
                                         "\xC3", "\xA9", "\xE9", "Ask me", "00:00", "\x00"};
    QRandomGenerator random(7699);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = seeds[random.bounded(seeds.size())];
        const int edits = 1 + random.bounded(4);
        for (int e = 0; e < edits; ++e) {
            const qsizetype at = bytes.isEmpty() ? 0 : random.bounded(bytes.size() + 1);
            switch (random.bounded(3)) {
            case 0: {
                const char* piece = pieces[random.bounded(static_cast<int>(std::size(pieces)))];
                bytes.insert(at, piece[0] == '\0' ? QByteArray(1, '\0') : QByteArray(piece));
                break;
            }
            case 1:
                bytes.remove(at, random.bounded(4));
                break;
            default:
                if (at < bytes.size())
                    bytes[at] = static_cast<char>(random.bounded(256));
                break;
            }
        }
        feed(bytes);
    }
}

QTEST_GUILESS_MAIN(TestPeriodScriptCorpus)
#include "tst_periodscript_corpus.moc"
