#include "platform/neighbour_table.h"

#include <QFile>
#include <QNetworkInterface>
#include <QRegularExpression>

#ifdef Q_OS_WIN
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on
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

std::optional<QString> hardwareAddressInArpTable(const QByteArray& arpTable, const QString& ipv4Address,
                                                 const QStringList& interfaces)
{
    // IP address, HW type, Flags, HW address, Mask, Device; a heading first.
    static const QRegularExpression mac(QStringLiteral("^[0-9a-f]{2}(:[0-9a-f]{2}){5}$"));
    static const QString zeroMac = QStringLiteral("00:00:00:00:00:00");
    std::optional<QString> found;
    // Every complete entry: (IP address, hardware address).
    QList<QPair<QString, QString>> complete;
    const QList<QByteArray> lines = arpTable.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 6)
            continue;
        bool ok = false;
        const uint flags = QString::fromLatin1(fields[2]).toUInt(&ok, 16);
        if (!ok || !(flags & 0x2))
            continue;
        const QString address = QString::fromLatin1(fields[3]).toLower();
        if (!mac.match(address).hasMatch() || address == zeroMac)
            continue;
        complete.append({QString::fromLatin1(fields[0]), address});
        if (QString::fromLatin1(fields[0]) != ipv4Address)
            continue;
        if (!interfaces.isEmpty() && !interfaces.contains(QString::fromLatin1(fields[5])))
            continue;
        if (found && *found != address)
            return std::nullopt;
        found = address;
    }
    // One hardware address for more than one IP address: a bridge that
    // answers for several lasers (proxy ARP, MAC NAT), or a laser that was
    // here under another address. Which it is cannot be told: no identity.
    if (found)
        for (const auto& [ip, address] : complete)
            if (address == *found && ip != ipv4Address)
                return std::nullopt;
    return found;
}

QList<LocalSubnet> localSubnets()
{
    QList<LocalSubnet> subnets;
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : all) {
        if (!(interface.flags() & QNetworkInterface::IsUp))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries)
            subnets += LocalSubnet{interface.name(), entry.ip(), entry.prefixLength()};
    }
    return subnets;
}

#ifdef Q_OS_WIN
namespace {

// The neighbour table's entry for an IPv4 address, as the system keeps it;
// reading it sends nothing (unlike ResolveIpNetEntry2, which asks the link).
std::optional<QString> hardwareAddressOnWindows(quint32 ipv4)
{
    PMIB_IPNET_TABLE2 table = nullptr;
    if (GetIpNetTable2(AF_INET, &table) != NO_ERROR || !table)
        return std::nullopt;
    std::optional<QString> found;
    bool disagree = false;
    QList<QPair<quint32, QString>> others;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPNET_ROW2& row = table->Table[i];
        if (row.Address.si_family != AF_INET)
            continue;
        const quint32 rowAddress = ntohl(row.Address.Ipv4.sin_addr.S_un.S_addr);
        if (row.State != NlnsReachable && row.State != NlnsStale && row.State != NlnsDelay &&
            row.State != NlnsProbe && row.State != NlnsPermanent)
            continue;
        if (row.PhysicalAddressLength != 6)
            continue;
        QStringList bytes;
        bool zero = true;
        for (int b = 0; b < 6; ++b) {
            bytes += QStringLiteral("%1").arg(uint(row.PhysicalAddress[b]), 2, 16, QLatin1Char('0'));
            zero = zero && row.PhysicalAddress[b] == 0;
        }
        if (zero)
            continue;
        const QString address = bytes.join(QLatin1Char(':'));
        if (rowAddress != ipv4) {
            others.append({rowAddress, address});
            continue;
        }
        if (found && *found != address)
            disagree = true;
        found = address;
    }
    FreeMibTable(table);
    // One hardware address for more than one IP address: which laser it
    // is cannot be told (see hardwareAddressInArpTable).
    if (found)
        for (const auto& other : others)
            if (other.second == *found)
                disagree = true;
    return disagree ? std::nullopt : found;
}

}  // namespace
#endif

ControllerIdentity readControllerIdentity(const QString& peerAddress, const QString& localAddress)
{
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
    std::optional<QString> hardware;
#ifdef Q_OS_WIN
    hardware = hardwareAddressOnWindows(*peer4);
#else
    QFile arp(QStringLiteral("/proc/net/arp"));
    if (arp.open(QIODevice::ReadOnly))
        hardware = hardwareAddressInArpTable(arp.readAll(), QHostAddress(*peer4).toString(), place.interfaces);
#endif
    if (!hardware)
        return {};
    return {ControllerIdentity::Kind::Hardware, *hardware};
}

}  // namespace tarvo::platform
