#pragma once

#include <QString>

namespace korvo::errors {

/// The operator's answer to an error report.
enum class Answer { Abort, Retry, Ignore, Cancel };

/// Shows one error report and returns the operator's choice. The real one is a modal message box.
class ErrorReporter
{
public:
    virtual ~ErrorReporter() = default;
    virtual Answer report(const QString& text) = 0;
};

/// Ends the whole program at once: no window's close or unload handler runs.
/// A test double may return; the trap then treats the program as ended and runs nothing more.
class ProcessEnd
{
public:
    virtual ~ProcessEnd() = default;
    virtual void endProgram() = 0;
};

} // namespace korvo::errors
