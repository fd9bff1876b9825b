#include "errors/Protector.h"

#include "errors/Procedure.h"
#include "errors/RuntimeError.h"
#include "errors/StepGuard.h"

namespace korvo::errors {

namespace {

bool g_initialized = false;

} // namespace

void vbwInitializeProtector(Trap& trap)
{
    Procedure p(trap, kProtectorModule, "vbwInitializeProtector");
    if (g_initialized)
        return;
    p([&] { vbwHandleException(trap); });
    p([&] { g_initialized = true; });
}

void vbwHandleException(Trap& trap)
{
    Procedure p(trap, kProtectorModule, "vbwHandleException");
    p([&] {
        if (!installFaultHandlers())
            errors::raise(err::InvalidCall);
    });
}

} // namespace korvo::errors
