#pragma once

#include "platform/JournalStore.h"

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace korvo::platform {

/// The journal as the file journal.json in a folder of its own, written by a thread of its own: a save only
/// hands the bytes over, so the disk never holds up the clock. Each save goes to a new file that reaches the
/// disk (QSaveFile: fdatasync) before it takes the journal's name (rename, then the folder synced), so a kill
/// or a power cut leaves the old file or the new one. A failing save is told once on standard error; the clock
/// goes on without it.
class JournalFile final : public JournalStore
{
    Q_DISABLE_COPY_MOVE(JournalFile)
public:
    /// The folder is made at the first save.
    explicit JournalFile(const QString& folder);
    /// Writes what is still pending, then stops the thread.
    ~JournalFile() override;

    /// KORVO_STATE_DIR when set, else the per-user application data folder.
    [[nodiscard]] static QString defaultFolder();
    [[nodiscard]] QString path() const { return m_path; }

    [[nodiscard]] std::optional<QByteArray> read() override;
    void save(const QByteArray& bytes) override;
    void flush() override;
    QString setAside() override;

private:
    void run();
    /// "" when the bytes are in place, else what went wrong.
    [[nodiscard]] QString write(const QByteArray& bytes) const;

    const QString m_folder;
    const QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake; ///< a save is pending, or the thread is to stop
    std::condition_variable m_idle; ///< nothing pending and nothing being written
    std::optional<QByteArray> m_pending;
    bool m_writing = false;
    bool m_stopping = false;
    bool m_warned = false;
    std::thread m_writer; ///< last, so that it starts once everything it uses exists
};

} // namespace korvo::platform
