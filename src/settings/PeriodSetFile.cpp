#include "settings/PeriodSetFile.h"

#include "errors/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace korvo::settings {

void openForWriting(QSaveFile& file)
{
    if (file.open(QIODevice::WriteOnly))
        return;
    if (!QFileInfo(file.fileName()).absoluteDir().exists())
        errors::raise(errors::err::PathNotFound);
    errors::raise(errors::err::PathFileAccess);
}

void writeAll(QSaveFile& file, const QByteArray& bytes)
{
    if (!file.isOpen())
        errors::raise(errors::err::BadFileName);
    // The bytes only reach the disk on flush; a full disk must fail here, since QSaveFile::commit() does
    // not notice a failed flush and would put an empty file in place of the old one.
    if (file.write(bytes) != bytes.size() || !file.flush())
        errors::raise(errors::err::PathFileAccess);
}

void commit(QSaveFile& file)
{
    if (!file.isOpen())
        errors::raise(errors::err::BadFileName);
    // Only now does the new file replace the old one; until then the old one stays as it was. A write
    // that failed and was ignored leaves an incomplete file, which must never take the old one's place.
    if (file.error() != QFileDevice::NoError)
        file.cancelWriting();
    if (!file.commit())
        errors::raise(errors::err::PathFileAccess);
}

QByteArray readWhole(const QString& name)
{
    QFile file(name);
    if (!file.exists())
        errors::raise(errors::err::FileNotFound);
    if (!file.open(QIODevice::ReadOnly))
        errors::raise(errors::err::PathFileAccess);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        errors::raise(errors::err::PathFileAccess);
    return bytes;
}

} // namespace korvo::settings
