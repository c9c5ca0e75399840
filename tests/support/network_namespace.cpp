#include "network_namespace.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

constexpr int commandTimeoutMs = 10000;

// Runs a program to its end; its exit code, or -1 when it did not end.
int runToEnd(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(commandTimeoutMs))
        return -1;
    if (!process.waitForFinished(commandTimeoutMs)) {
        process.kill();  // this PID only
        process.waitForFinished(commandTimeoutMs);
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString ipProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("ip"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                           QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
}

// Names made here: the namespace "tarvo-<pid>-<subnet>", the veth ends
// "tv<pid>h<subnet>" (here) and "tv<pid>n<subnet>" (there), at most 15
// characters.
const QRegularExpression& namespacePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^tarvo-(\\d+)-(\\d+)\\b"));
    return pattern;
}

QString hostInterfaceName(qint64 pid, int subnet)
{
    return QStringLiteral("tv%1h%2").arg(pid).arg(subnet);
}

}  // namespace

QString NetworkNamespace::unavailableReason()
{
#ifndef Q_OS_LINUX
    return QStringLiteral("network namespaces are Linux's");
#else
    if (geteuid() != 0)
        return QStringLiteral("making network namespaces needs root");
    if (ipProgram().isEmpty())
        return QStringLiteral("the ip program (iproute2) is not installed");
    if (runToEnd(ipProgram(), {QStringLiteral("netns"), QStringLiteral("list")}) != 0)
        return QStringLiteral("ip netns is unavailable here");
    return QString();
#endif
}

NetworkNamespace::NetworkNamespace(int subnet, const QString& mac)
{
    const qint64 pid = QCoreApplication::applicationPid();
    name_ = QStringLiteral("tarvo-%1-%2").arg(pid).arg(subnet);
    hostInterface_ = hostInterfaceName(pid, subnet);
    peerInterface_ = QStringLiteral("tv%1n%2").arg(pid).arg(subnet);
    prefix_ = QStringLiteral("10.77.%1.").arg(subnet);
    address_ = prefix_ + QLatin1Char('2');
    if (subnet < 0 || subnet > 255) {
        error_ = QStringLiteral("subnet %1 is not an address byte").arg(subnet);
        return;
    }
    removeLeftovers();
    removeAll();
    const QString host = hostAddress() + QStringLiteral("/24");
    const QString peer = address_ + QStringLiteral("/24");
    up_ = ip({QStringLiteral("netns"), QStringLiteral("add"), name_}) &&
          ip({QStringLiteral("link"), QStringLiteral("add"), hostInterface_, QStringLiteral("type"), QStringLiteral("veth"),
              QStringLiteral("peer"), QStringLiteral("name"), peerInterface_, QStringLiteral("netns"), name_}) &&
          ip({QStringLiteral("addr"), QStringLiteral("add"), host, QStringLiteral("dev"), hostInterface_}) &&
          ip({QStringLiteral("link"), QStringLiteral("set"), hostInterface_, QStringLiteral("up")}) &&
          ip({QStringLiteral("-n"), name_, QStringLiteral("link"), QStringLiteral("set"), peerInterface_,
              QStringLiteral("address"), mac}) &&
          ip({QStringLiteral("-n"), name_, QStringLiteral("addr"), QStringLiteral("add"), peer, QStringLiteral("dev"),
              peerInterface_}) &&
          ip({QStringLiteral("-n"), name_, QStringLiteral("link"), QStringLiteral("set"), peerInterface_,
              QStringLiteral("up")}) &&
          ip({QStringLiteral("-n"), name_, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
              QStringLiteral("up")});
    if (!up_)
        removeAll();
}

NetworkNamespace::~NetworkNamespace()
{
    removeAll();
}

QString NetworkNamespace::hostAddress() const
{
    return prefix_ + QLatin1Char('1');
}

bool NetworkNamespace::moveTo(const QString& address)
{
    if (!address.startsWith(prefix_)) {
        error_ = address + QStringLiteral(" is not in ") + prefix_ + QStringLiteral("0/24");
        return false;
    }
    // The old one goes first: deleting a primary address takes the
    // secondary ones with it.
    if (!ip({QStringLiteral("-n"), name_, QStringLiteral("addr"), QStringLiteral("del"), address_ + QStringLiteral("/24"),
             QStringLiteral("dev"), peerInterface_}) ||
        !ip({QStringLiteral("-n"), name_, QStringLiteral("addr"), QStringLiteral("add"), address + QStringLiteral("/24"),
             QStringLiteral("dev"), peerInterface_}))
        return false;
    address_ = address;
    return true;
}

bool NetworkNamespace::forgetNeighbour(const QString& address)
{
    return ip({QStringLiteral("neigh"), QStringLiteral("del"), address, QStringLiteral("dev"), hostInterface_});
}

bool NetworkNamespace::setNeighbourState(const QString& address, const QString& state)
{
    return ip({QStringLiteral("neigh"), QStringLiteral("change"), address, QStringLiteral("dev"), hostInterface_,
               QStringLiteral("nud"), state});
}

bool NetworkNamespace::addRoutedAddress(const QString& addressCidr, const QString& subnetCidr, Route route)
{
    QStringList add{QStringLiteral("route"), QStringLiteral("add"), subnetCidr};
    if (route == Route::ThroughGateway)
        add += QStringList{QStringLiteral("via"), address_};
    add += QStringList{QStringLiteral("dev"), hostInterface_};
    // The route goes with the host interface when that is deleted.
    return ip({QStringLiteral("-n"), name_, QStringLiteral("addr"), QStringLiteral("add"), addressCidr,
               QStringLiteral("dev"), QStringLiteral("lo")}) &&
           ip(add);
}

QStringList NetworkNamespace::launcher() const
{
    return {ipProgram(), QStringLiteral("netns"), QStringLiteral("exec"), name_};
}

QStringList NetworkNamespace::commandLine(const QString& program, const QStringList& arguments) const
{
    return launcher() + QStringList{program} + arguments;
}

bool NetworkNamespace::run(const QString& program, const QStringList& arguments)
{
    const QStringList line = commandLine(program, arguments);
    QString output;
    if (runToEnd(line.first(), line.mid(1), &output) == 0)
        return true;
    error_ = line.join(QLatin1Char(' ')) + QStringLiteral(": ") + output.trimmed();
    return false;
}

bool NetworkNamespace::ip(const QStringList& arguments, bool mayFail)
{
    QString output;
    if (runToEnd(ipProgram(), arguments, &output) == 0)
        return true;
    if (!mayFail && error_.isEmpty())
        error_ = QStringLiteral("ip ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") + output.trimmed();
    return false;
}

void NetworkNamespace::removeAll()
{
    // Deleting the namespace deletes its veth end and with it the pair;
    // the host end is deleted too in case the pair outlived a namespace.
    ip({QStringLiteral("netns"), QStringLiteral("del"), name_}, true);
    ip({QStringLiteral("link"), QStringLiteral("del"), hostInterface_}, true);
}

void NetworkNamespace::removeLeftovers()
{
    QString list;
    if (runToEnd(ipProgram(), {QStringLiteral("netns"), QStringLiteral("list")}, &list) != 0)
        return;
    for (const QString& line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto m = namespacePattern().match(line);
        if (!m.hasMatch())
            continue;
        const qint64 pid = m.captured(1).toLongLong();
        if (pid == QCoreApplication::applicationPid() || QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)))
            continue;  // ours, or a run that still goes on
        const QString name = m.captured(0);
        runToEnd(ipProgram(), {QStringLiteral("netns"), QStringLiteral("del"), name});
        runToEnd(ipProgram(), {QStringLiteral("link"), QStringLiteral("del"), hostInterfaceName(pid, m.captured(2).toInt())});
    }
}
