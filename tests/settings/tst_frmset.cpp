// The settings window on real widgets, driven as the operator drives it; period-set files are real files in
// temporary folders, the file dialogs and the error reports scripted. What every odd or bad file reads as,
// and hostile places to load from or save to: tst_faults.

#include "support/Files.h"
#include "support/SettingsRig.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace korvo;
using Reply = platform::Dialogs::Reply;
using test::click;
using test::keyTo;
using test::Settings;

namespace {

const QString kFilter = QStringLiteral("|Period Script (*.ptm);;All files (*.*)");

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
        QTest::newRow("a field over 255 refused, and said") << half << false << "192168300" << "";
    }
    void ok()
    {
        QFETCH(QStringList, periods);
        QFETCH(bool, countdown);
        QFETCH(QString, typed);
        QFETCH(QString, applied);
        Settings h;
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
        QTest::newRow("remove the first of several")
            << 3 << 1 << "cmdREMOVE" << QStringList{"B|00:30", "C|Ask me"} << 0;
        QTest::newRow("remove the only row") << 1 << 1 << "cmdREMOVE" << QStringList{} << 0;
        QTest::newRow("remove on an empty table refused") << 0 << 0 << "cmdREMOVE" << QStringList{} << 0;
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
        // The design texts show whole: the widest caption, an address from its first digit, "Ask me" in its cell.
        const QLabel* widest = h.ui().Label2;
        QVERIFY(QFontMetrics(widest->font()).horizontalAdvance(widest->text()) <= widest->contentsRect().width());
        h.ui().txtIP->setText(QStringLiteral("192168000"));
        QCOMPARE(h.ui().txtIP->cursorPositionAt(QPoint(4, h.ui().txtIP->height() / 2)), 0);
        h.add(QStringLiteral("Overtime"), 0, 0, true);
        QCOMPARE(h.grid().textMatrix(1, 2), QStringLiteral("Ask me"));
        QVERIFY(QFontMetrics(h.grid().font()).horizontalAdvance(QString("Ask me")) + 6 <= h.grid().columnWidth(2));
    }

    void scrollBars_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("time"); // once the seconds' bar has moved a step down
        QTest::newRow("12:59 carries to 13:00") << "12:59" << "13:00";
        QTest::newRow("no carry past 60 minutes") << "60:59" << "60:00";
        QTest::newRow("61:59 stays") << "61:59" << "61:59";
    }
    void scrollBars()
    {
        QFETCH(QString, start);
        QFETCH(QString, time);
        Settings h;
        keyTo(h.ui().vsTIMESEC, start.mid(3).toInt()); // seconds first: the minutes alone never alter them
        keyTo(h.ui().vsTIMEMIN, start.left(2).toInt());
        QTest::keyClick(h.ui().vsTIMESEC, Qt::Key_Down);
        QCOMPARE(h.ui().txtPERIODTIME->text(), time);
    }

    /// The two preview clocks count up from 00:01 to 01:19 and down from 01:20 to 00:01, over and over, while
    /// the chosen direction blinks bold: P, L, or - for neither.
    void preview()
    {
        Settings h;
        const auto tick = [&h] {
            h.frm->tmrPASSdemo_Timer();
            h.frm->tmrLEFTdemo_Timer();
            const char bold = h.ui().optPASS->font().bold() ? 'P' : h.ui().optLEFT->font().bold() ? 'L' : '-';
            return h.ui().lblPASS->text() + ' ' + h.ui().lblLEFT->text() + ' ' + QLatin1Char(bold);
        };
        QStringList shown; // after each tick
        for (int n = 1; n <= 81; ++n)
            shown.append(tick());
        click(h.ui().optLEFT); // the other one blinks now, from plain
        shown.append(tick());
        shown.append(tick());
        QCOMPARE(shown.mid(78), (QStringList{"01:19 00:01 P", "00:01 01:20 -", "00:02 01:19 P", "00:03 01:18 L",
                                             "00:04 01:17 -"}));
    }

    /// A set entered and saved, then loaded into a window holding an edited set of its own.
    void saveThenLoad()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.ptm"));
        Settings saver;
        click(saver.ui().cmdSAVE); // nothing to save: no dialog
        saver.add(QStringLiteral("1st Half"), 20, 0, true);
        QApplication::clipboard()->setText(QStringLiteral("Période 2")); // QTest types only ASCII: paste it
        QTest::keySequence(saver.ui().txtPERIODLEGEND, QKeySequence::SelectAll);
        QTest::keySequence(saver.ui().txtPERIODLEGEND, QKeySequence::Paste);
        click(saver.ui().cmdADD); // the bars kept their 20:00
        click(saver.ui().cmdSAVE); // cancelled
        QCOMPARE(saver.frm->SET_CHANGED, model::kTrue);
        saver.dialogs.saveNames.push_back(path);
        click(saver.ui().cmdSAVE);
        QCOMPARE(saver.dialogs.fileDialogs, QStringList(2, QStringLiteral("Save Period Set") + kFilter));
        QCOMPARE(saver.frm->SET_CHANGED, model::kFalse);
        QCOMPARE(test::readFile(path), "TimePass\r\n1st Half\r\nAsk me\r\nP\xC3\xA9riode 2\r\n20:00\r\n");

        Settings loader;
        loader.add(QStringLiteral("Mine"), 5, 0);
        click(loader.ui().optLEFT);
        // No; Yes, then the file dialog cancelled; Yes and the file. Each time the edited set is to be lost,
        // and only then, the operator is asked.
        loader.dialogs.yesNo = {Reply::No, Reply::Yes, Reply::Yes};
        loader.dialogs.openNames = {QString(), path, path};
        click(loader.ui().cmdLOAD);
        click(loader.ui().cmdLOAD);
        QCOMPARE(loader.table(), QStringList{"Mine|05:00"});
        click(loader.ui().cmdLOAD);
        QCOMPARE(loader.table(), saver.table());
        QVERIFY(loader.ui().optPASS->isChecked());
        QCOMPARE(loader.frm->SET_CHANGED, model::kFalse);
        click(loader.ui().cmdLOAD); // unedited since: loaded again without a question
        QCOMPARE(loader.dialogs.questions, QStringList(3, QStringLiteral("You lose the current set.\rContinue ?")));
        QCOMPARE(loader.dialogs.fileDialogs, QStringList(3, QStringLiteral("Load Period Set") + kFilter));
        QCOMPARE(saver.reports() + loader.reports(), QString());
    }
};

QTEST_MAIN(TestFrmSet)
#include "tst_frmset.moc"
