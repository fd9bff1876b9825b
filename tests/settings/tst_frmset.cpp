// The settings window on real widgets, driven as the operator drives it; period-set files are real files in
// temporary folders, the file dialogs and the error reports scripted. What every odd or bad file reads as,
// and hostile places to load from or save to: tst_faults.

#include "support/Files.h"
#include "support/SettingsRig.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace korvo;
using Reply = platform::Dialogs::Reply;
using test::click;
using test::keyTo;
using test::Settings;
using test::writeFile;

namespace {

const QString kFilter = QStringLiteral("|Period Script (*.ptm);;All files (*.*)");
const QString kAt = QStringLiteral("|Location: KorvoTimer.frmSet.");

} // namespace

class TestFrmSet final : public QObject
{
    Q_OBJECT
private slots:
    void ok_data()
    {
        QTest::addColumn<QStringList>("periods"); // entered in turn, as "legend|mm:ss" or "legend|Ask me"
        QTest::addColumn<bool>("countdown");
        QTest::addColumn<QString>("typed");   // into the address box; null: the proposal left as it is
        QTest::addColumn<QString>("applied"); // what the clock holds then; empty: refused
        const QStringList half{"Half|01:00"};
        QTest::newRow("three periods, counting down")
            << QStringList{"1st Period|12:30", "Overtime?|Ask me", "3rd Period|09:05"} << true << QString()
            << "10.0.0.255, mode 2, period 1 of 3: 1st Period 0 12 30, Overtime? -1 -1 -1, 3rd Period 0 9 5";
        QTest::newRow("empty table refused") << QStringList() << false << QString() << "";
        QTest::newRow("untouched address refused") << half << false << "" << "";
        QTest::newRow("all places") << half << false << "192168001" << "192.168.1.255, mode 1, period 1 of 1: Half 0 1 0";
        QTest::newRow("letters refused, blanks read as nothing")
            << half << false << "1a2b" << "12.0.0.255, mode 1, period 1 of 1: Half 0 1 0";
        QTest::newRow("a field over 255 refused, and said") << half << false << "192168300" << "";
    }
    void ok()
    {
        QFETCH(QStringList, periods);
        QFETCH(bool, countdown);
        QFETCH(QString, typed);
        QFETCH(QString, applied);
        Settings h;
        QCOMPARE(h.ui().txtIP->displayText(), QStringLiteral("010.000.000"));
        for (const QString& period : periods) {
            const QString time = period.section('|', 1);
            h.add(period.section('|', 0, 0), time.left(2).toInt(), time.mid(3).toInt(), time == "Ask me");
        }
        if (countdown)
            click(h.ui().optLEFT);
        if (!typed.isNull()) {
            h.ui().txtIP->clear();
            h.ui().txtIP->setFocus();
            QTest::keyClicks(h.ui().txtIP, typed);
        }
        click(h.ui().cmdOK);
        QString held;
        for (int i = 1; h.model.PERIODS && i <= h.model.PERIOD_COUNT; ++i) {
            const model::PERIOD_REC& r = h.model.record(i);
            held += QStringLiteral(", %1 %2 %3 %4").arg(r.Descr).arg(r.AskMe).arg(r.Minutes).arg(r.Seconds);
        }
        if (h.model.PERIODS)
            held = QStringLiteral("%1, mode %2, period %3 of %4:").arg(h.model.BROADCAST_IP).arg(h.model.TIME_MODE)
                       .arg(h.model.CUR_PERIOD).arg(h.model.PERIOD_COUNT) + held.mid(1);
        QCOMPARE(held, applied);
        QCOMPARE(h.frm->isVisible(), applied.isEmpty());
        QCOMPARE(h.ui().tmrPASSdemo->isActive() || h.ui().tmrLEFTdemo->isActive(), applied.isEmpty());
        const bool over = typed == QLatin1String("192168300");
        QCOMPARE(h.dialogs.warnings,
                 over ? QStringList{"The third field of the Broadcast IP, 300, is over 255."} : QStringList{});
        QCOMPARE(h.frm->focusWidget() == h.ui().txtIP, over); // the box, to be mended
        QCOMPARE(h.reports(), QString());
    }

    void editTable_data()
    {
        QTest::addColumn<int>("periods");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("table");
        QTest::addColumn<int>("current"); // 0: not checked
        const QStringList abc{"A|01:00", "B|00:30", "C|Ask me"};
        // The entry fields keep their values, so the next period needs only a new legend.
        QTest::newRow("add makes the new row current") << 3 << 1 << "cmdADD" << (abc + QStringList{"C|00:30"}) << 4;
        QTest::newRow("up") << 3 << 3 << "cmdUP" << QStringList{"A|01:00", "C|Ask me", "B|00:30"} << 2;
        QTest::newRow("down") << 3 << 1 << "cmdDOWN" << QStringList{"B|00:30", "A|01:00", "C|Ask me"} << 2;
        QTest::newRow("up on the first row refused") << 3 << 1 << "cmdUP" << abc << 1;
        QTest::newRow("down on the last row refused") << 3 << 3 << "cmdDOWN" << abc << 3;
        QTest::newRow("remove the current row") << 3 << 2 << "cmdREMOVE" << QStringList{"A|01:00", "C|Ask me"} << 0;
        QTest::newRow("remove the only row") << 1 << 1 << "cmdREMOVE" << QStringList{} << 0;
        QTest::newRow("remove on an empty table refused") << 0 << 0 << "cmdREMOVE" << QStringList{} << 0;
        QTest::newRow("down on an empty table refused") << 0 << 0 << "cmdDOWN" << QStringList{} << 0;
    }
    void editTable()
    {
        QFETCH(int, periods);
        QFETCH(int, row);
        QFETCH(QString, button);
        QFETCH(QStringList, table);
        QFETCH(int, current);
        Settings h;
        h.add(QString(), 1, 0); // refused: no legend
        h.add(QStringLiteral("A"), 0, 0); // refused: a period of zero length
        QCOMPARE(h.table(), QStringList{});
        QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
        if (periods > 0)
            h.add(QStringLiteral("A"), 1, 0);
        if (periods > 1) {
            h.add(QStringLiteral("B"), 0, 30);
            h.add(QStringLiteral("C"), 0, 30, true);
        }
        const QStringList before = h.table();
        h.frm->SET_CHANGED = model::kFalse;
        if (row > 0)
            h.clickRow(row);
        click(h.frm->findChild<QAbstractButton*>(button));
        QCOMPARE(h.table(), table);
        QCOMPARE(h.frm->SET_CHANGED, table == before ? model::kFalse : model::kTrue);
        if (current > 0)
            QCOMPARE(h.grid().row(), current);
        if (button != QLatin1String("cmdADD") && table != before && current > 0) {
            const QModelIndexList selected = h.grid().selectionModel()->selectedIndexes();
            QCOMPARE(selected.size(), 3); // the moved period stays selected across its row
            for (const QModelIndex& index : selected)
                QCOMPARE(index.row(), current - 1);
        }
        QCOMPARE(h.reports(), QString());
    }

    void entryFields()
    {
        Settings h;
        // A legend of 15 characters at most, and none with a tab or a line break pasted into it.
        QLineEdit* box = h.ui().txtPERIODLEGEND;
        QTest::keyClicks(box, QStringLiteral("1234567890ABCDEFG"));
        QCOMPARE(box->text(), QStringLiteral("1234567890ABCDE"));
        for (const auto& [pasted, kept] : {std::pair{"Extra Time", "Extra Time"}, std::pair{"Home\tAway", ""},
                                           std::pair{"Half\nTime", ""}, std::pair{"Half\rTime", ""}}) {
            box->clear();
            QApplication::clipboard()->setText(QString::fromLatin1(pasted));
            QTest::keySequence(box, QKeySequence::Paste);
            QCOMPARE(box->text(), QString::fromLatin1(kept));
        }
        // "Ask me" shows 00:00 and locks the bars; unticked, their time is back.
        keyTo(h.ui().vsTIMEMIN, 5);
        keyTo(h.ui().vsTIMESEC, 30);
        for (const bool ticked : {true, false}) {
            click(h.ui().chkASKME);
            QCOMPARE(h.ui().txtPERIODTIME->text(), ticked ? QStringLiteral("00:00") : QStringLiteral("05:30"));
            QCOMPARE(h.ui().vsTIMEMIN->isEnabled() || h.ui().vsTIMESEC->isEnabled(), !ticked);
        }
        QTRY_COMPARE_WITH_TIMEOUT(h.ui().lblPASS->text(), QStringLiteral("00:01"), 3000); // the preview's own timers
    }

    void scrollBars_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("onMinutes"); // the bar moved a step down, else the seconds'
        QTest::addColumn<QString>("time");
        QTest::newRow("12:59 carries to 13:00") << "12:59" << false << "13:00";
        QTest::newRow("no carry past 60 minutes") << "60:59" << false << "60:00";
        QTest::newRow("61:59 stays") << "61:59" << false << "61:59";
        QTest::newRow("minutes stop at 99, seconds kept") << "99:30" << true << "99:30";
    }
    void scrollBars()
    {
        QFETCH(QString, start);
        QFETCH(bool, onMinutes);
        QFETCH(QString, time);
        Settings h;
        keyTo(h.ui().vsTIMESEC, start.mid(3).toInt()); // seconds first: the minutes alone never alter them
        keyTo(h.ui().vsTIMEMIN, start.left(2).toInt());
        QTest::keyClick(onMinutes ? h.ui().vsTIMEMIN : h.ui().vsTIMESEC, Qt::Key_Down);
        QCOMPARE(h.ui().txtPERIODTIME->text(), time);
        QCOMPARE(QStringLiteral("%1:%2").arg(h.ui().vsTIMEMIN->value()).arg(h.ui().vsTIMESEC->value()),
                 QStringLiteral("%1:%2").arg(time.left(2).toInt()).arg(time.mid(3).toInt()));
    }

    void preview()
    {
        Settings h;
        QVERIFY(!h.ui().optPASS->font().bold());
        QString bold; // which option is bold after each tick: P, L or -
        const auto tick = [&] {
            h.frm->tmrPASSdemo_Timer();
            h.frm->tmrLEFTdemo_Timer();
            bold += h.ui().optPASS->font().bold() ? 'P' : h.ui().optLEFT->font().bold() ? 'L' : '-';
            return h.ui().lblPASS->text() + ' ' + h.ui().lblLEFT->text();
        };
        QStringList shown{QString()}; // the two clocks after n ticks
        while (shown.size() <= 160)
            shown.append(tick());
        QCOMPARE((QStringList{shown[1], shown[79], shown[80], shown[81], shown[160]}),
                 (QStringList{"00:01 01:19", "01:19 00:01", "00:01 01:20", "00:02 01:19", "00:02 01:20"}));
        click(h.ui().optLEFT);
        QVERIFY(!h.ui().optPASS->font().bold() && !h.ui().optLEFT->font().bold());
        tick();
        tick();
        QCOMPARE(bold.left(4) + bold.right(4), QStringLiteral("P-P-P-L-"));
    }

    void saveThenLoad_data()
    {
        QTest::addColumn<QByteArray>("loaded"); // the table filled from this file; empty: entered
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("entered") << QByteArray() << QByteArray("TimePass\r\n1st Half\r\n20:00\r\n2nd Half\r\nAsk me\r\n");
        QTest::newRow("Windows-1252 and LF in, UTF-8 and CR LF out")
            << QByteArray("TimeLeft\nP\xE9riode \x80\x93\x96\n10:00\n")
            << QByteArray("TimeLeft\r\nP\xC3\xA9riode \xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x93\r\n10:00\r\n");
    }
    void saveThenLoad()
    {
        QFETCH(QByteArray, loaded);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.ptm"));
        Settings saver;
        click(saver.ui().cmdSAVE); // nothing to save: no dialog
        QCOMPARE(saver.dialogs.fileDialogs, QStringList());
        if (loaded.isEmpty()) {
            saver.add(QStringLiteral("1st Half"), 20, 0);
            saver.add(QStringLiteral("2nd Half"), 20, 0, true);
        } else {
            saver.dialogs.openNames.push_back(writeFile(dir.filePath(QStringLiteral("in.ptm")), loaded));
            click(saver.ui().cmdLOAD);
            saver.dialogs.fileDialogs.removeFirst();
            saver.frm->SET_CHANGED = model::kTrue;
        }
        click(saver.ui().cmdSAVE); // cancelled
        QCOMPARE(saver.frm->SET_CHANGED, model::kTrue);
        saver.dialogs.saveNames.push_back(path);
        click(saver.ui().cmdSAVE);
        QCOMPARE(saver.dialogs.fileDialogs, QStringList(2, QStringLiteral("Save Period Set") + kFilter));
        QCOMPARE(saver.frm->SET_CHANGED, model::kFalse);
        QCOMPARE(test::readFile(path), saved);

        Settings loader;
        click(loader.ui().optLEFT);
        loader.dialogs.openNames.push_back(path);
        click(loader.ui().cmdLOAD);
        QCOMPARE(loader.dialogs.fileDialogs, QStringList{QStringLiteral("Load Period Set") + kFilter});
        QCOMPARE(loader.table(), saver.table());
        QCOMPARE(loader.ui().optPASS->isChecked(), saver.ui().optPASS->isChecked());
        QCOMPARE(saver.reports() + loader.reports(), QString());
    }

    void loadAsksAndKeepsTheTable_data()
    {
        QTest::addColumn<QString>("before"); // the answer to the question, or how the table stands
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("asked"); // and so the table kept, else replaced
        QTest::newRow("No keeps everything") << "No" << "set.ptm" << true;
        QTest::newRow("Yes then cancel keeps the table") << "Yes" << "" << true;
        QTest::newRow("Yes then a missing file keeps the table") << "Yes" << "gone.ptm" << true;
        QTest::newRow("unedited asks nothing") << "saved" << "set.ptm" << false;
        QTest::newRow("edited but empty asks nothing") << "emptied" << "set.ptm" << false;
    }
    void loadAsksAndKeepsTheTable()
    {
        QFETCH(QString, before);
        QFETCH(QString, file);
        QFETCH(bool, asked);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("set.ptm")), "TimeLeft\r\nFrom file\r\n07:00\r\n");
        Settings h;
        h.add(QStringLiteral("Mine"), 5, 0);
        if (before == QLatin1String("emptied"))
            click(h.ui().cmdREMOVE);
        if (before == QLatin1String("saved"))
            h.frm->SET_CHANGED = model::kFalse;
        h.dialogs.yesNo.push_back(before == QLatin1String("No") ? Reply::No : Reply::Yes);
        h.dialogs.openNames.push_back(file.isEmpty() ? QString() : dir.filePath(file));
        click(h.ui().cmdLOAD);
        QCOMPARE(h.dialogs.questions, asked ? QStringList{"You lose the current set.\rContinue ?"} : QStringList{});
        QCOMPARE(h.dialogs.fileDialogs.size(), before == QLatin1String("No") ? 0 : 1);
        QCOMPARE(h.table(), asked ? QStringList{"Mine|05:00"} : QStringList{"From file|07:00"});
        QCOMPARE(h.frm->SET_CHANGED, asked ? model::kTrue : model::kFalse);
        QCOMPARE(h.ui().optLEFT->isChecked(), !asked);
        QCOMPARE(h.reports(),
                 file == QLatin1String("gone.ptm") ? "Error 53|File not found" + kAt + "cmdLOAD_Click" : "");
    }
};

QTEST_MAIN(TestFrmSet)
#include "tst_frmset.moc"
