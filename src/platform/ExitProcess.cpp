#include "platform/ExitProcess.h"

#include <cstdio>
#include <cstdlib>

namespace korvo::platform {

void ExitProcess::endProgram()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace korvo::platform
