#include "platform/MessageBoxReporter.h"
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using korvo::errors::Answer;
using korvo::platform::Dialogs;
using korvo::platform::MessageBoxReporter;
using korvo::platform::QtDialogs;

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Dialogs::Reply)

namespace {

/// Calls `act` with the next modal widget other than `notThis`, once it is shown. The dialog under test runs
/// its own event loop, so the script has to come from a timer inside that loop. If no dialog shows up, the
/// script gives up after a few seconds and the test fails on the recorded observations.
void onNextModal(std::function<void(QWidget*)> act, QWidget* notThis = nullptr)
{
    auto* poller = new QTimer(qApp);
    poller->setObjectName(QStringLiteral("modal-script"));
    auto tries = std::make_shared<int>(0);
    QObject::connect(poller, &QTimer::timeout, poller, [poller, tries, act = std::move(act), notThis] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != notThis && modal->isVisible()) {
            poller->stop();
            poller->deleteLater();
            act(modal);
        } else if (++*tries > 500) {
            poller->stop();
            poller->deleteLater();
        }
    });
    poller->start(10);
}

QAbstractButton* dialogButton(QWidget* dialog, QDialogButtonBox::StandardButton which)
{
    const auto* box = dialog->findChild<QDialogButtonBox*>();
    return box != nullptr ? box->button(which) : nullptr;
}

/// Chooses a file as typing its full name would. selectFile() alone leaves the name field untouched
/// while that field has the focus, which depends on when the window got activated.
void chooseFile(QFileDialog* dialog, const QString& path)
{
    dialog->selectFile(path);
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
}

void click(QAbstractButton* button)
{
    if (button != nullptr)
        QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void reportBoxLooksRight();
    void reportAnswers_data();
    void reportAnswers();
    void reportIgnoresEscapeAndCloseBox();
    void askYesNo_data();
    void askYesNo();
    void inputBox_data();
    void inputBox();
    void openFileName();
    void openFileNameNeedsExistingFile();
    void saveFileNameAsksBeforeReplacing();
};

void TestDialogs::cleanup()
{
    // A script whose dialog never came must not act on the next test's dialog.
    const auto pollers = qApp->findChildren<QTimer*>(QStringLiteral("modal-script"), Qt::FindDirectChildrenOnly);
    for (QTimer* poller : pollers)
        delete poller;
}

void TestDialogs::reportBoxLooksRight()
{
    const QString text = QStringLiteral("Error 6\r\nOverflow\r\nLocation: KorvoTimer.common.SEC2TIME\r\nLine 6");
    QString title;
    QString shownText;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat format = Qt::AutoText;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box == nullptr) {
            qobject_cast<QDialog*>(w)->done(0);
            return;
        }
        title = box->windowTitle();
        shownText = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        defaultButton = box->standardButton(box->defaultButton());
        format = box->textFormat();
        click(box->button(QMessageBox::Retry));
    });

    MessageBoxReporter reporter;
    QCOMPARE(reporter.report(text), Answer::Retry);
    QCOMPARE(title, QStringLiteral("KorvoTimer"));
    QCOMPARE(shownText, text);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    QCOMPARE(defaultButton, QMessageBox::Abort);
    QCOMPARE(format, Qt::PlainText); // a description with "<" must not turn into markup
}

void TestDialogs::reportAnswers_data()
{
    QTest::addColumn<int>("key");    // pressed on the box, or 0
    QTest::addColumn<int>("button"); // clicked, or NoButton
    QTest::addColumn<Answer>("answer");

    QTest::newRow("Abort") << 0 << int{QMessageBox::Abort} << Answer::Abort;
    QTest::newRow("Retry") << 0 << int{QMessageBox::Retry} << Answer::Retry;
    QTest::newRow("Ignore") << 0 << int{QMessageBox::Ignore} << Answer::Ignore;
    QTest::newRow("Enter takes the default") << int{Qt::Key_Return} << int{QMessageBox::NoButton} << Answer::Abort;
    QTest::newRow("closed without a button") << 0 << int{QMessageBox::NoButton} << Answer::Cancel;
}

void TestDialogs::reportAnswers()
{
    QFETCH(int, key);
    QFETCH(int, button);
    QFETCH(Answer, answer);
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (key != 0)
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        else if (button != QMessageBox::NoButton)
            click(box->button(static_cast<QMessageBox::StandardButton>(button)));
        else
            box->done(0);
    });
    QCOMPARE(MessageBoxReporter().report(QStringLiteral("Error 5")), answer);
}

void TestDialogs::reportIgnoresEscapeAndCloseBox()
{
    bool openAfterEscape = false;
    bool openAfterClose = false;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QTest::keyClick(box, Qt::Key_Escape);
        openAfterEscape = box->isVisible();
        box->close();
        openAfterClose = box->isVisible();
        click(box->button(QMessageBox::Ignore));
    });
    QCOMPARE(MessageBoxReporter().report(QStringLiteral("Error 13")), Answer::Ignore);
    QVERIFY(openAfterEscape);
    QVERIFY(openAfterClose);
}

void TestDialogs::askYesNo_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("button");
    QTest::addColumn<Dialogs::Reply>("reply");

    QTest::newRow("Yes") << 0 << int{QMessageBox::Yes} << Dialogs::Reply::Yes;
    QTest::newRow("No") << 0 << int{QMessageBox::No} << Dialogs::Reply::No;
    QTest::newRow("Enter takes Yes") << int{Qt::Key_Return} << 0 << Dialogs::Reply::Yes;
    QTest::newRow("Escape is No") << int{Qt::Key_Escape} << 0 << Dialogs::Reply::No;
}

void TestDialogs::askYesNo()
{
    QFETCH(int, key);
    QFETCH(int, button);
    QFETCH(Dialogs::Reply, reply);

    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        defaultButton = box->standardButton(box->defaultButton());
        if (key != 0)
            QTest::keyClick(box, static_cast<Qt::Key>(key));
        else
            click(box->button(static_cast<QMessageBox::StandardButton>(button)));
    });

    QtDialogs dialogs;
    QCOMPARE(dialogs.askYesNo(QStringLiteral("Reset the period?")), reply);
    QCOMPARE(title, QStringLiteral("KorvoTimer"));
    QCOMPARE(text, QStringLiteral("Reset the period?"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(defaultButton, QMessageBox::Yes);
}

void TestDialogs::inputBox_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("result");

    QTest::newRow("OK") << "12:30" << true << "12:30";
    QTest::newRow("OK with nothing typed") << "" << true << "";
    QTest::newRow("Cancel drops the text") << "12:30" << false << "";
}

void TestDialogs::inputBox()
{
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(QString, result);

    QString title;
    QString label;
    QString initial = QStringLiteral("not read");
    onNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QInputDialog*>(w);
        if (dialog == nullptr) {
            qobject_cast<QDialog*>(w)->reject();
            return;
        }
        title = dialog->windowTitle();
        label = dialog->labelText();
        initial = dialog->textValue();
        QTest::keyClicks(dialog->findChild<QLineEdit*>(), typed);
        click(dialogButton(dialog, ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel));
    });

    QtDialogs dialogs;
    QCOMPARE(dialogs.inputBox(QStringLiteral("Time for 2nd Half (MM:SS)")), result);
    QCOMPARE(title, QStringLiteral("KorvoTimer"));
    QCOMPARE(label, QStringLiteral("Time for 2nd Half (MM:SS)"));
    QCOMPARE(initial, QString());
}

void TestDialogs::openFileName()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("game.ptm"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QString title;
    QStringList filters;
    onNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        chooseFile(dialog, path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides its override; this reaches it
    });
    QtDialogs dialogs;
    const QString filter = QStringLiteral("Period Script (*.ptm);;All files (*.*)");
    QCOMPARE(dialogs.openFileName(QStringLiteral("Load period set"), filter), path);
    QCOMPARE(title, QStringLiteral("Load period set"));
    QCOMPARE(filters, (QStringList{QStringLiteral("Period Script (*.ptm)"), QStringLiteral("All files (*.*)")}));

    onNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    QCOMPARE(dialogs.openFileName(QStringLiteral("Load"), QStringLiteral("Period Script (*.ptm)")), QString());
}

void TestDialogs::openFileNameNeedsExistingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString complaint;
    bool stillOpen = false;
    onNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        onNextModal(
            [&, dialog](QWidget* warning) {
                complaint = qobject_cast<QMessageBox*>(warning) != nullptr ? qobject_cast<QMessageBox*>(warning)->text()
                                                                           : QString();
                qobject_cast<QDialog*>(warning)->done(0);
            },
            dialog);
        chooseFile(dialog, dir.filePath(QStringLiteral("missing.ptm")));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides its override; this reaches it
        stillOpen = dialog->isVisible();
        dialog->reject();
    });
    QCOMPARE(QtDialogs().openFileName(QStringLiteral("Load"), QStringLiteral("Period Script (*.ptm)")), QString());
    QVERIFY2(complaint.contains(QLatin1String("missing.ptm")), qPrintable(complaint));
    QVERIFY(stillOpen);
}

void TestDialogs::saveFileNameAsksBeforeReplacing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("game.ptm"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QString question;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    onNextModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        mode = dialog->acceptMode();
        onNextModal(
            [&](QWidget* confirm) {
                auto* box = qobject_cast<QMessageBox*>(confirm);
                question = box != nullptr ? box->text() : QString();
                if (box != nullptr)
                    click(box->button(QMessageBox::Yes));
                else
                    qobject_cast<QDialog*>(confirm)->done(0);
            },
            dialog);
        chooseFile(dialog, path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides its override; this reaches it
    });
    const QString filter = QStringLiteral("Period Script (*.ptm)");
    QCOMPARE(QtDialogs().saveFileName(QStringLiteral("Save period set"), filter), path);
    QCOMPARE(mode, QFileDialog::AcceptSave);
    QVERIFY2(question.contains(QLatin1String("game.ptm")), qPrintable(question));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
