#include "platform/QtDialogs.h"

#include "errors/ProjectName.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace korvo::platform {

namespace {

void warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

QString runFileDialog(const QString& title, const QString& filter, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(QApplication::activeWindow(), title, QString(), filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    while (dialog.exec() == QDialog::Accepted) {
        const QString name = dialog.selectedFiles().value(0);
        // Qt's own dialog takes a name in a folder that does not exist; the chosen folder must exist.
        if (QFileInfo(name).absoluteDir().exists())
            return name;
        warning(&dialog, title,
                QStringLiteral("%1\nThe folder does not exist.\nCheck the path and try again.").arg(name));
    }
    return {};
}

} // namespace

Dialogs::Reply QtDialogs::askYesNo(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QLatin1String(errors::kProjectName), text,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? Reply::Yes : Reply::No;
}

QString QtDialogs::inputBox(const QString& prompt)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QLatin1String(errors::kProjectName));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(prompt);
    // The prompt holds an operator's legend: shown as typed, never as markup.
    if (auto* label = dialog.findChild<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    dialog.setTextValue(QString());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

void QtDialogs::warn(const QString& text)
{
    warning(QApplication::activeWindow(), QLatin1String(errors::kProjectName), text);
}

QString QtDialogs::openFileName(const QString& title, const QString& filter)
{
    return runFileDialog(title, filter, QFileDialog::AcceptOpen);
}

QString QtDialogs::saveFileName(const QString& title, const QString& filter)
{
    return runFileDialog(title, filter, QFileDialog::AcceptSave);
}

} // namespace korvo::platform
