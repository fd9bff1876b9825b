// Faults and bad input under a running clock and a settings window: a network that refuses every datagram;
// period-set files of every odd and bad kind, and hostile places to load one from or save one to. Nothing
// may be reported for the network, nothing hang, and no file that was there before be damaged.

#include "support/ClockRig.h"
#include "support/Files.h"
#include "support/Namespace.h"
#include "support/SettingsRig.h"

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <sys/stat.h>

using namespace korvo;
using test::click;
using test::writeFile;

namespace {

const QString kAt = QStringLiteral("|Location: KorvoTimer.frmSet.");
/// Why this run has no mount namespace of its own (see main), or empty.
QString g_noNamespace;

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    /// Every procedure that sends, while every send fails; then the fault clears. (The real socket's own
    /// failures: tst_udpsocket.)
    void networkFault()
    {
        test::ClockRig c;
        c.socket.failSends = true;
        // Standard error hears of the failing broadcast once, however many sends fail.
        const QRegularExpression failing(QStringLiteral("^KorvoTimer: the time broadcast fails: No route to host$"));
        QTest::ignoreMessage(QtWarningMsg, failing);
        QTest::failOnWarning(failing);
        c.load({600, 600}, model::COUNT_DOWN);
        // What the operator sees of it: the period label red, the socket's error as its tooltip.
        const auto sign = [&c] {
            return c.ui.lblPERIOD->palette().color(QPalette::Window).name() + ' ' + c.ui.lblPERIOD->toolTip();
        };
        c.operate(QStringList{"S"} + QStringList(5, "tick"));
        QCOMPARE(c.state(), QStringLiteral("P1/09:55 black timer"));
        // Corrections down to the end, which enables Next; a correction, Reset and a tick in the 2nd period.
        c.operate(QStringList{"S", "cmd1UP"} + QStringList(62, "cmd10DW")
                  + QStringList{"cmdNEXTPERIOD", "cmd1DW", "mnRESETYES", "S", "tick"});
        QCOMPARE(c.state(), QStringLiteral("P2/09:59 black timer"));
        QCOMPARE(c.socket.take(), QStringList());
        QCOMPARE(sign(), QStringLiteral("#ff0000 No route to host"));

        c.socket.failSends = false;
        c.operate({"tick"});
        QCOMPARE(c.socket.take(), QStringList{"192.168.1.255 p2t09:58"});
        QCOMPARE(c.state(), QStringLiteral("P2/09:58 black timer"));
        QVERIFY2(!sign().startsWith(QStringLiteral("#ff0000")) && sign().endsWith(QLatin1Char(' ')), qPrintable(sign()));
    }

    void periodSetFile_data()
    {
        QTest::addColumn<QString>("place"); // what the file dialog names: a file of these bytes, or what else
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("table"); // the direction, then the rows; loaded over "Old" 01:00 counting down
        QTest::addColumn<QString>("reports");
        const auto load = [](const char* name, const QByteArray& bytes, const QStringList& table, const QString& at) {
            QTest::newRow(name) << "file" << "cmdLOAD" << bytes << table << (at.isEmpty() ? at : at + kAt + "cmdLOAD_Click");
        };
        const QStringList ab{"Pass", "A|01:00", "B|02:00"};
        const QStringList kept{"Left", "Old|01:00"};
        load("empty file", "", {"Left"}, "");
        load("odd line count: Ignore drops the incomplete row", "TimePass\r\nA\r\n01:00\r\nB\r\n02:00\r\nC\r\n", ab,
             "Error 62|Input past end of file");
        load("trailing empty lines", "TimePass\r\nA\r\n01:00\r\nB\r\n02:00\r\n\r\n\r\n", ab, "");
        load("an empty line after the only legend is its time", "TimePass\r\nB\r\n\r\n", {"Pass", "B|"}, "");
        load("mixed line ends, last unterminated", "TimePass\nA\r\n01:00\rB\n02:00", ab, "");
        const QString format = QStringLiteral("Error 321|Invalid file format: ");
        const QString leftOut = format + "the period at line ";
        load("a tab or a NUL in a legend: left out",
             QByteArray("TimePass\r\nHome\tAway\r\n15:00\r\nA\0B\r\n10:00\r\nB\r\n02:00\r\n", 50), {"Pass", "B|02:00"},
             leftOut + "2 holds a control character in its legend; 2 periods left out");
        load("legends of 255 and 256 characters",
             "TimePass\r\n" + QByteArray(255, 'x') + "\r\n10:00\r\n" + QByteArray(256, 'y') + "\r\n10:00\r\n",
             {"Pass", QString(255, 'x') + "|10:00"}, leftOut + "4 is longer than 255 characters; 1 period left out");
        load("a pair of empty lines inside: left out", "TimePass\r\nA\r\n01:00\r\n\r\n\r\nB\r\n02:00\r\n", ab,
             leftOut + "4 has neither legend nor time; 1 period left out");
        // Latin-1 as Windows reads it: 0x80 to 0x9F are its signs, such as the euro.
        load("bytes not valid UTF-8 anywhere make the whole file Windows-1252",
             "TimeLeft\r\n\xC3\xA9t\xE9 \x80\x93\x9F\r\n10:00\r\n", {"Left", "Ã©té €“Ÿ|10:00"}, "");
        load("byte-order mark dropped", "\xEF\xBB\xBFTimePass\r\nA\r\n01:00\r\n", {"Pass", "A|01:00"}, "");
        // Refused whole, or not read at all: the table stays as it was, unsaved.
        load("32,768 periods", "TimeLeft\r\n" + QByteArray("P\r\n12:00\r\n").repeated(32768), kept,
             format + "more than 32767 periods");
        load("1 MiB and a byte", "TimeLeft\r\n" + QByteArray(1024 * 1024 - 16, 'L') + "\r\n01:00", kept,
             format + "larger than 1 MiB");
        const QString access = "Error 75|Path/File access error" + kAt;
        const QString irregular = "Error 75|Path/File access error: not a regular file" + kAt + "cmdLOAD_Click";
        const QString notOpen = "\nError 52|Bad file name or number" + kAt + "cmdSAVE_Click";
        const QByteArray onDisk("TimePass\r\nOn disk\r\n02:00\r\n");
        QTest::newRow("load a missing file") // a link to nowhere
            << "/nowhere" << "cmdLOAD" << QByteArray() << kept << "Error 53|File not found" + kAt + "cmdLOAD_Click";
        QTest::newRow("load a directory") << "directory" << "cmdLOAD" << QByteArray() << kept << irregular;
        // A FIFO would wait in open() for a writer.
        QTest::newRow("load a FIFO") << "FIFO" << "cmdLOAD" << QByteArray() << kept << irregular;
        QTest::newRow("load without read permission")
            << "unreadable file" << "cmdLOAD" << onDisk << kept << access + "cmdLOAD_Click";
        QTest::newRow("load a file whose reading fails")
            << "/proc/self/mem" << "cmdLOAD" << QByteArray() << kept << access + "cmdLOAD_Click";
        QTest::newRow("save over a directory")
            << "directory" << "cmdSAVE" << QByteArray() << kept << access + "cmdSAVE_Click" + notOpen + notOpen;
        // Where nothing can be made beside the file, a file that can be written is written in place.
        QTest::newRow("save over a file in a read-only folder")
            << "read-only folder" << "cmdSAVE" << onDisk << kept << "";
        QTest::newRow("save into a full folder")
            << "full folder" << "cmdSAVE" << onDisk << kept << access + "cmdSAVE_Click\n" + access + "cmdSAVE_Click";
    }
    void periodSetFile()
    {
        QFETCH(QString, place);
        QFETCH(QString, button);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, table);
        QFETCH(QString, reports);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("set.ptm"));
        const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(dir.path()).constData()); });
        const bool regular = place.endsWith(QLatin1String("file")) || place.endsWith(QLatin1String("folder"));
        if (place == "directory") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("set.ptm")));
            writeFile(path + QStringLiteral("/inside.txt"), "kept");
        } else if (place == "FIFO") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (!regular) {
            QVERIFY(QFile::link(place, path));
        } else {
            if (place == "full folder" && !g_noNamespace.isEmpty())
                QSKIP(qPrintable(g_noNamespace));
            if (place == "full folder")
                QVERIFY(::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k") == 0);
            writeFile(path, bytes);
            if (place == "full folder")
                test::sh("cat /dev/zero >" + dir.filePath("filler") + " 2>/dev/null"); // until not a byte is left
        }
        if (place == "unreadable file")
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        if (place == "read-only folder")
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

        test::Settings s;
        click(s.ui().optLEFT);
        s.add(QStringLiteral("Old"), 1, 0);
        (button == QLatin1String("cmdSAVE") ? s.dialogs.saveNames : s.dialogs.openNames).push_back(path);
        // Root reads and writes anything: it is made to meet permissions as an operator does.
        test::overridePermissions(false);
        const bool refused = place == "unreadable file" ? !QFile(path).open(QIODevice::ReadOnly)
                             : place == "read-only folder" ? !QFile(dir.filePath("probe")).open(QIODevice::WriteOnly)
                                                           : true;
        click(s.frm->findChild<QAbstractButton*>(button));
        test::overridePermissions(true);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!refused)
            QSKIP("this user reads and writes without permission, and cannot be stopped from it");
        QCOMPARE(s.reports(), reports);
        QCOMPARE(s.ui().optPASS->isChecked(), !s.ui().optLEFT->isChecked());
        QCOMPARE(QStringList{s.ui().optLEFT->isChecked() ? "Left" : "Pass"} + s.table(), table);
        // The table is unsaved unless loaded or saved. The file read, or saved over in vain, is as it was, and
        // nothing is left beside it.
        const bool saved = button == QLatin1String("cmdSAVE") && reports.isEmpty();
        QCOMPARE(s.frm->SET_CHANGED == model::kTrue, (table == QStringList{"Left", "Old|01:00"} && !saved));
        if (regular)
            QCOMPARE(test::readFile(path), saved ? QByteArray("TimeLeft\r\nOld\r\n01:00\r\n") : bytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
                 (place == "full folder" ? QStringList{"filler", "set.ptm"} : QStringList{"set.ptm"}));
        if (place == "directory")
            QCOMPARE(test::readFile(path + QStringLiteral("/inside.txt")), QByteArray("kept"));
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // Everything runs in namespaces of its own, with room to mount a small file system. Where none can be
    // made, the one row that needs it is skipped.
    if (const int code = test::rerunInNamespaces(g_noNamespace); code >= 0)
        return code;
    TestFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
