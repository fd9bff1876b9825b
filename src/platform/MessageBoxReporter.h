#pragma once

#include "errors/ErrorReporter.h"

namespace korvo::platform {

/// Error reports as a modal message box: the text as given (plain text, CR LF kept), Abort, Retry and
/// Ignore with Abort the default, no icon, the application title as caption. Escape and the close box do
/// nothing, so only a deliberate click ends the program.
class MessageBoxReporter final : public errors::ErrorReporter
{
public:
    /// Cancel only if the box was closed without any of its buttons.
    errors::Answer report(const QString& text) override;
};

} // namespace korvo::platform
