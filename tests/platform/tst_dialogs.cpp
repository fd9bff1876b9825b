#include "platform/MessageBoxReporter.h"
#include "platform/QtDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using korvo::platform::QtDialogs;

namespace {

/// Calls `act` with the modal dialog once it shows. The dialog runs its own event loop, so the script must
/// come from a timer inside that loop; after five seconds without a dialog it gives up.
void onNextModal(std::function<void(QWidget*)> act)
{
    auto* poller = new QTimer(qApp);
    QObject::connect(poller, &QTimer::timeout, poller, [poller, tries = 0, act = std::move(act)]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        const bool shown = modal != nullptr && modal->isVisible();
        if (shown || ++tries > 500)
            poller->deleteLater();
        if (shown)
            act(modal);
    });
    poller->start(10);
}

/// Clicks `button` on the next message box, after `first`; `seen` gets "title; text; icon; buttons; default
/// button; text format".
void clickOnNextBox(QMessageBox::StandardButton button, QString& seen, std::function<void()> first = {})
{
    onNextModal([&seen, button, first = std::move(first)](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        const auto key = [](auto v) { return QLatin1String(QMetaEnum::fromType<decltype(v)>().valueToKey(v)); };
        QStringList buttons;
        for (QAbstractButton* b : box->buttons())
            buttons << key(QMessageBox::StandardButtons(box->standardButton(b)));
        buttons.sort();
        seen = QStringLiteral("%1; %2; %3; %4; default %5; %6")
                   .arg(box->windowTitle(), box->text(), key(box->icon()), buttons.join('|'),
                        key(QMessageBox::StandardButtons(box->standardButton(box->defaultButton()))),
                        key(box->textFormat()));
        if (first)
            first();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    // Plain text: a description or a legend with "<" must not turn into markup.
    void messageBoxes()
    {
        const QString text = "Error 6\r\nOverflow <x>\r\nLocation: KorvoTimer.common.SEC2TIME\r\nLine 6";
        QString seen;
        clickOnNextBox(QMessageBox::Retry, seen);
        QCOMPARE(korvo::platform::MessageBoxReporter().report(text), korvo::errors::Answer::Retry);
        QCOMPARE(seen, "KorvoTimer; " + text + "; NoIcon; Abort|Ignore|Retry; default Abort; PlainText");

        clickOnNextBox(QMessageBox::No, seen);
        QCOMPARE(QtDialogs().askYesNo(QStringLiteral("Reset the <b>period</b>?")), QtDialogs::Reply::No);
        QCOMPARE(seen, "KorvoTimer; Reset the <b>period</b>?; Question; No|Yes; default Yes; PlainText");
    }

    /// A name typed into a folder that does not exist is refused with a message; the dialog stays for another.
    void saveWantsAnExistingFolder()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("no/set.ptm"));
        const auto typeName = [](QWidget* w, const QString& name) {
            auto* edit = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        };
        QString seen;
        onNextModal([&](QWidget* w) {
            typeName(w, missing);
            clickOnNextBox(QMessageBox::Ok, seen, [&] {
                onNextModal([&](QWidget* again) { typeName(again, dir.filePath(QStringLiteral("set.ptm"))); });
            });
        });
        QCOMPARE(QtDialogs().saveFileName(QStringLiteral("Save Period Set"), QStringLiteral("*.ptm")),
                 dir.filePath(QStringLiteral("set.ptm")));
        QCOMPARE(seen, "Save Period Set; " + missing + "\nThe folder does not exist.\nCheck the path and try again."
                           + "; Warning; Ok; default Ok; PlainText");
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
