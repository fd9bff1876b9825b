#include "SettingsHarness.h"

#include "model/Checked.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace korvo;
using korvo::tests::SettingsHarness;
using Reply = platform::Dialogs::Reply;

Q_DECLARE_METATYPE(QStyle::SubControl)

namespace {

const QString kFilterDialog = QStringLiteral("|Period Script (*.ptm);;All files (*.*)");

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

/// The first line of a report and its location line.
QString headOf(const QString& report)
{
    const QStringList lines = report.split(QStringLiteral("\r\n"));
    return lines.size() == 4 ? lines[0] + QLatin1Char('|') + lines[1] + QLatin1Char('|') + lines[2] : report;
}

/// Root may write anywhere; drop that right from this thread for as long as the object lives, so a
/// folder without write permission refuses us as it would refuse an operator.
class WithoutOverridingPermissions final
{
    Q_DISABLE_COPY_MOVE(WithoutOverridingPermissions)
public:
    WithoutOverridingPermissions()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER));
        m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutOverridingPermissions()
    {
        if (m_dropped)
            syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace

class TestFrmSet final : public QObject
{
    Q_OBJECT
private slots:
    // Loading and leaving the window.
    void loadStartsEmptyAndProposesTheNetwork();
    void loadReportsALocalAddressItCannotUse_data();
    void loadReportsALocalAddressItCannotUse();
    void okRefusesAnEmptyTable();
    void okRefusesAnUntouchedAddress();
    void okAppliesTheSet();
    void okReadsTheAddressAsTyped_data();
    void okReadsTheAddressAsTyped();
    void closingAppliesNothing_data();
    void closingAppliesNothing();
    void endEndsTheProgram();
    void showModalReturnsOnEveryWayOut_data();
    void showModalReturnsOnEveryWayOut();

    // The period table.
    void addPeriod_data();
    void addPeriod();
    void addMakesTheNewRowCurrent();
    void gridShape();
    void legendBoxRefuses_data();
    void legendBoxRefuses();
    void upMovesTheCurrentPeriod();
    void downMovesTheCurrentPeriod();
    void refusedMovesChangeNothing();
    void removeDeletesTheCurrentPeriod();
    void removeOnEmptyTableKeepsSetChanged();
    void secondsCarry_data();
    void secondsCarry();
    void minutesStopAtTwoDigits();
    void askMeBox();

    // The preview.
    void previewAfterTicks_data();
    void previewAfterTicks();
    void selectedDirectionBlinks();
    void previewRunsOnItsOwnTimers();

    // Period-set files.
    void saveWritesTheExactBytes();
    void saveWithEmptyTableShowsNoDialog();
    void saveThenLoadGivesTheSameSet();
    void loadAsksBeforeReplacingAnEditedSet_data();
    void loadAsksBeforeReplacingAnEditedSet();
    void loadFile_data();
    void loadFile();
    void loadOfAFileThatCannotBeReadKeepsTheTable();
    void saveIntoAFolderThatCannotBeWrittenKeepsTheOldFile();
};

// ---- Loading and leaving the window -----------------------------------------------------------------

void TestFrmSet::loadStartsEmptyAndProposesTheNetwork()
{
    SettingsHarness h(QStringLiteral("10.0.0.7"));
    h.model.applySet({{QStringLiteral("old"), model::kFalse, 5, 0}}, model::COUNT_DOWN, QStringLiteral("1.2.3.255"));
    h.load();

    QCOMPARE(h.grid().rows(), 1);
    QCOMPARE(h.ui().txtIP->displayText(), QStringLiteral("010.000.000"));
    QCOMPARE(h.socket.localIpReads, 1);
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
    QVERIFY(h.ui().tmrPASSdemo->isActive());
    QVERIFY(h.ui().tmrLEFTdemo->isActive());
    QCOMPARE(h.ui().lblPASS->text(), QStringLiteral("00:00"));
    QCOMPARE(h.ui().lblLEFT->text(), QStringLiteral("01:20"));
    QVERIFY(h.ui().optPASS->isChecked());
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::loadReportsALocalAddressItCannotUse_data()
{
    QTest::addColumn<QString>("localIp");
    QTest::addColumn<QString>("report");
    QTest::newRow("fewer than three fields")
        << "localhost" << "Error 9|Subscript out of range|Location: KorvoTimer.frmSet.Form_Load";
    QTest::newRow("field too long for the box")
        << "1000.0.0.1" << "Error 380|Invalid property value|Location: KorvoTimer.frmSet.Form_Load";
}

void TestFrmSet::loadReportsALocalAddressItCannotUse()
{
    QFETCH(QString, localIp);
    QFETCH(QString, report);
    SettingsHarness h(localIp);
    h.load();
    QCOMPARE(h.trap.reporter.texts.size(), 1);
    QCOMPARE(headOf(h.trap.reporter.texts.front()), report);
    // Ignore skips only the failing step: the rest of the load still runs.
    QCOMPARE(h.frm->ipText(), QStringLiteral("___.___.___"));
    QVERIFY(h.ui().tmrPASSdemo->isActive());
    QCOMPARE(h.frm->DEMO_DOWN_SEC, std::int16_t{20});
}

void TestFrmSet::okRefusesAnEmptyTable()
{
    SettingsHarness h;
    h.load();
    h.click(h.ui().cmdOK);
    QVERIFY(h.frm->isVisible());
    QVERIFY(!h.model.PERIODS);
    QCOMPARE(h.model.BROADCAST_IP, QString());
    QVERIFY(h.ui().tmrPASSdemo->isActive());
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::okRefusesAnUntouchedAddress()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("1st Half"), 20, 0);
    h.ui().txtIP->clear();
    QCOMPARE(h.frm->ipText(), QStringLiteral("___.___.___"));
    h.click(h.ui().cmdOK);
    QVERIFY(h.frm->isVisible());
    QVERIFY(!h.model.PERIODS);
    QCOMPARE(h.model.PERIOD_COUNT, std::int16_t{0});
}

void TestFrmSet::okAppliesTheSet()
{
    SettingsHarness h(QStringLiteral("10.0.0.7"));
    h.load();
    h.addPeriod(QStringLiteral("1st Period"), 12, 30);
    h.addAskMe(QStringLiteral("Overtime?"));
    h.addPeriod(QStringLiteral("3rd Period"), 9, 5);
    h.click(h.ui().optLEFT);
    h.click(h.ui().cmdOK);

    QVERIFY(!h.frm->isVisible());
    QCOMPARE(h.frm->result(), int(QDialog::Accepted));
    QCOMPARE(h.model.PERIOD_COUNT, std::int16_t{3});
    QCOMPARE(h.model.CUR_PERIOD, std::int16_t{1});
    QCOMPARE(h.model.TIME_MODE, model::COUNT_DOWN);
    QCOMPARE(h.model.BROADCAST_IP, QStringLiteral("10.0.0.255"));
    QVERIFY(h.model.PERIODS);
    const std::vector<model::PERIOD_REC> expected{
        {},
        {QStringLiteral("1st Period"), model::kFalse, 12, 30},
        {QStringLiteral("Overtime?"), model::kTrue, -1, -1},
        {QStringLiteral("3rd Period"), model::kFalse, 9, 5},
    };
    QVERIFY(*h.model.PERIODS == expected);
    // Unloading stops the preview.
    QVERIFY(!h.ui().tmrPASSdemo->isActive());
    QVERIFY(!h.ui().tmrLEFTdemo->isActive());
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::okReadsTheAddressAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("address");
    QTest::newRow("all places") << "192168001" << "192.168.001" << "192.168.1.255";
    QTest::newRow("one digit") << "1" << "1__.___.___" << "1.0.0.255";
    QTest::newRow("letters refused") << "1a2b" << "12_.___.___" << "12.0.0.255";
    QTest::newRow("above 255 kept") << "999999999" << "999.999.999" << "999.999.999.255";
}

void TestFrmSet::okReadsTheAddressAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, box);
    QFETCH(QString, address);
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("Half"), 1, 0);
    QLineEdit* ip = h.ui().txtIP;
    ip->clear();
    ip->setFocus();
    ip->setCursorPosition(0);
    QTest::keyClicks(ip, typed);
    QCOMPARE(h.frm->ipText(), box);
    h.click(h.ui().cmdOK);
    QCOMPARE(h.model.BROADCAST_IP, address);
    QCOMPARE(h.model.TIME_MODE, model::COUNT_UP);
}

void TestFrmSet::closingAppliesNothing_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close box") << false;
    QTest::newRow("Esc") << true;
}

void TestFrmSet::closingAppliesNothing()
{
    QFETCH(bool, escape);
    SettingsHarness h;
    h.model.applySet({{QStringLiteral("old"), model::kFalse, 5, 0}}, model::COUNT_DOWN, QStringLiteral("1.2.3.255"));
    const std::vector<model::PERIOD_REC> before = *h.model.PERIODS;
    h.load();
    h.addPeriod(QStringLiteral("new"), 10, 0);
    h.click(h.ui().optPASS);
    if (escape)
        QTest::keyClick(h.frm.get(), Qt::Key_Escape);
    else
        QVERIFY(h.frm->close());

    QVERIFY(!h.frm->isVisible());
    QCOMPARE(h.frm->result(), int(QDialog::Rejected));
    QVERIFY(*h.model.PERIODS == before);
    QCOMPARE(h.model.TIME_MODE, model::COUNT_DOWN);
    QCOMPARE(h.model.BROADCAST_IP, QStringLiteral("1.2.3.255"));
    QVERIFY(!h.ui().tmrPASSdemo->isActive());
    QVERIFY(!h.ui().tmrLEFTdemo->isActive());
}

void TestFrmSet::endEndsTheProgram()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("Half"), 20, 0);
    h.click(h.ui().cmdCANCEL);
    QCOMPARE(h.trap.end.count, 1);
    QVERIFY(h.trap.trap.ended());
    QVERIFY(!h.frm->isVisible());
    QVERIFY(!h.model.PERIODS);
    // The program ends without any unload procedure: nothing stopped the preview.
    QVERIFY(h.ui().tmrPASSdemo->isActive());
}

void TestFrmSet::showModalReturnsOnEveryWayOut_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("ends");
    QTest::addColumn<bool>("applied");
    QTest::newRow("Ok") << "ok" << 0 << true;
    QTest::newRow("End") << "end" << 1 << false;
    QTest::newRow("Esc") << "esc" << 0 << false;
}

void TestFrmSet::showModalReturnsOnEveryWayOut()
{
    QFETCH(QString, way);
    QFETCH(int, ends);
    QFETCH(bool, applied);
    SettingsHarness h;
    bool ran = false;
    QTimer::singleShot(0, h.frm.get(), [&] {
        ran = true;
        QVERIFY(h.frm->isModal());
        h.addPeriod(QStringLiteral("Half"), 20, 0);
        if (way == QLatin1String("ok"))
            h.click(h.ui().cmdOK);
        else if (way == QLatin1String("end"))
            h.click(h.ui().cmdCANCEL);
        else
            QTest::keyClick(h.frm.get(), Qt::Key_Escape);
    });
    h.frm->showModal();
    QVERIFY(ran);
    QVERIFY(!h.frm->isVisible());
    QCOMPARE(h.trap.end.count, ends);
    QCOMPARE(h.model.PERIODS.has_value(), applied);
}

// ---- The period table -------------------------------------------------------------------------------

void TestFrmSet::addPeriod_data()
{
    QTest::addColumn<QString>("legend");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("askMe");
    QTest::addColumn<QStringList>("table");
    QTest::newRow("empty legend refused") << "" << 10 << 0 << false << QStringList{};
    QTest::newRow("zero time refused") << "Half" << 0 << 0 << false << QStringList{};
    QTest::newRow("zero time with ask me") << "Half" << 0 << 0 << true << QStringList{"Half|Ask me"};
    QTest::newRow("ask me wins over a time") << "Half" << 3 << 0 << true << QStringList{"Half|Ask me"};
    QTest::newRow("time") << "1st Quarter" << 10 << 0 << false << QStringList{"1st Quarter|10:00"};
    QTest::newRow("seconds only") << "Shootout" << 0 << 45 << false << QStringList{"Shootout|00:45"};
}

void TestFrmSet::addPeriod()
{
    QFETCH(QString, legend);
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(bool, askMe);
    QFETCH(QStringList, table);
    SettingsHarness h;
    h.load();
    h.typeLegend(legend);
    h.keyTo(h.ui().vsTIMEMIN, minutes);
    h.keyTo(h.ui().vsTIMESEC, seconds);
    if (askMe)
        h.click(h.ui().chkASKME);
    h.click(h.ui().cmdADD);
    QCOMPARE(h.table(), table);
    QCOMPARE(h.frm->SET_CHANGED, table.isEmpty() ? model::kFalse : model::kTrue);
}

void TestFrmSet::addMakesTheNewRowCurrent()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("1st Quarter"), 10, 0);
    h.clickRow(1);
    // The entry fields keep their values, so the next period needs only a new legend.
    h.typeLegend(QStringLiteral("2nd Quarter"));
    h.click(h.ui().cmdADD);
    QCOMPARE(h.table(), (QStringList{"1st Quarter|10:00", "2nd Quarter|10:00"}));
    QCOMPARE(h.grid().row(), 2);
    QCOMPARE(h.ui().txtPERIODTIME->text(), QStringLiteral("10:00"));
}

void TestFrmSet::gridShape()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("Half"), 20, 0);
    ui::PeriodGrid& g = h.grid();
    QCOMPARE(g.cols(), 3);
    QCOMPARE(g.textMatrix(0, 0), QString());
    QCOMPARE(g.textMatrix(0, 1), QStringLiteral("Period Descr"));
    QCOMPARE(g.textMatrix(0, 2), QStringLiteral("Time"));
    QCOMPARE(g.textMatrix(1, 0), QString());
    QVERIFY(g.isColumnHidden(0));
    QVERIFY(!g.verticalHeader()->isVisible());
    QVERIFY(g.horizontalHeader()->isVisible());
    QCOMPARE(g.columnWidth(1), 130);
    QCOMPARE(g.columnWidth(2), 47);
    QCOMPARE(g.item(0, 1)->textAlignment(), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(g.item(0, 2)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
}

void TestFrmSet::legendBoxRefuses_data()
{
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    QTest::newRow("typed beyond 15 characters") << false << "1234567890ABCDEFG" << "1234567890ABCDE";
    QTest::newRow("pasted tab") << true << "Home\tAway" << "";
    QTest::newRow("pasted line break") << true << "Half\nTime" << "";
    QTest::newRow("pasted carriage return") << true << "Half\rTime" << "";
    QTest::newRow("pasted plain text") << true << "Extra Time" << "Extra Time";
}

void TestFrmSet::legendBoxRefuses()
{
    QFETCH(bool, paste);
    QFETCH(QString, text);
    QFETCH(QString, kept);
    SettingsHarness h;
    h.load();
    QLineEdit* box = h.ui().txtPERIODLEGEND;
    box->setFocus();
    if (paste) {
        QApplication::clipboard()->setText(text);
        QTest::keySequence(box, QKeySequence::Paste);
    } else {
        QTest::keyClicks(box, text);
    }
    QCOMPARE(box->text(), kept);
}

void TestFrmSet::upMovesTheCurrentPeriod()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("A"), 1, 0);
    h.addPeriod(QStringLiteral("B"), 2, 0);
    h.addPeriod(QStringLiteral("C"), 3, 0);
    h.frm->SET_CHANGED = model::kFalse;
    h.clickRow(3);
    h.click(h.ui().cmdUP);

    QCOMPARE(h.table(), (QStringList{"A|01:00", "C|03:00", "B|02:00"}));
    QCOMPARE(h.grid().row(), 2);
    QItemSelectionModel* selection = h.grid().selectionModel();
    for (int c = 0; c < 3; ++c)
        QVERIFY2(selection->isSelected(h.grid().model()->index(1, c)), "the moved period is selected across its row");
    QCOMPARE(selection->selectedIndexes().size(), 3);
    QCOMPARE(h.frm->SET_CHANGED, model::kTrue);
}

void TestFrmSet::downMovesTheCurrentPeriod()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("A"), 1, 0);
    h.addPeriod(QStringLiteral("B"), 2, 0);
    h.addAskMe(QStringLiteral("C"));
    h.clickRow(1);
    h.click(h.ui().cmdDOWN);
    QCOMPARE(h.table(), (QStringList{"B|02:00", "A|01:00", "C|Ask me"}));
    QCOMPARE(h.grid().row(), 2);
    h.click(h.ui().cmdDOWN);
    QCOMPARE(h.table(), (QStringList{"B|02:00", "C|Ask me", "A|01:00"}));
    QCOMPARE(h.grid().row(), 3);
    QItemSelectionModel* selection = h.grid().selectionModel();
    QVERIFY(selection->isSelected(h.grid().model()->index(2, 1)));
    QVERIFY(selection->isSelected(h.grid().model()->index(2, 2)));
}

void TestFrmSet::refusedMovesChangeNothing()
{
    SettingsHarness h;
    h.load();
    h.click(h.ui().cmdUP);
    h.click(h.ui().cmdDOWN);
    QCOMPARE(h.grid().rows(), 1);
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);

    h.addPeriod(QStringLiteral("A"), 1, 0);
    h.addPeriod(QStringLiteral("B"), 2, 0);
    h.frm->SET_CHANGED = model::kFalse;
    h.clickRow(1);
    h.click(h.ui().cmdUP);
    h.clickRow(2);
    h.click(h.ui().cmdDOWN);
    QCOMPARE(h.table(), (QStringList{"A|01:00", "B|02:00"}));
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::removeDeletesTheCurrentPeriod()
{
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("A"), 1, 0);
    h.addPeriod(QStringLiteral("B"), 2, 0);
    h.addPeriod(QStringLiteral("C"), 3, 0);
    h.clickRow(2);
    h.click(h.ui().cmdREMOVE);
    QCOMPARE(h.table(), (QStringList{"A|01:00", "C|03:00"}));
    h.clickRow(1);
    h.click(h.ui().cmdREMOVE);
    QCOMPARE(h.table(), QStringList{"C|03:00"});
    h.frm->SET_CHANGED = model::kFalse;
    h.click(h.ui().cmdREMOVE);
    QCOMPARE(h.grid().rows(), 1);
    QCOMPARE(h.grid().textMatrix(0, 1), QStringLiteral("Period Descr"));
    QCOMPARE(h.frm->SET_CHANGED, model::kTrue);
}

void TestFrmSet::removeOnEmptyTableKeepsSetChanged()
{
    SettingsHarness h;
    h.load();
    h.click(h.ui().cmdREMOVE);
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
    QCOMPARE(h.grid().rows(), 1);
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::secondsCarry_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QStyle::SubControl>("arrow");
    QTest::addColumn<int>("minutesAfter");
    QTest::addColumn<int>("secondsAfter");
    QTest::addColumn<QString>("time");
    QTest::newRow("12:59 up to 13:00") << 12 << 59 << QStyle::SC_ScrollBarAddLine << 13 << 0 << "13:00";
    QTest::newRow("59:59 up to 60:00") << 59 << 59 << QStyle::SC_ScrollBarAddLine << 60 << 0 << "60:00";
    QTest::newRow("61:59 stays") << 61 << 59 << QStyle::SC_ScrollBarAddLine << 61 << 59 << "61:59";
    QTest::newRow("no borrow at 0 seconds") << 5 << 0 << QStyle::SC_ScrollBarSubLine << 5 << 0 << "05:00";
    QTest::newRow("plain step down") << 5 << 30 << QStyle::SC_ScrollBarSubLine << 5 << 29 << "05:29";
    QTest::newRow("seconds held at 0 at 60 minutes") << 60 << 0 << QStyle::SC_ScrollBarAddLine << 60 << 0 << "60:00";
}

void TestFrmSet::secondsCarry()
{
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(QStyle::SubControl, arrow);
    QFETCH(int, minutesAfter);
    QFETCH(int, secondsAfter);
    QFETCH(QString, time);
    SettingsHarness h;
    h.load();
    h.keyTo(h.ui().vsTIMEMIN, minutes);
    h.keyTo(h.ui().vsTIMESEC, seconds);
    h.clickArrow(h.ui().vsTIMESEC, arrow);
    QCOMPARE(h.ui().vsTIMEMIN->value(), minutesAfter);
    QCOMPARE(h.ui().vsTIMESEC->value(), secondsAfter);
    QCOMPARE(h.ui().txtPERIODTIME->text(), time);
}

void TestFrmSet::minutesStopAtTwoDigits()
{
    SettingsHarness h;
    h.load();
    h.keyTo(h.ui().vsTIMESEC, 30);
    h.ui().vsTIMEMIN->setFocus();
    QTest::keyClick(h.ui().vsTIMEMIN, Qt::Key_End);
    QCOMPARE(h.ui().vsTIMEMIN->value(), 99);
    // A change of the minutes alone keeps the seconds.
    QCOMPARE(h.ui().txtPERIODTIME->text(), QStringLiteral("99:30"));
    h.clickArrow(h.ui().vsTIMEMIN, QStyle::SC_ScrollBarAddLine);
    QCOMPARE(h.ui().vsTIMEMIN->value(), 99);
}

void TestFrmSet::askMeBox()
{
    SettingsHarness h;
    h.load();
    h.keyTo(h.ui().vsTIMEMIN, 5);
    h.keyTo(h.ui().vsTIMESEC, 30);
    h.click(h.ui().chkASKME);
    QCOMPARE(h.ui().txtPERIODTIME->text(), QStringLiteral("00:00"));
    QVERIFY(!h.ui().vsTIMEMIN->isEnabled());
    QVERIFY(!h.ui().vsTIMESEC->isEnabled());
    QCOMPARE(h.ui().vsTIMEMIN->value(), 5);
    QCOMPARE(h.ui().vsTIMESEC->value(), 30);
    h.click(h.ui().chkASKME);
    QCOMPARE(h.ui().txtPERIODTIME->text(), QStringLiteral("05:30"));
    QVERIFY(h.ui().vsTIMEMIN->isEnabled());
    QVERIFY(h.ui().vsTIMESEC->isEnabled());
}

// ---- The preview ------------------------------------------------------------------------------------

void TestFrmSet::previewAfterTicks_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("up");
    QTest::addColumn<QString>("down");
    QTest::newRow("none") << 0 << "00:00" << "01:20";
    QTest::newRow("1") << 1 << "00:01" << "01:19";
    QTest::newRow("20") << 20 << "00:20" << "01:00";
    QTest::newRow("60") << 60 << "01:00" << "00:20";
    QTest::newRow("79") << 79 << "01:19" << "00:01";
    QTest::newRow("80") << 80 << "00:01" << "01:20";
    QTest::newRow("81") << 81 << "00:02" << "01:19";
    QTest::newRow("158: second upward cycle ends") << 158 << "01:19" << "00:02";
    QTest::newRow("160: second downward cycle ends") << 160 << "00:02" << "01:20";
}

void TestFrmSet::previewAfterTicks()
{
    QFETCH(int, ticks);
    QFETCH(QString, up);
    QFETCH(QString, down);
    SettingsHarness h;
    h.load();
    for (int i = 0; i < ticks; ++i) {
        h.frm->tmrPASSdemo_Timer();
        h.frm->tmrLEFTdemo_Timer();
    }
    QCOMPARE(h.ui().lblPASS->text(), up);
    QCOMPARE(h.ui().lblLEFT->text(), down);
}

void TestFrmSet::selectedDirectionBlinks()
{
    SettingsHarness h;
    h.load();
    QRadioButton* pass = h.ui().optPASS;
    QRadioButton* left = h.ui().optLEFT;
    QVERIFY(!pass->font().bold());
    h.frm->tmrPASSdemo_Timer();
    h.frm->tmrLEFTdemo_Timer();
    QVERIFY(pass->font().bold());
    QVERIFY(!left->font().bold());
    h.frm->tmrPASSdemo_Timer();
    h.frm->tmrLEFTdemo_Timer();
    QVERIFY(!pass->font().bold());
    h.frm->tmrPASSdemo_Timer();
    QVERIFY(pass->font().bold());

    h.click(left);
    QVERIFY(!pass->font().bold());
    QVERIFY(!left->font().bold());
    h.frm->tmrPASSdemo_Timer();
    QVERIFY(!pass->font().bold());
    h.frm->tmrLEFTdemo_Timer();
    QVERIFY(left->font().bold());
    h.frm->tmrLEFTdemo_Timer();
    QVERIFY(!left->font().bold());
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::previewRunsOnItsOwnTimers()
{
    SettingsHarness h;
    QCOMPARE(h.ui().tmrPASSdemo->interval(), 999);
    QCOMPARE(h.ui().tmrLEFTdemo->interval(), 999);
    QVERIFY(!h.ui().tmrPASSdemo->isActive());
    h.load();
    QTRY_COMPARE_WITH_TIMEOUT(h.ui().lblPASS->text(), QStringLiteral("00:01"), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(h.ui().lblLEFT->text(), QStringLiteral("01:19"), 3000);
}

// ---- Period-set files -------------------------------------------------------------------------------

void TestFrmSet::saveWritesTheExactBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("halves.ptm"));
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("1st Half"), 20, 0);
    h.typeLegend(QStringLiteral("2nd Half"));
    h.click(h.ui().cmdADD);
    h.dialogs.saveNames.push_back(path);
    h.click(h.ui().cmdSAVE);

    QFile golden(QStringLiteral(KORVO_TEST_DATA_DIR "/two-halves.ptm"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    QCOMPARE(readFile(path), golden.readAll());
    QCOMPARE(h.dialogs.fileDialogs, QStringList{QStringLiteral("Save Period Set") + kFilterDialog});
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("halves.ptm")});
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::saveWithEmptyTableShowsNoDialog()
{
    SettingsHarness h;
    h.load();
    h.click(h.ui().cmdSAVE);
    QVERIFY(h.dialogs.fileDialogs.isEmpty());

    // A cancelled dialog saves nothing and the table stays edited.
    h.addPeriod(QStringLiteral("Half"), 20, 0);
    h.click(h.ui().cmdSAVE);
    QCOMPARE(h.dialogs.fileDialogs.size(), 1);
    QCOMPARE(h.frm->SET_CHANGED, model::kTrue);
}

void TestFrmSet::saveThenLoadGivesTheSameSet()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("set.ptm"));
    QStringList table;
    {
        SettingsHarness h;
        h.load();
        h.addPeriod(QStringLiteral("Période 1"), 12, 30);
        h.addAskMe(QStringLiteral("Overtime"));
        h.addPeriod(QStringLiteral("Period 1"), 12, 30);
        h.click(h.ui().optLEFT);
        h.dialogs.saveNames.push_back(path);
        h.click(h.ui().cmdSAVE);
        table = h.table();
    }
    SettingsHarness h;
    h.load();
    h.dialogs.openNames.push_back(path);
    h.click(h.ui().cmdLOAD);
    QVERIFY(h.dialogs.questions.isEmpty());
    QCOMPARE(h.dialogs.fileDialogs, QStringList{QStringLiteral("Load Period Set") + kFilterDialog});
    QCOMPARE(h.table(), table);
    QVERIFY(h.ui().optLEFT->isChecked());
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
    QVERIFY(h.trap.reporter.texts.isEmpty());
}

void TestFrmSet::loadAsksBeforeReplacingAnEditedSet_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("emptyTable");
    QTest::addColumn<bool>("answerNo");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<short>("setChanged");
    const QStringList mine{"Mine|05:00"};
    const QStringList file{"From file|07:00"};
    QTest::newRow("No keeps everything") << true << false << true << true << true << mine << model::kTrue;
    QTest::newRow("Yes then cancel keeps the table") << true << false << false << false << true << mine << model::kTrue;
    QTest::newRow("Yes then a file replaces it") << true << false << false << true << true << file << model::kFalse;
    QTest::newRow("unedited asks nothing") << false << false << false << true << false << file << model::kFalse;
    QTest::newRow("edited but empty asks nothing") << true << true << false << true << false << file << model::kFalse;
}

void TestFrmSet::loadAsksBeforeReplacingAnEditedSet()
{
    QFETCH(bool, edited);
    QFETCH(bool, emptyTable);
    QFETCH(bool, answerNo);
    QFETCH(bool, chooseFile);
    QFETCH(bool, asked);
    QFETCH(QStringList, table);
    QFETCH(short, setChanged);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.ptm"));
    writeFile(path, "TimeLeft\r\nFrom file\r\n07:00\r\n");

    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("Mine"), 5, 0);
    if (emptyTable)
        h.click(h.ui().cmdREMOVE);
    if (!edited)
        h.frm->SET_CHANGED = model::kFalse;
    h.dialogs.yesNo.push_back(answerNo ? Reply::No : Reply::Yes);
    if (chooseFile)
        h.dialogs.openNames.push_back(path);
    h.click(h.ui().cmdLOAD);

    QCOMPARE(h.dialogs.questions.size(), asked ? 1 : 0);
    if (asked)
        QCOMPARE(h.dialogs.questions.front(), QStringLiteral("You lose the current set.\rContinue ?"));
    QCOMPARE(h.dialogs.fileDialogs.size(), answerNo ? 0 : 1);
    QCOMPARE(h.table(), table);
    QCOMPARE(h.frm->SET_CHANGED, setChanged);
    QCOMPARE(h.ui().optLEFT->isChecked(), table.front().startsWith(QLatin1String("From")));
}

void TestFrmSet::loadFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<bool>("countdown");
    QTest::addColumn<QString>("report");
    const QStringList halves{"1st Half|20:00", "2nd Half|20:00"};
    QTest::newRow("keyword only") << QByteArray("TimePass\r\n") << QStringList{} << false << "";
    QTest::newRow("unknown first line keeps the direction")
        << QByteArray("Handball\r\n1st Half\r\n20:00\r\n2nd Half\r\n20:00\r\n") << halves << true << "";
    QTest::newRow("odd line count")
        << QByteArray("TimePass\r\n1st Half\r\n20:00\r\n2nd Half\r\n20:00\r\nOvertime\r\n") << halves << false
        << "Error 62|Input past end of file|Location: KorvoTimer.frmSet.cmdLOAD_Click";
    QTest::newRow("trailing empty lines")
        << QByteArray("TimePass\r\n1st Half\r\n20:00\r\n2nd Half\r\n20:00\r\n\r\n\r\n") << halves << false << "";
    QTest::newRow("LF only") << QByteArray("TimePass\n1st Half\n20:00\n2nd Half\n20:00\n") << halves << false << "";
    QTest::newRow("CR only") << QByteArray("TimePass\r1st Half\r20:00\r2nd Half\r20:00\r") << halves << false << "";
    QTest::newRow("legend with a tab stays in its cell")
        << QByteArray("TimePass\r\nHome\tAway\r\n15:00\r\n") << QStringList{"Home\tAway|15:00"} << false << "";
    QTest::newRow("legend not in UTF-8") << QByteArray("TimePass\r\nP\xE9riode\r\n10:00\r\n")
                                         << QStringList{"Période|10:00"} << false << "";
}

void TestFrmSet::loadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, table);
    QFETCH(bool, countdown);
    QFETCH(QString, report);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("set.ptm"));
    writeFile(path, bytes);

    SettingsHarness h;
    h.load();
    h.click(h.ui().optLEFT);
    h.addPeriod(QStringLiteral("Old"), 1, 0);
    h.dialogs.yesNo.push_back(Reply::Yes);
    h.dialogs.openNames.push_back(path);
    h.click(h.ui().cmdLOAD);

    QCOMPARE(h.table(), table);
    QCOMPARE(h.ui().optLEFT->isChecked(), countdown);
    QCOMPARE(h.ui().optPASS->isChecked(), !countdown);
    QCOMPARE(h.trap.reporter.texts.size(), report.isEmpty() ? 0 : 1);
    if (!report.isEmpty())
        QCOMPARE(headOf(h.trap.reporter.texts.front()), report);
    QCOMPARE(h.frm->SET_CHANGED, model::kFalse);
    for (int r = 1; r < h.grid().rows(); ++r)
        QCOMPARE(h.grid().textMatrix(r, 0), QString());
}

void TestFrmSet::loadOfAFileThatCannotBeReadKeepsTheTable()
{
    QTemporaryDir dir;
    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("Mine"), 5, 0);
    h.click(h.ui().optLEFT);
    h.dialogs.yesNo.push_back(Reply::Yes);
    h.dialogs.openNames.push_back(dir.filePath(QStringLiteral("gone.ptm")));
    h.click(h.ui().cmdLOAD);

    QCOMPARE(h.trap.reporter.texts.size(), 1);
    QCOMPARE(headOf(h.trap.reporter.texts.front()),
             QStringLiteral("Error 53|File not found|Location: KorvoTimer.frmSet.cmdLOAD_Click"));
    QCOMPARE(h.table(), QStringList{"Mine|05:00"});
    QVERIFY(h.ui().optLEFT->isChecked());
    QCOMPARE(h.frm->SET_CHANGED, model::kTrue);
}

void TestFrmSet::saveIntoAFolderThatCannotBeWrittenKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("set.ptm"));
    const QByteArray old("TimeLeft\r\nOld\r\n01:00\r\n");
    writeFile(path, old);
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    SettingsHarness h;
    h.load();
    h.addPeriod(QStringLiteral("New"), 2, 0);
    h.dialogs.saveNames.push_back(path);
    {
        const WithoutOverridingPermissions asAnOperator;
        QFile probe(dir.filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("this user can write into a folder without write permission");
        }
        h.click(h.ui().cmdSAVE);
    }
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QVERIFY(!h.trap.reporter.texts.isEmpty());
    QCOMPARE(headOf(h.trap.reporter.texts.front()),
             QStringLiteral("Error 75|Path/File access error|Location: KorvoTimer.frmSet.cmdSAVE_Click"));
    QCOMPARE(readFile(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("set.ptm")});
}

QTEST_MAIN(TestFrmSet)
#include "tst_frmset.moc"
