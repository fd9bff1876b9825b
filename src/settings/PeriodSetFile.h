#pragma once

#include <QByteArray>
#include <QString>

class QSaveFile;

/// Period-set files on disk, opened, read or written and closed within one procedure of the settings window.
/// Each function raises the run-time error that the failing file operation stands for.
namespace korvo::settings {

/// Opens a file for saving. Path not found (76) when its folder does not exist, else path/file access (75).
void openForWriting(QSaveFile& file);

/// Writes and flushes the bytes. Bad file name or number (52) when the file is not open; 75 when the bytes
/// do not all reach the disk.
void writeAll(QSaveFile& file, const QByteArray& bytes);

/// Puts the saved file in place of the old one; 52 when the file is not open, 75 when it cannot. A file
/// that a failed write has left incomplete never takes the old one's place.
void commit(QSaveFile& file);

/// The whole file. File not found (53); 75 when it cannot be opened or read.
[[nodiscard]] QByteArray readWhole(const QString& name);

} // namespace korvo::settings
