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

namespace {

[[noreturn]] void invalidFormat(const QString& why)
{
    errors::raise(errors::err::InvalidFileFormat, errors::standardDescription(errors::err::InvalidFileFormat)
                                                      + QStringLiteral(": ") + why);
}

QString tooLarge()
{
    return QStringLiteral("larger than 1 MiB");
}

} // namespace

QByteArray readWhole(const QString& name)
{
    const QFileInfo info(name);
    if (!info.exists())
        errors::raise(errors::err::FileNotFound);
    // Opening a FIFO waits for a writer, and a device never ends: only a regular file is opened.
    if (!info.isFile())
        errors::raise(errors::err::PathFileAccess,
                      errors::standardDescription(errors::err::PathFileAccess) + QStringLiteral(": not a regular file"));
    if (info.size() > kMaxFileSize)
        invalidFormat(tooLarge());
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        errors::raise(errors::err::PathFileAccess);
    // One byte more than allowed tells a file that has grown since it was looked at.
    QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        errors::raise(errors::err::PathFileAccess);
    if (bytes.size() > kMaxFileSize)
        invalidFormat(tooLarge());
    return bytes;
}

PeriodFile readPeriodSet(const QByteArray& bytes)
{
    PeriodFile file = PeriodScript::read(bytes);
    if (file.rows.size() > kMaxPeriods)
        invalidFormat(QStringLiteral("more than %1 periods").arg(kMaxPeriods));
    return file;
}

void refuseLeftOut(const PeriodFile& file)
{
    if (file.leftOut.empty())
        return;
    const LeftOutRow& first = file.leftOut.front();
    QString why;
    switch (first.why) {
    case RowFault::Empty: why = QStringLiteral("has neither legend nor time"); break;
    case RowFault::TooLong:
        why = QStringLiteral("is longer than %1 characters").arg(PeriodScript::kMaxCellLength);
        break;
    case RowFault::ControlCharacter: why = QStringLiteral("holds a control character in its legend"); break;
    }
    invalidFormat(QStringLiteral("the period at line %1 %2; %3 left out")
                      .arg(first.line)
                      .arg(why)
                      .arg(file.leftOut.size() == 1 ? QStringLiteral("1 period")
                                                    : QStringLiteral("%1 periods").arg(file.leftOut.size())));
}

} // namespace korvo::settings
