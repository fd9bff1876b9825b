#pragma once

#include "errors/ErrorReporter.h"

namespace korvo::platform {

/// Ends the process at once with exit code 0: stdio is flushed, but no window close handler, destructor or
/// atexit handler runs.
class ExitProcess final : public errors::ProcessEnd
{
public:
    [[noreturn]] void endProgram() override;
};

} // namespace korvo::platform
