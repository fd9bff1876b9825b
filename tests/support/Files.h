#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvo::test {

/// Writes a whole file; the test stops when it cannot. Returns the path.
inline QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

/// A whole file, or "<unreadable>".
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Root reads and writes any file and folder: take that right out of (or back into) this thread's effective
/// set, so that permissions refuse a test as they refuse an operator.
inline void overridePermissions(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    if (::syscall(SYS_capget, &header, caps) != 0)
        return;
    const unsigned bits = (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH);
    caps[0].effective = on ? caps[0].effective | (caps[0].permitted & bits) : caps[0].effective & ~bits;
    ::syscall(SYS_capset, &header, caps);
}

} // namespace korvo::test
