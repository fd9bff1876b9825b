// Hostile period-set files and places to save them: each load or save must end in the error report or in
// a loaded table, within seconds, and never harm a file that was there before.

#include "FaultHarness.h"

#include "fakes/FakeDialogs.h"
#include "fakes/FakeErrors.h"
#include "fakes/FakeSocket.h"
#include "model/ClockModel.h"
#include "settings/FrmSet.h"
#include "ui/PeriodGrid.h"
#include "ui/SettingsWindowUi.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <memory>
#include <random>

using namespace korvo;

namespace {

constexpr qint64 kHangMs = 10000;
const QString kAt = QStringLiteral("|Location: KorvoTimer.frmSet.");

/// The settings window on real widgets, with scripted dialogs and error reports.
struct Settings
{
    Settings()
    {
        frm = std::make_unique<settings::FrmSet>(settings::SettingsServices{model, trap.trap, socket, dialogs});
        frm->Form_Load();
        frm->show();
    }
    [[nodiscard]] const ui::SettingsWindowUi& ui() const { return frm->widgets(); }
    [[nodiscard]] int rows() const { return ui().grdPERIOD->rows() - 1; }
    [[nodiscard]] QString cell(int row, int col) const { return ui().grdPERIOD->textMatrix(row, col); }
    /// The first report's number and location, "Error 75|Location: ...".
    [[nodiscard]] QString report() const
    {
        const QStringList lines = trap.reporter.texts.value(0).split(QStringLiteral("\r\n"));
        return lines.size() < 3 ? QString() : lines[0] + QLatin1Char('|') + lines[2];
    }
    /// Enters one period as the operator does and adds it.
    void add(const QString& legend, int minutes) const
    {
        ui().txtPERIODLEGEND->setText(legend);
        ui().vsTIMEMIN->setValue(minutes);
        QTest::mouseClick(ui().cmdADD, Qt::LeftButton);
    }
    /// Clicks a button and says how long the procedure took.
    qint64 timed(QAbstractButton* button) const
    {
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(button, Qt::LeftButton);
        return t.elapsed();
    }

    model::ClockModel model;
    fakes::FakeTrap trap;
    fakes::FakeSocket socket;
    fakes::FakeDialogs dialogs;
    std::unique_ptr<settings::FrmSet> frm;
};

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray randomBytes(qsizetype size, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

QByteArray manyPeriods(int n)
{
    QByteArray bytes("TimeLeft\r\n");
    bytes.reserve(n * 20);
    for (int i = 1; i <= n; ++i)
        bytes += "Period " + QByteArray::number(i) + "\r\n" + (i % 7 == 0 ? QByteArray("Ask me") : QByteArray("12:00")) + "\r\n";
    return bytes;
}

} // namespace

/// Runs in a mount namespace of its own, where a tiny file system can be filled up.
class FullFolderInNamespace : public QObject
{
    Q_OBJECT

private slots:
    void saveIntoAFullFolderKeepsTheOldFile()
    {
        QTemporaryDir mountPoint;
        QVERIFY(mountPoint.isValid());
        if (::mount("tmpfs", QFile::encodeName(mountPoint.path()).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable(QStringLiteral("cannot mount a small file system here: ") + QString::fromLocal8Bit(strerror(errno))));
        const QString dir = mountPoint.path();
        const QByteArray old("TimeLeft\r\nOld\r\n01:00\r\n");
        const QString path = writeFile(dir + QStringLiteral("/set.ptm"), old);
        {
            // Fill every byte that is left.
            const int fd = ::open(QFile::encodeName(dir + QStringLiteral("/filler")).constData(), O_WRONLY | O_CREAT, 0600);
            QVERIFY(fd >= 0);
            const QByteArray block(4096, 'x');
            while (::write(fd, block.constData(), static_cast<std::size_t>(block.size())) > 0) {
            }
            ::close(fd);
        }

        Settings s;
        for (int i = 1; i <= 40; ++i)
            s.add(QStringLiteral("A long description %1").arg(i), 10);
        s.dialogs.saveNames.push_back(path);
        QVERIFY(s.timed(s.ui().cmdSAVE) < kHangMs);
        QCOMPARE(s.report(), QStringLiteral("Error 75|Location: KorvoTimer.frmSet.cmdSAVE_Click"));
        QCOMPARE(readFile(path), old);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{QStringLiteral("filler"), QStringLiteral("set.ptm")}));
        ::umount(QFile::encodeName(dir).constData());
    }
};

class TestFileFaults : public QObject
{
    Q_OBJECT

private slots:
    void loadHostileFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("report"); // empty: the file loads
        QTest::newRow("a directory") << "directory" << ("Error 75" + kAt + "cmdLOAD_Click");
        QTest::newRow("no read permission") << "unreadable" << ("Error 75" + kAt + "cmdLOAD_Click");
        QTest::newRow("100,000 periods") << "many" << QString();
        QTest::newRow("NUL bytes") << "nul" << QString();
    }

    void loadHostileFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, report);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("set.ptm"));
        std::unique_ptr<faults::ObeyFilePermissions> obey;
        if (kind == QLatin1String("directory")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("set.ptm")));
        } else if (kind == QLatin1String("unreadable")) {
            writeFile(path, "TimePass\r\nSecret\r\n10:00\r\n");
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
            obey = std::make_unique<faults::ObeyFilePermissions>();
            if (!obey->active() || QFile(path).open(QIODevice::ReadOnly))
                QSKIP("this user reads files without read permission, and cannot be stopped from it");
        } else if (kind == QLatin1String("many")) {
            writeFile(path, manyPeriods(100000));
        } else if (kind == QLatin1String("nul")) {
            static const char withNul[] = "TimePass\r\nA\0B\r\n10:00\r\n\0\r\n\0\0:\0\0\r\n";
            writeFile(path, QByteArray(withNul, sizeof withNul - 1));
        }

        Settings s;
        s.add(QStringLiteral("Before"), 5);
        s.frm->SET_CHANGED = model::kFalse;
        s.dialogs.openNames.push_back(path);
        const qint64 took = s.timed(s.ui().cmdLOAD);
        obey.reset();
        QVERIFY2(took < kHangMs, qPrintable(QStringLiteral("%1 ms").arg(took)));
        QCOMPARE(s.report(), report);
        QCOMPARE(s.trap.reporter.texts.size(), report.isEmpty() ? 0 : 1);

        if (kind == QLatin1String("directory") || kind == QLatin1String("unreadable")) {
            QCOMPARE(s.rows(), 1); // what could not be read replaced nothing
            QCOMPARE(s.cell(1, 1), QStringLiteral("Before"));
        } else if (kind == QLatin1String("many")) {
            QCOMPARE(s.rows(), 100000);
            QCOMPARE(s.cell(100000, 1), QStringLiteral("Period 100000"));
            QCOMPARE(s.cell(99995, 2), QStringLiteral("Ask me"));
            QVERIFY(s.ui().optLEFT->isChecked());
            // The clock numbers periods in 16 bits: applying this many overflows, reported, not wrapped.
            s.trap.reporter.texts.clear();
            const qint64 ok = s.timed(s.ui().cmdOK);
            QVERIFY2(ok < kHangMs, qPrintable(QStringLiteral("%1 ms").arg(ok)));
            QCOMPARE(s.report(), QStringLiteral("Error 6") + kAt + QStringLiteral("cmdOK_Click"));
            QVERIFY(s.model.PERIOD_COUNT >= 0);
        } else if (kind == QLatin1String("nul")) {
            QCOMPARE(s.rows(), 2);
            QCOMPARE(s.cell(1, 1), QString::fromLatin1("A\0B", 3));
            QCOMPARE(s.cell(2, 2), QString::fromLatin1("\0\0:\0\0", 5));
            // Saved again, the file comes back byte for byte.
            const QString copy = dir.filePath(QStringLiteral("copy.ptm"));
            s.dialogs.saveNames.push_back(copy);
            QTest::mouseClick(s.ui().cmdSAVE, Qt::LeftButton);
            QCOMPARE(readFile(copy), readFile(path));
        }
    }

    void loadRandomBytes()
    {
        QTemporaryDir dir;
        const QByteArray bytes = randomBytes(20 * 1024 * 1024, 7699);
        const QString path = writeFile(dir.filePath(QStringLiteral("noise.ptm")), bytes);
        Settings s;
        s.dialogs.openNames.push_back(path);
        const qint64 took = s.timed(s.ui().cmdLOAD);
        QVERIFY2(took < kHangMs, qPrintable(QStringLiteral("%1 ms").arg(took)));
        // About one byte in 128 ends a line: tens of thousands of rows, and at most the report of a
        // legend left without its time line.
        QVERIFY2(s.rows() > 10000, qPrintable(QString::number(s.rows())));
        QVERIFY(s.report().isEmpty() || s.report() == QStringLiteral("Error 62") + kAt + QStringLiteral("cmdLOAD_Click"));
        QCOMPARE(readFile(path), bytes);
        QVERIFY(QTest::qWaitForWindowExposed(s.frm.get()));
    }

    void saveOverADirectory()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("set.ptm"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("set.ptm")));
        writeFile(target + QStringLiteral("/inside.txt"), "kept");
        Settings s;
        s.add(QStringLiteral("Half"), 20);
        s.dialogs.saveNames.push_back(target);
        QVERIFY(s.timed(s.ui().cmdSAVE) < kHangMs);
        QCOMPARE(s.report(), QStringLiteral("Error 75") + kAt + QStringLiteral("cmdSAVE_Click"));
        QVERIFY(QFileInfo(target).isDir());
        QCOMPARE(readFile(target + QStringLiteral("/inside.txt")), QByteArray("kept"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("set.ptm")});
    }

    void saveIntoAFullFolder()
    {
        const faults::ChildRun child = faults::runSelfInNamespace({QStringLiteral("-m")}, {QStringLiteral("--mount-child")});
        if (child.skipped)
            QSKIP(qPrintable(*child.skipped));
        if (child.output.contains(QLatin1String("SKIP   :")))
            QSKIP(qPrintable(child.output.section(QStringLiteral("SKIP   :"), 1).section(QLatin1Char('\n'), 0, 1)));
        QVERIFY2(child.exitCode == 0, qPrintable(child.output));
        QVERIFY2(child.output.contains(QLatin1String(" passed, 0 failed, 0 skipped")), qPrintable(child.output));
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("--mount-child")) {
        args.remove(1);
        FullFolderInNamespace inside;
        return QTest::qExec(&inside, args);
    }
    TestFileFaults outside;
    return QTest::qExec(&outside, args);
}

#include "tst_filefaults.moc"
