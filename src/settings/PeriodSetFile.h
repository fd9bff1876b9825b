#pragma once

#include "settings/PeriodScript.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

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

/// A period-set file is small; nothing larger is read.
inline constexpr qint64 kMaxFileSize = 1024 * 1024;
/// The clock numbers periods in 16 bits.
inline constexpr std::size_t kMaxPeriods = 32767;

/// The whole file. File not found (53); 75 when it cannot be opened or read, or is not a regular file (a
/// folder, a FIFO, a device: it is never opened); invalid file format (321) when larger than kMaxFileSize.
[[nodiscard]] QByteArray readWhole(const QString& name);

/// The set a file holds; 321 when it holds more periods than the clock can count.
[[nodiscard]] PeriodFile readPeriodSet(const QByteArray& bytes);

/// 321 naming the first pair of lines that was left out and how many were, when any was.
void refuseLeftOut(const PeriodFile& file);

} // namespace korvo::settings
