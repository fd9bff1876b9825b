#pragma once

namespace korvo::errors {

/// Runs one step. Once the crash filter is installed, a processor fault raised inside the step
/// (invalid memory access, division by zero, ...) is turned into RuntimeError 65535 thrown from here,
/// so that the step's procedure reports it like any other failure. Steps may nest (a step that calls
/// another procedure); a fault belongs to the innermost step running on the faulting thread.
void runGuarded(void (*step)(void*), void* context);

/// True while a step runs on the calling thread (a fault now would belong to it).
[[nodiscard]] bool insideStep() noexcept;

/// Installs the process-wide fault handlers (vbwHandleException's work). False when the system refused.
bool installFaultHandlers();

/// How many times installFaultHandlers() has installed the handlers.
[[nodiscard]] int faultHandlerRegistrations();

} // namespace korvo::errors
