#include "virtual_processes.h"

#include "platform/delayed_start.h"

namespace tarvo::platform {

VirtualProcessLauncher::ProcessRecord* VirtualProcessLauncher::process(std::int64_t handle)
{
    for (auto& p : processes)
        if (p.handle == handle)
            return &p;
    return nullptr;
}

std::int64_t VirtualProcessLauncher::startProcess(const QString& program, const QStringList& arguments,
                                           ProcessWindow window, std::function<void(const QString& line)> onLine,
                                           std::function<void(int exitCode)> onFinished)
{
    if (failProcessStart)
        return 0;
    processes.push_back({nextHandle++, program, arguments, window, false, std::move(onLine), std::move(onFinished)});
    if (onProcessStarted)
        onProcessStarted(processes.back());
    return processes.back().handle;
}

void VirtualProcessLauncher::startDetachedDelayed(const QString& program, int delayMs)
{
    detachedStarts.push_back({program, delayMs, delayedStartCommandLine(program, delayMs)});
}

void VirtualProcessLauncher::closeProcess(std::int64_t handle)
{
    for (auto& p : processes) {
        if (p.handle == handle && !p.closed) {
            p.closed = true;
            if (onProcessClosed)
                onProcessClosed(p);
        }
    }
}

ControllerIdentity VirtualNeighbourTable::controllerIdentity(const QString& peerAddress, const QString&)
{
    identityQueries += peerAddress;
    const auto known = identities.constFind(peerAddress);
    if (known != identities.constEnd())
        return *known;
    if (peerAddress.startsWith(QLatin1String("127.")) || peerAddress == QLatin1String("::1"))
        return {ControllerIdentity::Kind::Local, peerAddress};
    return onLink(peerAddress);
}

ControllerIdentity VirtualNeighbourTable::onLink(const QString& address)
{
    const QStringList octets = address.split(QLatin1Char('.'));
    if (octets.size() != 4)
        return {};
    QString mac = QStringLiteral("02:00");
    for (const QString& octet : octets)
        mac += QStringLiteral(":%1").arg(octet.toInt(), 2, 16, QLatin1Char('0'));
    return {ControllerIdentity::Kind::Hardware, mac};
}

}  // namespace tarvo::platform
