// The neighbour table read without a network: the text of /proc/net/arp
// and the decision which peers may be looked up at all.
#include "platform/neighbour_table.h"
#include "virtual_platform.h"

#include <QtTest>

using tarvo::platform::ControllerIdentity;
using tarvo::platform::hardwareAddressInArpTable;
using tarvo::platform::LocalSubnet;
using tarvo::platform::PeerPlace;
using tarvo::platform::placePeer;

namespace {

const QByteArray arpTable =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.100.20   0x1         0x2         00:1A:2B:3C:4D:5E     *        eth0\n"
    "192.168.100.21   0x1         0x0         00:00:00:00:00:00     *        eth0\n"
    "192.168.100.24   0x1         0x0         02:00:00:00:00:24     *        eth0\n"
    "192.168.100.22   0x1         0x2         00:00:00:00:00:00     *        eth0\n"
    "192.168.100.23   0x1         0x6         02:00:00:00:00:23     *        eth0\n"
    "10.77.1.2        0x1         0x2         02:00:00:77:01:02     *        veth1\n"
    "10.77.1.2        0x1         0x2         02:00:00:77:09:09     *        wlan0\n";

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
    void aCompleteEntryGivesItsAddressInLowerCase()
    {
        QCOMPARE(hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.20")),
                 std::optional<QString>(QStringLiteral("00:1a:2b:3c:4d:5e")));
        // Complete and permanent: flags 0x6 hold 0x2.
        QCOMPARE(hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.23")),
                 std::optional<QString>(QStringLiteral("02:00:00:00:00:23")));
    }

    void incompleteZeroAndMissingEntriesGiveNothing()
    {
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.21")));
        // An entry that failed can keep the address it once had.
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.24")));
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.22")));
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.2")));
        // Not a prefix match either.
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.2"), {QStringLiteral("eth0")}));
        QVERIFY(!hardwareAddressInArpTable(QByteArray(), QStringLiteral("192.168.100.20")));
        QVERIFY(!hardwareAddressInArpTable(arpTable.left(arpTable.indexOf('\n')), QStringLiteral("IP")));
    }

    void onlyTheInterfacesOfThePeersSubnetCount()
    {
        QCOMPARE(hardwareAddressInArpTable(arpTable, QStringLiteral("10.77.1.2"), {QStringLiteral("veth1")}),
                 std::optional<QString>(QStringLiteral("02:00:00:77:01:02")));
        QCOMPARE(hardwareAddressInArpTable(arpTable, QStringLiteral("10.77.1.2"), {QStringLiteral("wlan0")}),
                 std::optional<QString>(QStringLiteral("02:00:00:77:09:09")));
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("192.168.100.20"), {QStringLiteral("veth1")}));
        // Two links disagree about the address: no identity rather than a guess.
        QVERIFY(!hardwareAddressInArpTable(arpTable, QStringLiteral("10.77.1.2")));
    }

    void oneHardwareAddressForTwoLasersIsNoIdentity()
    {
        // A proxy-ARP bridge answers for both lasers with its own MAC (or a
        // laser was seen under another address): neither can be told.
        const QByteArray bridged = arpTable
                                   + "192.168.100.30   0x1         0x2         02:00:00:00:b0:01     *        eth0\n"
                                     "192.168.100.31   0x1         0x2         02:00:00:00:b0:01     *        eth0\n"
                                     "192.168.100.32   0x1         0x0         02:00:00:00:00:23     *        eth0\n";
        QVERIFY(!hardwareAddressInArpTable(bridged, QStringLiteral("192.168.100.30")));
        QVERIFY(!hardwareAddressInArpTable(bridged, QStringLiteral("192.168.100.31"), {QStringLiteral("eth0")}));
        // An incomplete entry that once had the same address does not count.
        QCOMPARE(hardwareAddressInArpTable(bridged, QStringLiteral("192.168.100.23")),
                 std::optional<QString>(QStringLiteral("02:00:00:00:00:23")));
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
