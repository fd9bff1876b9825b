#include "platform/JournalFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace korvo::platform {

namespace {

// A journal is a few hundred bytes; anything far beyond is not one, and need not be read whole to say so.
constexpr qint64 kLargestJournal = 1 << 20;

} // namespace

JournalFile::JournalFile(const QString& folder)
    : m_folder(folder)
    , m_path(QDir(folder).filePath(QStringLiteral("journal.json")))
    , m_writer([this] { run(); })
{
}

JournalFile::~JournalFile()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

QString JournalFile::defaultFolder()
{
    const QString folder = qEnvironmentVariable("KORVO_STATE_DIR");
    return folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) : folder;
}

std::optional<QByteArray> JournalFile::read()
{
    flush();
    QFile file(m_path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(kLargestJournal);
}

void JournalFile::save(const QByteArray& bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending = bytes;
    }
    m_wake.notify_one();
}

void JournalFile::flush()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
}

QString JournalFile::setAside()
{
    flush();
    if (!QFile::exists(m_path))
        return {};
    const QString stem = QStringLiteral("journal-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString name = QDir(m_folder).filePath(stem + QStringLiteral(".json"));
    for (int n = 2; QFile::exists(name); ++n)
        name = QDir(m_folder).filePath(stem + QStringLiteral("-%1.json").arg(n));
    return QFile::rename(m_path, name) ? name : QString();
}

void JournalFile::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending)
            return;
        const QByteArray bytes = *std::exchange(m_pending, std::nullopt);
        m_writing = true;
        lock.unlock();
        const QString error = write(bytes);
        lock.lock();
        m_writing = false;
        if (!error.isEmpty() && !std::exchange(m_warned, true))
            std::fprintf(stderr, "korvo-timer: cannot keep the game in %s: %s\n", qPrintable(m_path),
                         qPrintable(error));
        m_idle.notify_all();
    }
}

QString JournalFile::write(const QByteArray& bytes) const
{
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("cannot make the folder");
    QSaveFile file(m_path);
    // A full disk shows at flush; commit() alone would not notice, and must then not replace the old file.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
#ifdef Q_OS_UNIX
    // The new name is on disk only once the folder is: without this a power cut could bring back a state
    // several seconds old (the file system's own commit interval).
    const int dir = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
#endif
    return {};
}

} // namespace korvo::platform
