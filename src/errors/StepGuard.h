#pragma once

namespace korvo::errors {

/// Runs one step. Once the crash filter is installed, a processor fault raised inside the step
/// (invalid memory access, division by zero, ...) is turned into RuntimeError 65535 thrown from here,
/// so that the step's procedure reports it like any other failure.
void runGuarded(void (*step)(void*), void* context);

} // namespace korvo::errors
