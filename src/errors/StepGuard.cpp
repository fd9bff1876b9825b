#include "errors/StepGuard.h"

namespace korvo::errors {

// Placeholder until the crash filter lands: steps run unguarded.
void runGuarded(void (*step)(void*), void* context)
{
    step(context);
}

} // namespace korvo::errors
