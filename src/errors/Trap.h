#pragma once

#include "errors/ErrorReporter.h"

#include <QtGlobal>

namespace korvo::errors {

/// The program-wide part of error trapping: where reports go and how the program ends.
/// Once the program has been ended (End, or Abort in a report) no further step of any procedure runs,
/// which is what a returning test double for ProcessEnd needs to observe "nothing after it runs".
class Trap final
{
    Q_DISABLE_COPY_MOVE(Trap)
public:
    Trap(ErrorReporter& reporter, ProcessEnd& end)
        : m_reporter(reporter)
        , m_end(end)
    {
    }

    [[nodiscard]] ErrorReporter& reporter() const { return m_reporter; }
    [[nodiscard]] bool ended() const { return m_ended; }

    /// End the program now (the "End" button, or Abort in a report).
    void endProgram()
    {
        m_ended = true;
        m_end.endProgram();
    }

private:
    ErrorReporter& m_reporter;
    ProcessEnd& m_end;
    bool m_ended = false;
};

} // namespace korvo::errors
