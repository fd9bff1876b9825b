#pragma once

#include "errors/Trap.h"

/// Module "vbwProtector": starts the error trapping, which turns processor faults into run-time errors
/// (see CrashFilter.h and StepGuard.h).
namespace korvo::errors {

inline constexpr const char* kProtectorModule = "vbwProtector";

/// Starts the error trapping once per process; later calls register nothing.
void vbwInitializeProtector(Trap& trap);

/// Registers the handler of last resort for processor faults (the previous one is dropped, not chained).
void vbwHandleException(Trap& trap);

} // namespace korvo::errors
