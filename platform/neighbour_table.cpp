#include "platform/neighbour_table.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QScopeGuard>
#include <QTimer>
#include <QtEndian>

#include <algorithm>

#ifdef Q_OS_WIN
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on
#else
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarvo::platform {

namespace {

// The IPv4 form of an address, also of an IPv4-mapped IPv6 one.
std::optional<quint32> ipv4Of(const QHostAddress& address)
{
    bool ok = false;
    const quint32 value = address.toIPv4Address(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

// The same address, an IPv4-mapped IPv6 one and its IPv4 form alike.
bool sameAddress(const QHostAddress& a, const QHostAddress& b)
{
    const auto a4 = ipv4Of(a);
    const auto b4 = ipv4Of(b);
    return a4 && b4 ? *a4 == *b4 : a.isEqual(b);
}

quint32 maskOf(int prefixLength)
{
    if (prefixLength <= 0)
        return 0;
    if (prefixLength >= 32)
        return 0xffffffffu;
    return ~((quint32(1) << (32 - prefixLength)) - 1);
}

}  // namespace

PeerPlace placePeer(const QHostAddress& peer, const QList<LocalSubnet>& subnets)
{
    PeerPlace place;
    if (peer.isNull())
        return place;
    if (peer.isLoopback()) {
        place.kind = PeerPlace::Kind::ThisPc;
        return place;
    }
    const auto peer4 = ipv4Of(peer);
    for (const LocalSubnet& subnet : subnets) {
        const auto own4 = ipv4Of(subnet.address);
        if (sameAddress(peer, subnet.address)) {
            place.kind = PeerPlace::Kind::ThisPc;
            place.interfaces.clear();
            return place;
        }
        if (!peer4 || !own4 || subnet.address.isLoopback())
            continue;
        const quint32 mask = maskOf(subnet.prefixLength);
        if ((*peer4 & mask) == (*own4 & mask) && !place.interfaces.contains(subnet.interfaceName))
            place.interfaces += subnet.interfaceName;
    }
    if (!place.interfaces.isEmpty())
        place.kind = PeerPlace::Kind::OnLink;
    return place;
}

QStringList connectionInterfaces(const PeerPlace& place, const QHostAddress& local, const QList<LocalSubnet>& subnets)
{
    if (local.isNull())
        return place.interfaces;
    QStringList used;
    for (const LocalSubnet& subnet : subnets) {
        if (sameAddress(local, subnet.address) && place.interfaces.contains(subnet.interfaceName) && !used.contains(subnet.interfaceName))
            used += subnet.interfaceName;
    }
    return used;
}

std::optional<QString> hardwareAddressAmong(const QList<NeighbourEntry>& table, quint32 ipv4,
                                            const QStringList& interfaces)
{
    using State = NeighbourEntry::State;
    static const QString zeroMac = QStringLiteral("00:00:00:00:00:00");
    const auto holdsAddress = [](const NeighbourEntry& entry) {
        return entry.state != State::Unusable && !entry.hardware.isEmpty() && entry.hardware != zeroMac;
    };
    std::optional<QString> found;
    for (const NeighbourEntry& entry : table) {
        if (entry.ipv4 != ipv4 || !holdsAddress(entry))
            continue;
        if (!interfaces.isEmpty() && !interfaces.contains(entry.interfaceName))
            continue;
        // An entry the connection did not refresh may still name the
        // device that had this address before.
        if (entry.state != State::Confirmed)
            return std::nullopt;
        if (found && *found != entry.hardware)
            return std::nullopt;
        found = entry.hardware;
    }
    // One hardware address for more than one IP address: a bridge that
    // answers for several lasers (proxy ARP, MAC NAT), or a laser that was
    // here under another address. Which it is cannot be told: no identity.
    if (found)
        for (const NeighbourEntry& entry : table)
            if (entry.ipv4 != ipv4 && holdsAddress(entry) && entry.hardware == *found)
                return std::nullopt;
    return found;
}

bool isBeingVerified(const QList<NeighbourEntry>& table, quint32 ipv4, const QStringList& interfaces)
{
    return std::any_of(table.cbegin(), table.cend(), [&](const NeighbourEntry& entry) {
        return entry.ipv4 == ipv4 && entry.state == NeighbourEntry::State::Verifying
               && (interfaces.isEmpty() || interfaces.contains(entry.interfaceName));
    });
}

QList<LocalSubnet> localSubnets()
{
    QList<LocalSubnet> subnets;
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& networkInterface : all) {
        if (!(networkInterface.flags() & QNetworkInterface::IsUp))
            continue;
        const auto entries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            subnets += LocalSubnet{networkInterface.name(), entry.ip(), entry.prefixLength()};
    }
    return subnets;
}

namespace {

QString hardwareText(const unsigned char* bytes, int length)
{
    QStringList parts;
    for (int b = 0; b < length; ++b)
        parts += QStringLiteral("%1").arg(uint(bytes[b]), 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(':'));
}

// No table holds more; a longer answer is not read to its end.
constexpr int maximumEntries = 65536;

}  // namespace

#ifdef Q_OS_WIN
std::optional<QList<NeighbourEntry>> readNeighbourTable()
{
    PMIB_IPNET_TABLE2 table = nullptr;
    if (GetIpNetTable2(AF_INET, &table) != NO_ERROR || !table)
        return std::nullopt;
    QList<NeighbourEntry> entries;
    for (ULONG i = 0; i < table->NumEntries && i < maximumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.Address.si_family != AF_INET)
            continue;
        NeighbourEntry entry;
        entry.ipv4 = ntohl(row.Address.Ipv4.sin_addr.S_un.S_addr);
        entry.interfaceName = QNetworkInterface::interfaceNameFromIndex(int(row.InterfaceIndex));
        if (row.PhysicalAddressLength == 6)
            entry.hardware = hardwareText(row.PhysicalAddress, 6);
        switch (row.State) {
        case NlnsReachable:
        case NlnsPermanent:
            entry.state = NeighbourEntry::State::Confirmed;
            break;
        case NlnsStale:
            entry.state = NeighbourEntry::State::Stale;
            break;
        case NlnsDelay:
        case NlnsProbe:
            entry.state = NeighbourEntry::State::Verifying;
            break;
        default:
            entry.state = NeighbourEntry::State::Unusable;
        }
        entries += entry;
    }
    FreeMibTable(table);
    return entries;
}
#else
// The kernel's NLMSG_ and RTA_ macros cast in C's way.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
namespace {

NeighbourEntry::State stateOf(quint16 nud)
{
    if (nud & (NUD_REACHABLE | NUD_PERMANENT))
        return NeighbourEntry::State::Confirmed;
    if (nud & NUD_STALE)
        return NeighbourEntry::State::Stale;
    if (nud & (NUD_DELAY | NUD_PROBE))
        return NeighbourEntry::State::Verifying;
    return NeighbourEntry::State::Unusable;
}

// One RTM_NEWNEIGH message as an entry; nullopt for another family.
std::optional<NeighbourEntry> entryOf(const nlmsghdr* header)
{
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return std::nullopt;
    const auto* message = static_cast<const ndmsg*>(NLMSG_DATA(header));
    if (message->ndm_family != AF_INET)
        return std::nullopt;
    NeighbourEntry entry;
    entry.state = stateOf(message->ndm_state);
    entry.interfaceName = QNetworkInterface::interfaceNameFromIndex(message->ndm_ifindex);
    bool hasAddress = false;
    int length = int(header->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(message) +
                                                             NLMSG_ALIGN(sizeof(ndmsg)));
         RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
        const auto* payload = static_cast<const unsigned char*>(RTA_DATA(attribute));
        if (attribute->rta_type == NDA_DST && RTA_PAYLOAD(attribute) == 4) {
            entry.ipv4 = qFromBigEndian<quint32>(payload);
            hasAddress = true;
        } else if (attribute->rta_type == NDA_LLADDR && RTA_PAYLOAD(attribute) == 6) {
            entry.hardware = hardwareText(payload, 6);
        }
    }
    if (!hasAddress)
        return std::nullopt;
    return entry;
}

}  // namespace

std::optional<QList<NeighbourEntry>> readNeighbourTable()
{
    // The kernel's own table over rtnetlink, with each entry's state:
    // /proc/net/arp shows a stale entry as complete as a fresh one.
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return std::nullopt;
    const auto closeSocket = qScopeGuard([fd] { ::close(fd); });
    const timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    struct {
        nlmsghdr header;
        ndmsg message;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.message.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return std::nullopt;

    QList<NeighbourEntry> entries;
    alignas(nlmsghdr) char buffer[32768];
    while (entries.size() < maximumEntries) {
        sockaddr_nl from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got <= 0)
            return std::nullopt;
        if (from.nl_pid != 0)
            continue;  // not the kernel
        int remaining = int(got);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, remaining);
             header = NLMSG_NEXT(header, remaining)) {
            if (header->nlmsg_type == NLMSG_DONE)
                return entries;
            if (header->nlmsg_type == NLMSG_ERROR)
                return std::nullopt;
            if (header->nlmsg_type != RTM_NEWNEIGH)
                continue;
            if (const auto entry = entryOf(header))
                entries += *entry;
        }
    }
    return std::nullopt;
}
#pragma GCC diagnostic pop
#endif

ControllerIdentity readControllerIdentity(const QString& peerAddress, const QString& localAddress, bool* verifying)
{
    if (verifying)
        *verifying = false;
    const QHostAddress peer(peerAddress);
    const QList<LocalSubnet> subnets = localSubnets();
    PeerPlace place = placePeer(peer, subnets);
    if (place.kind == PeerPlace::Kind::ThisPc)
        return {ControllerIdentity::Kind::Local, peer.toString()};
    const auto peer4 = ipv4Of(peer);
    if (place.kind != PeerPlace::Kind::OnLink || !peer4)
        return {};
    place.interfaces = connectionInterfaces(place, QHostAddress(localAddress), subnets);
    if (place.interfaces.isEmpty())
        return {};
    const auto table = readNeighbourTable();
    if (!table)
        return {};
    if (verifying)
        *verifying = isBeingVerified(*table, *peer4, place.interfaces);
    const std::optional<QString> hardware = hardwareAddressAmong(*table, *peer4, place.interfaces);
    if (!hardware)
        return {};
    return {ControllerIdentity::Kind::Hardware, *hardware};
}

ControllerIdentity QtNeighbourTable::controllerIdentity(const QString& peerAddress, const QString& localAddress)
{
    constexpr int kRereadMs = 250;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool verifying = false;
        const ControllerIdentity identity = readControllerIdentity(peerAddress, localAddress, &verifying);
        if (!verifying || waited.elapsed() >= kVerifyingMs)
            return identity;
        QEventLoop loop;
        QTimer::singleShot(kRereadMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

}  // namespace tarvo::platform
