// The neighbour table read without a network: its entries' states and
// the decision which peers may be looked up at all.
#include "platform/neighbour_table.h"
#include "virtual_platform.h"

#include <QtTest>

using tarvo::platform::ControllerIdentity;
using tarvo::platform::hardwareAddressAmong;
using tarvo::platform::isBeingVerified;
using tarvo::platform::LocalSubnet;
using tarvo::platform::PeerPlace;
using tarvo::platform::placePeer;

namespace {

using State = tarvo::platform::NeighbourEntry::State;

quint32 ip(const char* address)
{
    return QHostAddress(QString::fromLatin1(address)).toIPv4Address();
}

tarvo::platform::NeighbourEntry entry(const char* address, const char* mac, State state, const char* interface = "eth0")
{
    return {ip(address), QString::fromLatin1(mac), QString::fromLatin1(interface), state};
}

const QList<tarvo::platform::NeighbourEntry> table{
    entry("192.168.100.20", "00:1a:2b:3c:4d:5e", State::Confirmed),
    entry("192.168.100.21", "", State::Unusable),
    // A failed entry can keep the address it once had.
    entry("192.168.100.24", "02:00:00:00:00:24", State::Unusable),
    entry("192.168.100.22", "00:00:00:00:00:00", State::Confirmed),
    entry("192.168.100.23", "02:00:00:00:00:23", State::Confirmed),
    entry("192.168.100.25", "02:00:00:00:00:25", State::Stale),
    entry("192.168.100.26", "02:00:00:00:00:26", State::Verifying),
    entry("10.77.1.2", "02:00:00:77:01:02", State::Confirmed, "veth1"),
    entry("10.77.1.2", "02:00:00:77:09:09", State::Confirmed, "wlan0"),
    entry("10.77.1.3", "02:00:00:77:01:03", State::Confirmed, "veth1"),
    entry("10.77.1.3", "02:00:00:77:09:08", State::Stale, "wlan0"),
};

std::optional<QString> hardwareOf(const char* address, const QList<tarvo::platform::NeighbourEntry>& entries = table,
                                  const QStringList& interfaces = {})
{
    return hardwareAddressAmong(entries, ip(address), interfaces);
}

std::optional<QString> mac(const char* text)
{
    return QString::fromLatin1(text);
}

QList<LocalSubnet> pcSubnets()
{
    return {
        {QStringLiteral("lo"), QHostAddress(QStringLiteral("127.0.0.1")), 8},
        {QStringLiteral("lo"), QHostAddress(QStringLiteral("::1")), 128},
        {QStringLiteral("eth0"), QHostAddress(QStringLiteral("192.168.100.10")), 24},
        {QStringLiteral("eth0"), QHostAddress(QStringLiteral("fe80::1")), 64},
        {QStringLiteral("tun0"), QHostAddress(QStringLiteral("172.16.5.5")), 32},
    };
}

PeerPlace::Kind placeOf(const char* peer)
{
    return placePeer(QHostAddress(QString::fromLatin1(peer)), pcSubnets()).kind;
}

}  // namespace

class TestNeighbourTable : public QObject {
    Q_OBJECT

private slots:
    void aConfirmedEntryGivesItsAddress()
    {
        QCOMPARE(hardwareOf("192.168.100.20"), mac("00:1a:2b:3c:4d:5e"));
        QCOMPARE(hardwareOf("192.168.100.23", table, {QStringLiteral("eth0")}), mac("02:00:00:00:00:23"));
    }

    void unusableUnconfirmedZeroAndMissingEntriesGiveNothing()
    {
        QVERIFY(!hardwareOf("192.168.100.21"));
        QVERIFY(!hardwareOf("192.168.100.24"));
        QVERIFY(!hardwareOf("192.168.100.22"));
        // Stale: nothing has confirmed lately that this device still has it.
        QVERIFY(!hardwareOf("192.168.100.25"));
        // Being verified: not yet, but read again shortly; only that one is.
        QVERIFY(!hardwareOf("192.168.100.26"));
        QVERIFY(isBeingVerified(table, ip("192.168.100.26")));
        QVERIFY(!isBeingVerified(table, ip("192.168.100.26"), {QStringLiteral("wlan0")}));
        QVERIFY(!isBeingVerified(table, ip("192.168.100.25")));
        QVERIFY(!isBeingVerified(table, ip("192.168.100.20")));
        QVERIFY(!hardwareOf("192.168.100.2"));
        QVERIFY(!hardwareOf("192.168.100.20", {}));
    }

    void onlyTheInterfacesOfThePeersSubnetCount()
    {
        QCOMPARE(hardwareOf("10.77.1.2", table, {QStringLiteral("veth1")}), mac("02:00:00:77:01:02"));
        QCOMPARE(hardwareOf("10.77.1.2", table, {QStringLiteral("wlan0")}), mac("02:00:00:77:09:09"));
        QVERIFY(!hardwareOf("192.168.100.20", table, {QStringLiteral("veth1")}));
        // Two links disagree about the address: no identity rather than a guess.
        QVERIFY(!hardwareOf("10.77.1.2"));
        // Another port's stale entry does not matter; the connection's own does.
        QCOMPARE(hardwareOf("10.77.1.3", table, {QStringLiteral("veth1")}), mac("02:00:00:77:01:03"));
        QVERIFY(!hardwareOf("10.77.1.3", table, {QStringLiteral("wlan0")}));
    }

    void oneHardwareAddressForTwoLasersIsNoIdentity()
    {
        // A proxy-ARP bridge answers for both lasers with its own MAC (or a
        // laser was seen under another address): neither can be told.
        auto bridged = table;
        bridged += {entry("192.168.100.30", "02:00:00:00:b0:01", State::Confirmed),
                    entry("192.168.100.31", "02:00:00:00:b0:01", State::Stale),
                    entry("192.168.100.32", "02:00:00:00:00:23", State::Unusable)};
        QVERIFY(!hardwareOf("192.168.100.30", bridged));
        QVERIFY(!hardwareOf("192.168.100.30", bridged, {QStringLiteral("eth0")}));
        // An unusable entry that once had the same address does not count.
        QCOMPARE(hardwareOf("192.168.100.23", bridged), mac("02:00:00:00:00:23"));
    }

    void aPeerInAnInterfacesSubnetIsOnLink()
    {
        const PeerPlace place = placePeer(QHostAddress(QStringLiteral("192.168.100.20")), pcSubnets());
        QCOMPARE(place.kind, PeerPlace::Kind::OnLink);
        QCOMPARE(place.interfaces, QStringList{QStringLiteral("eth0")});
        QCOMPARE(placeOf("192.168.100.255"), PeerPlace::Kind::OnLink);
        QCOMPARE(placeOf("::ffff:192.168.100.20"), PeerPlace::Kind::OnLink);
    }

    void aPeerOutsideEverySubnetIsBeyond()
    {
        QCOMPARE(placeOf("192.168.101.20"), PeerPlace::Kind::Beyond);
        QCOMPARE(placeOf("10.78.0.2"), PeerPlace::Kind::Beyond);
        // A /32 holds only the PC's own address.
        QCOMPARE(placeOf("172.16.5.6"), PeerPlace::Kind::Beyond);
        // The neighbour table is read for IPv4 only.
        QCOMPARE(placeOf("fe80::2"), PeerPlace::Kind::Beyond);
        QCOMPARE(placeOf("not an address"), PeerPlace::Kind::Beyond);
        QCOMPARE(placePeer(QHostAddress(QStringLiteral("192.168.100.20")), {}).kind, PeerPlace::Kind::Beyond);
    }

    void loopbackAndThePcsOwnAddressesAreThisPc()
    {
        QCOMPARE(placeOf("127.0.0.101"), PeerPlace::Kind::ThisPc);
        QCOMPARE(placeOf("::1"), PeerPlace::Kind::ThisPc);
        QCOMPARE(placeOf("192.168.100.10"), PeerPlace::Kind::ThisPc);
        QCOMPARE(placeOf("172.16.5.5"), PeerPlace::Kind::ThisPc);
        // Loopback without any interface known.
        QCOMPARE(placePeer(QHostAddress(QStringLiteral("127.0.0.1")), {}).kind, PeerPlace::Kind::ThisPc);
    }

    void twoSimulatorsOnThisPcHaveTwoIdentities()
    {
        const ControllerIdentity first = tarvo::platform::readControllerIdentity(QStringLiteral("127.0.0.101"));
        const ControllerIdentity second = tarvo::platform::readControllerIdentity(QStringLiteral("127.0.0.102"));
        QCOMPARE(first, (ControllerIdentity{ControllerIdentity::Kind::Local, QStringLiteral("127.0.0.101")}));
        QVERIFY(first != second);
        QCOMPARE(tarvo::platform::readControllerIdentity(QStringLiteral("::1")).kind, ControllerIdentity::Kind::Local);
        QCOMPARE(tarvo::platform::readControllerIdentity(QString()).kind, ControllerIdentity::Kind::Unknown);
    }

    void onlyThePortTheConnectionUsesIsRead()
    {
        // Two ports on one subnet: the other port's entry for the address
        // may be another laser's, an old one.
        QList<LocalSubnet> subnets = pcSubnets();
        subnets += {QStringLiteral("eth1"), QHostAddress(QStringLiteral("192.168.100.11")), 24};
        const PeerPlace place = placePeer(QHostAddress(QStringLiteral("192.168.100.20")), subnets);
        QCOMPARE(place.interfaces, (QStringList{QStringLiteral("eth0"), QStringLiteral("eth1")}));
        const auto through = [&](const char* local) {
            return tarvo::platform::connectionInterfaces(place, QHostAddress(QString::fromLatin1(local)), subnets);
        };
        QCOMPARE(through("192.168.100.11"), QStringList{QStringLiteral("eth1")});
        QCOMPARE(through("::ffff:192.168.100.10"), QStringList{QStringLiteral("eth0")});
        QCOMPARE(through("172.16.5.5"), QStringList{});  // not on the peer's subnet: nothing read
        QCOMPARE(tarvo::platform::connectionInterfaces(place, QHostAddress(), subnets), place.interfaces);
    }

    void theVirtualPlatformAnswersFromItsTable()
    {
        tarvo::platform::VirtualPlatform platform;
        const ControllerIdentity laser{ControllerIdentity::Kind::Hardware, QStringLiteral("02:00:00:77:01:02")};
        platform.identities[QStringLiteral("192.168.100.20")] = laser;
        QCOMPARE(platform.controllerIdentity(QStringLiteral("192.168.100.20"), {}), laser);
        QCOMPARE(platform.controllerIdentity(QStringLiteral("192.168.100.21"), {}),
                 (ControllerIdentity{ControllerIdentity::Kind::Hardware, QStringLiteral("02:00:c0:a8:64:15")}));
        QCOMPARE(platform.controllerIdentity(QStringLiteral("127.0.0.101"), {}),
                 (ControllerIdentity{ControllerIdentity::Kind::Local, QStringLiteral("127.0.0.101")}));
        QCOMPARE(platform.identityQueries.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestNeighbourTable)
#include "test_neighbour_table.moc"
