#pragma once

#include "errors/RuntimeError.h"
#include "platform/DatagramSocket.h"
#include "platform/UdpSocket.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUdpSocket>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <optional>

namespace korvo::faults {

/// The program's real UDP socket kept on loopback: the hosts the clock asks for are recorded, every
/// datagram goes to a receiver of the test instead (its own port, so parallel tests never meet).
class LoopbackSocket final : public platform::DatagramSocket
{
public:
    LoopbackSocket()
    {
        if (!m_receiver.bind(QHostAddress(QHostAddress::LocalHost), 0))
            qFatal("cannot bind a loopback receiver");
        m_real.setRemoteHost(QStringLiteral("127.0.0.1"));
        m_real.setRemotePort(m_receiver.localPort());
    }

    void setProtocol(std::int32_t protocol) override { m_real.setProtocol(protocol); }
    void setRemoteHost(const QString& host) override { hosts.append(host); }
    void setRemotePort(std::int32_t) override {}
    void sendData(const QString& text) override
    {
        m_real.sendData(text);
        ++sends;
    }
    [[nodiscard]] QString localIp() const override { return QStringLiteral("127.0.0.1"); }

    /// What has arrived since the last call, waiting up to `waitMs` for each datagram sent and not yet read.
    QList<QByteArray> take(int waitMs = 1000)
    {
        QList<QByteArray> out;
        while (m_receiver.hasPendingDatagrams() || (m_read < sends && m_receiver.waitForReadyRead(waitMs))) {
            QByteArray bytes(static_cast<qsizetype>(m_receiver.pendingDatagramSize()), '\0');
            m_receiver.readDatagram(bytes.data(), bytes.size());
            out.append(bytes);
            ++m_read;
        }
        return out;
    }

    QStringList hosts;
    int sends = 0;

private:
    platform::UdpSocket m_real;
    QUdpSocket m_receiver;
    int m_read = 0;
};

/// Seconds of an MM:SS clock text.
[[nodiscard]] inline int secondsOf(const QString& text)
{
    return text.section(QLatin1Char(':'), 0, 0).toInt() * 60 + text.section(QLatin1Char(':'), 1, 1).toInt();
}

/// How a run of this test executable in a fresh namespace went.
struct ChildRun
{
    std::optional<QString> skipped; ///< why it could not run at all
    int exitCode = -1;
    QString output;
};

/// Runs this executable again with `childArgs`, inside new namespaces (`kinds`: "-n" network, "-m" mount);
/// as root plainly, otherwise inside a user namespace (unshare -r). Skipped where unshare is missing or
/// the kernel refuses.
inline ChildRun runSelfInNamespace(const QStringList& kinds, const QStringList& childArgs, int timeoutMs = 120000)
{
    ChildRun run;
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (unshare.isEmpty()) {
        run.skipped = QStringLiteral("needs unshare (util-linux) to make a namespace");
        return run;
    }
    QStringList flags = kinds;
    if (::geteuid() != 0)
        flags.prepend(QStringLiteral("-r"));
    QProcess probe;
    probe.start(unshare, flags + QStringList{QStringLiteral("true")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
        run.skipped = QStringLiteral("cannot make a namespace here: ")
            + QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
        return run;
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), env.value(QStringLiteral("PATH")) + QStringLiteral(":/usr/sbin:/sbin"));
    child.setProcessEnvironment(env);
    child.start(unshare, flags + QStringList{QCoreApplication::applicationFilePath()} + childArgs);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
    }
    run.output = QString::fromLocal8Bit(child.readAll());
    run.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return run;
}

/// Runs a command and says whether it succeeded; its output goes to the test log when it fails.
inline bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << program << args.join(QLatin1Char(' ')) << ":" << p.readAll().trimmed();
    return ok;
}

/// While it lives, this thread obeys file permissions even as root: the capabilities that let root read
/// and write any file (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) are out of its effective set. Without root
/// it does nothing: permissions already apply.
class ObeyFilePermissions final
{
public:
    ObeyFilePermissions()
    {
        if (::geteuid() != 0)
            return;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        const unsigned mask = (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH);
        reduced[0].effective &= ~mask;
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~ObeyFilePermissions()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    ObeyFilePermissions(const ObeyFilePermissions&) = delete;
    ObeyFilePermissions& operator=(const ObeyFilePermissions&) = delete;

    /// Permissions hold for this thread (not root, or root without the override).
    [[nodiscard]] bool active() const { return ::geteuid() != 0 || m_dropped; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace korvo::faults
