#include "platform/MessageBoxReporter.h"

#include "errors/ProjectName.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace korvo::platform {

namespace {

/// Qt would treat Abort as the escape button; here neither Escape nor the close box may end the program.
class ReportBox final : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

} // namespace

errors::Answer MessageBoxReporter::report(const QString& text)
{
    ReportBox box(QMessageBox::NoIcon, QLatin1String(errors::kProjectName), text,
                  QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Abort);
    box.exec();

    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Abort: return errors::Answer::Abort;
    case QMessageBox::Retry: return errors::Answer::Retry;
    case QMessageBox::Ignore: return errors::Answer::Ignore;
    default: return errors::Answer::Cancel;
    }
}

} // namespace korvo::platform
