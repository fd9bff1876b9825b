#include "platform/MessageBoxReporter.h"
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

/// Calls `act` with the modal dialog once it shows. The dialog runs its own event loop, so the script must
/// come from a timer inside that loop; after five seconds without a dialog it gives up.
void onNextModal(std::function<void(QWidget*)> act)
{
    auto* poller = new QTimer(qApp);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poller, &QTimer::timeout, poller, [poller, tries, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool shown = modal != nullptr && modal->isVisible();
        if (shown || ++*tries > 500)
            poller->deleteLater();
        if (shown)
            act(modal);
    });
    poller->start(10);
}

/// A message box's looks as one line to compare, after its caption.
QString looks(const QString& text, int icon, QMessageBox::StandardButtons buttons, int defaultButton, int format)
{
    return QStringLiteral("%1|icon %2|buttons %3|default %4|format %5")
        .arg(text)
        .arg(icon)
        .arg(buttons.toInt())
        .arg(defaultButton)
        .arg(format);
}

/// Clicks `button` on the next message box; `seen` gets its caption and looks. `then` is set going before
/// the click, for what comes after the box.
void clickOnNextBox(QMessageBox::StandardButton button, QString& seen, std::function<void()> then = {})
{
    onNextModal([&seen, button, then = std::move(then)](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        seen = box->windowTitle() + QLatin1Char('|')
            + looks(box->text(), box->icon(), box->standardButtons(), box->standardButton(box->defaultButton()),
                    box->textFormat());
        if (then)
            then();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void reportBox()
    {
        // Plain text: a description with "<" must not turn into markup.
        const QString text
            = QStringLiteral("Error 6\r\nOverflow <x>\r\nLocation: KorvoTimer.common.SEC2TIME\r\nLine 6");
        QString seen;
        clickOnNextBox(QMessageBox::Retry, seen);
        QCOMPARE(korvo::platform::MessageBoxReporter().report(text), korvo::errors::Answer::Retry);
        const auto buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        QCOMPARE(seen, "KorvoTimer|" + looks(text, QMessageBox::NoIcon, buttons, QMessageBox::Abort, Qt::PlainText));
    }

    void askYesNo()
    {
        const QString question = QStringLiteral("Reset the period?");
        QString seen;
        clickOnNextBox(QMessageBox::No, seen);
        QCOMPARE(korvo::platform::QtDialogs().askYesNo(question), korvo::platform::Dialogs::Reply::No);
        const auto buttons = QMessageBox::Yes | QMessageBox::No;
        QCOMPARE(seen,
                 "KorvoTimer|" + looks(question, QMessageBox::Question, buttons, QMessageBox::Yes, Qt::PlainText));
    }

    void inputBoxCancelDropsTheText()
    {
        QString seen;
        onNextModal([&](QWidget* w) {
            auto* dialog = qobject_cast<QInputDialog*>(w);
            seen = dialog->windowTitle() + QLatin1Char('|') + dialog->labelText() + QLatin1Char('|')
                + dialog->textValue();
            QTest::keyClicks(dialog->findChild<QLineEdit*>(), QStringLiteral("12:30"));
            QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        QCOMPARE(korvo::platform::QtDialogs().inputBox(QStringLiteral("Time for 2nd Half (MM:SS)")), QString());
        QCOMPARE(seen, QStringLiteral("KorvoTimer|Time for 2nd Half (MM:SS)|"));
    }

    /// A name typed into a folder that does not exist is refused with a message; the dialog stays for another.
    void saveWantsAnExistingFolder()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("no/set.ptm"));
        QString seen;
        const auto typeName = [](QWidget* w, const QString& name) {
            auto* edit = qobject_cast<QFileDialog*>(w)->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        };
        onNextModal([&](QWidget* w) {
            typeName(w, missing);
            clickOnNextBox(QMessageBox::Ok, seen, [&] {
                onNextModal([&](QWidget* again) { typeName(again, dir.filePath(QStringLiteral("set.ptm"))); });
            });
        });
        QCOMPARE(korvo::platform::QtDialogs().saveFileName(QStringLiteral("Save Period Set"), QStringLiteral("*.ptm")),
                 dir.filePath(QStringLiteral("set.ptm")));
        QCOMPARE(seen, "Save Period Set|" + looks(missing + "\nThe folder does not exist.\nCheck the path and try again.",
                                                 QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, Qt::PlainText));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
