#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <unistd.h>

namespace korvo::test {

/// Runs shell lines, with ip on the path; true when they succeed.
inline bool sh(const QString& lines)
{
    return QProcess::execute(QStringLiteral("sh"), {"-c", "PATH=\"$PATH:/usr/sbin:/sbin\"; " + lines}) == 0;
}

/// Runs this test program again inside network and mount namespaces of its own, with loopback up and no
/// other link, and returns its exit status. Returns -1 inside them, and where none can be made; then
/// `whyNot` says so, for the tests that need one to skip with.
inline int rerunInNamespaces(QString& whyNot)
{
    if (qEnvironmentVariableIsSet("KORVO_TEST_INSIDE"))
        return -1;
    const QStringList flags = ::geteuid() == 0 ? QStringList{"-n", "-m"} : QStringList{"-r", "-n", "-m"};
    if (QProcess::execute(QStringLiteral("unshare"), flags + QStringList{"true"}) != 0) {
        whyNot = QStringLiteral("cannot make a namespace here (unshare %1 failed)").arg(flags.join(' '));
        return -1;
    }
    qputenv("KORVO_TEST_INSIDE", "1");
    const QStringList self = QStringList{QCoreApplication::applicationFilePath()} + QCoreApplication::arguments().mid(1);
    const int code = QProcess::execute(QStringLiteral("unshare"),
        flags + QStringList{"sh", "-c", "PATH=\"$PATH:/usr/sbin:/sbin\"; ip link set lo up && exec \"$@\"", "sh"} + self);
    return code < 0 ? 1 : code;
}

} // namespace korvo::test
