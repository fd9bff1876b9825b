#pragma once

namespace korvo::errors {

/// The program's name as the operator meets it: the first part of every report's location
/// ("KorvoTimer.frmMAIN.cmdSTART_Click"), the caption of every message box that gives no title of its own,
/// and the application's name.
inline constexpr const char* kProjectName = "KorvoTimer";

} // namespace korvo::errors
