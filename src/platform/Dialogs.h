#pragma once

#include <QString>

namespace korvo::platform {

/// The modal dialogs the windows ask through. The real ones are Qt dialogs; tests script the answers.
class Dialogs
{
public:
    enum class Reply { Yes, No };

    virtual ~Dialogs() = default;

    /// Yes/No question with a question icon, Yes the default. The title is the application title.
    virtual Reply askYesNo(const QString& text) = 0;
    /// Input box with OK and Cancel and an empty default answer; Cancel gives "".
    virtual QString inputBox(const QString& prompt) = 0;
    /// Open dialog: the chosen file must exist. Cancel gives "".
    virtual QString openFileName(const QString& title, const QString& filter) = 0;
    /// Save dialog: the folder must exist; choosing an existing file asks to overwrite. Cancel gives "".
    virtual QString saveFileName(const QString& title, const QString& filter) = 0;
    /// A message with a warning icon and an OK button. The title is the application title.
    virtual void warn(const QString& text) = 0;
};

} // namespace korvo::platform
