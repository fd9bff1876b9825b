// 10,000 seeded random clicks and keys on both windows, the way a careless operator (or a cat on the
// keyboard) would give them: every dialog answered at random, ticks of a fake timer in between, errors
// answered Ignore or Retry. After every action the clock model must be within its invariants and every
// action must come back at once.

#include "FaultHarness.h"

#include "clock/FrmMain.h"
#include "errors/ErrorReporter.h"
#include "fakes/FakeErrors.h"
#include "fakes/FakeTimer.h"
#include "model/ClockModel.h"
#include "platform/Dialogs.h"
#include "settings/FrmSet.h"
#include "ui/MainWindowUi.h"
#include "ui/PeriodGrid.h"
#include "ui/SettingsWindowUi.h"
#include "ui/SymbolButton.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <random>

using namespace korvo;

namespace {

constexpr int kRounds = 4;
constexpr int kActionsPerRound = 2500; // x 4 = 10,000
constexpr int kSettingsActions = 700;  // at most, on the settings window; the rest on the main window
constexpr qint64 kSlowMs = 2000;

/// Answers every dialog at random from answers an operator might give.
class RandomDialogs final : public platform::Dialogs
{
public:
    RandomDialogs(std::mt19937& rng, QStringList openNames, QStringList saveNames)
        : m_rng(rng)
        , m_open(std::move(openNames))
        , m_save(std::move(saveNames))
    {
    }
    Reply askYesNo(const QString&) override { return pick(2) == 0 ? Reply::Yes : Reply::No; }
    QString inputBox(const QString&) override
    {
        static const QStringList answers{"0", "1", "5", "12", "59", "99", "100", "-1", "abc", "", " 7", "3.5", "65536"};
        return answers[pick(answers.size())];
    }
    QString openFileName(const QString&, const QString&) override { return m_open[pick(m_open.size())]; }
    QString saveFileName(const QString&, const QString&) override { return m_save[pick(m_save.size())]; }

private:
    qsizetype pick(qsizetype n) { return static_cast<qsizetype>(m_rng() % static_cast<std::size_t>(n)); }

    std::mt19937& m_rng;
    QStringList m_open;
    QStringList m_save;
};

/// Ignore, now and then Retry, never twice in a row (a step that keeps failing would be retried forever)
/// and never Abort: the program must go on.
class RandomReporter final : public errors::ErrorReporter
{
public:
    explicit RandomReporter(std::mt19937& rng)
        : m_rng(rng)
    {
    }
    errors::Answer report(const QString& text) override
    {
        ++count;
        last = text;
        m_retried = !m_retried && m_rng() % 4 == 0;
        return m_retried ? errors::Answer::Retry : errors::Answer::Ignore;
    }
    int count = 0;
    QString last;

private:
    std::mt19937& m_rng;
    bool m_retried = false;
};

/// One run of the program: settings window first, then the main window.
class Round
{
public:
    Round(std::uint32_t seed, const QTemporaryDir& dir)
        : m_seed(seed)
        , m_rng(seed)
        , m_reporter(m_rng)
        , m_trap(m_reporter, m_end)
        , m_dialogs(m_rng,
                    {dir.filePath("down.ptm"), dir.filePath("up.ptm"), dir.filePath("askme.ptm"),
                     dir.filePath("missing.ptm"), dir.filePath("saved.ptm"), QString()},
                    {dir.filePath("saved.ptm"), dir.filePath("no/such/folder/x.ptm"), QString()})
    {
    }

    /// Runs the round; returns a description of the first broken rule, or nothing.
    QString run()
    {
        clock::FrmMain frm({m_model, m_trap, m_timer, m_socket, m_dialogs});
        m_frm = &frm;
        frm.setSettingsWindow([this] { settingsSession(); });
        frm.setPopupMenu([this](QMenu& menu, const QPoint&) {
            const auto choice = m_rng() % 3;
            for (QAction* a : menu.actions()) {
                if ((choice == 0 && a->objectName() == QLatin1String("mnRESETYES"))
                    || (choice == 1 && a->objectName() == QLatin1String("mnRESETNO")))
                    a->trigger();
            }
        });
        frm.Form_Load();
        if (!m_failure.isEmpty() || m_trap.ended())
            return m_failure;
        frm.show();
        if (const QString broken = periodRule(); !broken.isEmpty())
            return fail(QStringLiteral("after start-up: ") + broken);

        while (m_actions < kActionsPerRound && m_failure.isEmpty() && !m_trap.ended())
            mainAction(frm);
        m_socket.take(0);
        m_frm = nullptr;
        return m_failure;
    }

    [[nodiscard]] int reports() const { return m_reporter.count; }
    [[nodiscard]] int actions() const { return m_actions; }
    [[nodiscard]] int ticks() const { return m_ticks; }
    [[nodiscard]] int periodChanges() const { return m_periodChanges; }
    [[nodiscard]] int datagrams() const { return m_socket.sends; }

private:
    std::uint32_t roll(std::uint32_t n) { return static_cast<std::uint32_t>(m_rng() % n); }

    QString fail(const QString& what)
    {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("seed %1, action %2 (%3): %4\nlast actions: %5\nlast report: %6")
                            .arg(m_seed)
                            .arg(m_actions)
                            .arg(m_trail.empty() ? QString() : m_trail.back(), what,
                                 QStringList(m_trail.begin(), m_trail.end()).join(QStringLiteral(", ")),
                                 m_reporter.last);
        return m_failure;
    }

    /// Runs one named action and checks that it came back at once.
    void act(const QString& name, const std::function<void()>& action)
    {
        ++m_actions;
        m_trail.push_back(name);
        if (m_trail.size() > 12)
            m_trail.pop_front();
        QElapsedTimer t;
        t.start();
        action();
        if (t.elapsed() > kSlowMs)
            fail(QStringLiteral("took %1 ms").arg(t.elapsed()));
        if (QApplication::activePopupWidget() != nullptr)
            fail(QStringLiteral("a pop-up menu stayed open"));
    }

    QString periodRule() const
    {
        if (m_model.CUR_PERIOD < 1 || m_model.CUR_PERIOD > m_model.PERIOD_COUNT)
            return QStringLiteral("CUR_PERIOD %1 outside 1 … PERIOD_COUNT %2").arg(m_model.CUR_PERIOD).arg(m_model.PERIOD_COUNT);
        return {};
    }
    QString clockRule() const
    {
        if (m_model.CUR_SECONDS < 0 || m_model.CUR_SECONDS > m_model.PERIOD_SECONDS)
            return QStringLiteral("CUR_SECONDS %1 outside 0 … PERIOD_SECONDS %2")
                .arg(m_model.CUR_SECONDS)
                .arg(m_model.PERIOD_SECONDS);
        return {};
    }

    // ---- the settings window ----------------------------------------------------------------------

    void settingsSession()
    {
        settings::FrmSet s({m_model, m_trap, m_socket, m_dialogs});
        s.Form_Load();
        s.show();
        const ui::SettingsWindowUi& w = s.widgets();
        for (int i = 0; i < kSettingsActions && s.isVisible() && m_failure.isEmpty() && !m_trap.ended(); ++i)
            settingsAction(s, w);
        // An operator who got nowhere finally enters one period and presses Ok.
        if (s.isVisible() && !m_trap.ended()) {
            act(QStringLiteral("finish the set"), [&] {
                w.txtPERIODLEGEND->setText(QStringLiteral("Final"));
                if (w.chkASKME->isChecked())
                    QTest::mouseClick(w.chkASKME, Qt::LeftButton);
                w.vsTIMEMIN->setValue(1);
                QTest::mouseClick(w.cmdADD, Qt::LeftButton);
                w.txtIP->setText(QStringLiteral("192168000"));
                QTest::mouseClick(w.cmdOK, Qt::LeftButton);
            });
        }
        if (s.isVisible())
            s.hide();
        if (m_model.PERIOD_COUNT > 0 && m_failure.isEmpty()) {
            if (const QString broken = periodRule(); !broken.isEmpty())
                fail(QStringLiteral("after Ok: ") + broken);
        }
    }

    void settingsAction(settings::FrmSet& s, const ui::SettingsWindowUi& w)
    {
        const auto click = [&](QAbstractButton* b, const char* name) {
            act(QLatin1String(name), [b] { QTest::mouseClick(b, Qt::LeftButton); });
        };
        switch (roll(16)) {
        case 0:
        case 1:
            return click(w.cmdADD, "Add");
        case 2:
            return click(w.cmdREMOVE, "Remove");
        case 3:
            return click(w.cmdUP, "Up");
        case 4:
            return click(w.cmdDOWN, "Down");
        case 5:
            return click(w.cmdSAVE, "Save");
        case 6:
            return click(w.cmdLOAD, "Load");
        case 7:
            return click(w.cmdOK, "Ok");
        case 8:
            return click(w.chkASKME, "Ask me");
        case 9:
            return click(roll(2) == 0 ? w.optPASS : w.optLEFT, "direction");
        case 10: {
            static const QString chars = QStringLiteral("Half 1st\tQ\r-:2");
            QString text;
            for (std::uint32_t n = roll(6); n > 0; --n)
                text += chars[static_cast<qsizetype>(roll(static_cast<std::uint32_t>(chars.size())))];
            return act(QStringLiteral("type legend"), [&] {
                if (roll(3) == 0)
                    w.txtPERIODLEGEND->clear();
                QTest::keyClicks(w.txtPERIODLEGEND, text);
            });
        }
        case 11:
        case 12: {
            QScrollBar* bar = roll(2) == 0 ? w.vsTIMEMIN : w.vsTIMESEC;
            static const Qt::Key keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home,
                                           Qt::Key_End};
            const Qt::Key key = keys[roll(6)];
            const int times = static_cast<int>(roll(8)) + 1;
            return act(QStringLiteral("scroll bar keys"), [&] {
                for (int k = 0; k < times; ++k)
                    QTest::keyClick(bar, key);
            });
        }
        case 13: {
            ui::PeriodGrid& grid = *w.grdPERIOD;
            if (grid.rows() < 2)
                return;
            const int row = static_cast<int>(roll(static_cast<std::uint32_t>(grid.rows() - 1)));
            return act(QStringLiteral("click row"), [&] {
                grid.scrollTo(grid.model()->index(row, 1));
                QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(row, 1)).center());
            });
        }
        case 14:
            return act(QStringLiteral("preview tick"), [&] {
                s.tmrPASSdemo_Timer();
                s.tmrLEFTdemo_Timer();
            });
        default: {
            static const QString digits = QStringLiteral("0123456789");
            return act(QStringLiteral("type address"), [&] {
                w.txtIP->setFocus();
                if (roll(2) == 0)
                    QTest::keyClick(w.txtIP, Qt::Key_Backspace);
                QTest::keyClick(w.txtIP, digits[static_cast<qsizetype>(roll(10))].toLatin1());
            });
        }
        }
    }

    // ---- the main window --------------------------------------------------------------------------

    void mainAction(clock::FrmMain& frm)
    {
        const ui::MainWindowUi& u = frm.ui();
        bool checked = false; // whether CHECK_TIME ran
        const auto click = [&](QAbstractButton* b, const char* name, bool correction = false) {
            checked = correction && b->isEnabled();
            act(QLatin1String(name), [b] { QTest::mouseClick(b, Qt::LeftButton); });
        };
        switch (roll(16)) {
        case 0:
            click(u.cmdSTART, "Start");
            break;
        case 1:
            click(u.cmdPAUSE, "Pause");
            break;
        case 2:
            click(u.cmd1UP, "+1", true);
            break;
        case 3:
            click(u.cmd1DW, "-1", true);
            break;
        case 4:
            click(u.cmd10UP, "+10", true);
            break;
        case 5:
            click(u.cmd10DW, "-10", true);
            break;
        case 6:
            click(u.cmdNEXTPERIOD, "Next");
            break;
        case 7:
            click(u.cmdPREVPERIOD, "Previous");
            break;
        case 8:
            click(u.cmdRESET, "Reset");
            break;
        case 9:
            click(u.cmdSETTING, "Settings");
            break;
        case 10:
        case 11:
            act(QStringLiteral("S"), [&] { QTest::keyClick(frm.windowHandle(), Qt::Key_S); });
            break;
        case 12: {
            static const Qt::Key keys[] = {Qt::Key_A, Qt::Key_Space, Qt::Key_Return, Qt::Key_Escape,
                                           Qt::Key_Tab, Qt::Key_Left, Qt::Key_F1, Qt::Key_1};
            const Qt::Key key = keys[roll(8)];
            act(QStringLiteral("other key"), [&] { QTest::keyClick(frm.windowHandle(), key); });
            break;
        }
        default: {
            // A tick, mostly on time, sometimes late, now and then absurdly late.
            const std::uint32_t r = roll(100);
            const int missed = r < 80 ? 0 : r < 95 ? static_cast<int>(roll(5)) + 1 : r < 98 ? 3000 : 40000;
            act(QStringLiteral("tick missed %1").arg(missed), [&] { checked = m_timer.fire(missed); });
            m_ticks += checked ? 1 : 0;
            break;
        }
        }
        if (m_actions % 200 == 0)
            m_socket.take(0);
        if (m_model.CUR_PERIOD != m_lastPeriod) {
            ++m_periodChanges;
            m_lastPeriod = m_model.CUR_PERIOD;
        }
        if (m_trap.ended())
            return;
        if (const QString broken = periodRule(); !broken.isEmpty())
            fail(broken);
        else if (checked)
            if (const QString broken2 = clockRule(); !broken2.isEmpty())
                fail(QStringLiteral("after CHECK_TIME: ") + broken2);
    }

    std::uint32_t m_seed;
    std::mt19937 m_rng;
    RandomReporter m_reporter;
    fakes::FakeEnd m_end;
    errors::Trap m_trap;
    model::ClockModel m_model;
    fakes::FakeTimer m_timer;
    faults::LoopbackSocket m_socket;
    RandomDialogs m_dialogs;
    clock::FrmMain* m_frm = nullptr;
    int m_actions = 0;
    int m_ticks = 0;
    int m_periodChanges = 0;
    std::int16_t m_lastPeriod = 1;
    std::deque<QString> m_trail;
    QString m_failure;
};

void write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

class TestOperatorFuzz : public QObject
{
    Q_OBJECT

private slots:
    void randomClicksAndKeys()
    {
        QTemporaryDir dir;
        write(dir.filePath("down.ptm"), "TimeLeft\r\n1st Half\r\n00:05\r\n2nd Half\r\n00:03\r\nExtra\r\nAsk me\r\n");
        write(dir.filePath("up.ptm"), "TimePass\r\nQ1\r\n00:04\r\nQ2\r\n00:00\r\nQ3\r\n99:59\r\n");
        write(dir.filePath("askme.ptm"), "TimeLeft\r\nFirst\r\nAsk me\r\nSecond\r\nAsk me\r\n");

        int actions = 0;
        int reports = 0;
        int ticks = 0;
        int periodChanges = 0;
        int datagrams = 0;
        for (int r = 0; r < kRounds; ++r) {
            Round round(7699U + static_cast<std::uint32_t>(r), dir);
            const QString failure = round.run();
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            actions += round.actions();
            reports += round.reports();
            ticks += round.ticks();
            periodChanges += round.periodChanges();
            datagrams += round.datagrams();
            // Still responsive: an event posted now is handled at once.
            bool handled = false;
            QTimer::singleShot(0, [&handled] { handled = true; });
            QTRY_VERIFY_WITH_TIMEOUT(handled, 1000);
            QCOMPARE(QApplication::activeModalWidget(), nullptr);
        }
        qInfo("%d actions: %d ticks delivered, %d changes of period, %d datagrams, %d error reports answered", actions,
              ticks, periodChanges, datagrams, reports);
        // The operator really got around: the clock ran, periods changed, the network was fed.
        QCOMPARE(actions, kRounds * kActionsPerRound);
        QVERIFY(ticks > 500);
        QVERIFY(periodChanges > 20);
        QVERIFY(datagrams > 1000);
    }
};

QTEST_MAIN(TestOperatorFuzz)
#include "tst_operatorfuzz.moc"
