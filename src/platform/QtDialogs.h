#pragma once

#include "platform/Dialogs.h"

namespace korvo::platform {

/// The real modal dialogs, parented to the active window. Each returns when the operator has answered.
class QtDialogs final : public Dialogs
{
public:
    /// Question icon, Yes and No, Yes the default; the caption is the application title.
    Reply askYesNo(const QString& text) override;
    /// Text input with an empty default; the caption is the application title. Cancel gives "".
    QString inputBox(const QString& prompt) override;
    /// The filter is in Qt's form, e.g. "Period Script (*.ptm);;All files (*.*)".
    QString openFileName(const QString& title, const QString& filter) override;
    /// Qt asks before an existing file is replaced; a folder that does not exist is refused with a message
    /// and the dialog stays.
    QString saveFileName(const QString& title, const QString& filter) override;
    void warn(const QString& text) override;
};

} // namespace korvo::platform
