#pragma once

#include <QString>

namespace korvo::platform {

/// The caption of every message box that gives no title of its own, and of error reports.
inline QString appTitle()
{
    return QStringLiteral("KorvoTimer");
}

} // namespace korvo::platform
