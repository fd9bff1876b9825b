#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korvo::platform {

/// Where the clock keeps its game between runs: one small file, always replaced whole, so that whatever
/// ends the program, the next run finds the state before a save or after it, never a mix.
class JournalStore
{
public:
    virtual ~JournalStore() = default;

    /// The bytes the last save left; nothing when there is no journal. One that cannot be read reads as "".
    [[nodiscard]] virtual std::optional<QByteArray> read() = 0;
    /// Replace the journal with these bytes. Never raises and never waits for the disk; a save not yet
    /// begun gives way to a later one (the latest wins).
    virtual void save(const QByteArray& bytes) = 0;
    /// Returns once every save so far has reached the disk, or failed.
    virtual void flush() = 0;
    /// Move the journal out of the way under a name with the date; that name, or "" when nothing was moved.
    virtual QString setAside() = 0;
};

} // namespace korvo::platform
