#include "platform/QtDialogs.h"

#include "errors/ProjectName.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace korvo::platform {

namespace {

QString runFileDialog(const QString& title, const QString& filter, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(QApplication::activeWindow(), title, QString(), filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
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
    dialog.setTextValue(QString());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
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
