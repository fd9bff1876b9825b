// Start-up with the game the last run left in its journal (a real file in a temporary folder): offered or
// not, resumed or set aside, and what the main window and the datagrams show afterwards.

#include "support/ClockRig.h"

#include "clock/LastGame.h"
#include "model/Journal.h"
#include "platform/JournalFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

using korvo::clock::ResumeOffer;
using korvo::model::COUNT_DOWN;
using Clock = korvo::test::Clock<>;
using Reply = korvo::platform::Dialogs::Reply;

class TestResume : public QObject
{
    Q_OBJECT

private slots:
    void startUp_data();
    void startUp();
};

void TestResume::startUp_data()
{
    QTest::addColumn<QString>("lastRun"); // killed, ended (normally) or cut (its journal cut short)
    QTest::addColumn<ResumeOffer>("offer");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("states"); // after start-up; after -1 and Previous
    QTest::addColumn<QString>("datagrams");
    QTest::addColumn<int>("setAside");
    QTest::addColumn<QString>("error");
    const QString game = QStringLiteral(": P2 04:58, period 2 of 2. Resume it?\n"
                                        "The clock was running; the time while the program was down is not counted.");
    const QString resumed = QStringLiteral("P2/04:58 red prev next | P1/01:00 red next");
    const QString restored = QStringLiteral("127.0.0.255 p2t04:58 127.0.0.255 p2t04:57 127.0.0.255 p1t01:00");
    const QString fresh = QStringLiteral("P1/01:00 red | P1/00:59 red");
    const QString set = QStringLiteral("192.168.000.255 p1t01:00 192.168.1.255 p1t00:59");
    const ResumeOffer ifUnfinished = ResumeOffer::IfUnfinished;
    QTest::newRow("killed: Yes") << "killed" << ifUnfinished << true << "The last game did not end normally" + game
                                 << resumed << restored << 0 << "";
    QTest::newRow("killed: No") << "killed" << ifUnfinished << false << "The last game did not end normally" + game
                                << fresh << set << 1 << "";
    QTest::newRow("ended") << "ended" << ifUnfinished << true << "" << fresh << set << 0 << "";
    QTest::newRow("ended, --resume: No") << "ended" << ResumeOffer::Always << false
                                         << "The last game ended normally" + game << fresh << set << 1 << "";
    QTest::newRow("killed, --no-resume") << "killed" << ResumeOffer::Never << true << "" << fresh << set << 1 << "";
    QTest::newRow("cut short") << "cut" << ifUnfinished << true << "" << fresh << set << 1
                               << "korvo-timer: the saved game cannot be resumed (not a whole journal); set aside as ";
}

void TestResume::startUp()
{
    QFETCH(QString, lastRun);
    QFETCH(ResumeOffer, offer);
    QFETCH(bool, yes);
    QFETCH(QString, question);
    QFETCH(QString, states);
    QFETCH(QString, datagrams);
    QFETCH(int, setAside);
    QFETCH(QString, error);
    QTemporaryDir dir;
    {
        // Left, when the journal's writer has finished, as a kill leaves it.
        korvo::platform::JournalFile journal(dir.path());
        Clock last(&journal);
        last.load({60, -1}, COUNT_DOWN, QStringLiteral("127.0.0.255"));
        korvo::test::play(last, QStringLiteral("Y =5 =0 N > t t"));
        korvo::fakes::FakeEnd end; // End or Abort; the close box calls finishGame() alone
        if (lastRun == QLatin1String("ended"))
            korvo::clock::FinishingEnd(journal, last.model, end).endProgram();
        QCOMPARE(end.count, lastRun == QLatin1String("ended") ? 1 : 0);
    }
    if (lastRun == QLatin1String("cut"))
        QVERIFY(QFile::resize(dir.filePath(QStringLiteral("journal.json")), 100));

    korvo::platform::JournalFile journal(dir.path());
    Clock c(&journal);
    c.dialogs.yesNo.push_back(yes ? Reply::Yes : Reply::No);
    QString errors;
    QTextStream errorStream(&errors);
    if (const auto game = korvo::clock::offerLastGame(journal, c.dialogs, offer, errorStream))
        c.frm->setResumedGame(*game);
    c.load({60}, COUNT_DOWN); // what the settings window applies, if it runs
    korvo::test::play(c, QStringLiteral("? -1 P ?"));

    QCOMPARE(c.dialogs.questions, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(c.seen.join(QStringLiteral(" | ")), states);
    QStringList sent;
    const QList<QByteArray> payloads = c.socket.payloads().split(' ');
    for (qsizetype i = 0; i < payloads.size() && i < c.socket.hosts.size(); ++i)
        sent.append(c.socket.hosts.at(i) + QLatin1Char(' ') + QString::fromLatin1(payloads.at(i)));
    QCOMPARE(sent.join(QLatin1Char(' ')), datagrams);
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("journal-*.json")}).size(), setAside);
    QCOMPARE(errors.left(error.size()), error);
    QCOMPARE(errors.count(QLatin1Char('\n')), error.isEmpty() ? 0 : 1);
    // This run's game is the journal now.
    journal.flush();
    QString fault;
    QFile file(journal.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto kept = korvo::model::readJournal(file.readAll(), fault);
    QVERIFY2(kept && kept->clock.CUR_PERIOD == 1 && kept->clock.CUR_SECONDS == c.model.CUR_SECONDS, qPrintable(fault));
}

QTEST_MAIN(TestResume)
#include "tst_resume.moc"
