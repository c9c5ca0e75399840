#pragma once
// The controller's hardware identity as the PC's neighbour table knows it.
// The TCP connection to the controller has already made the kernel resolve
// the controller's link-layer address, so reading the table sends nothing.
//
// The table is consulted only for a peer in the subnet of one of the PC's
// own interfaces: any other peer is reached through a router, and the
// table's entry on the way would be the router's, not the controller's.

#include "platform/controller_identity.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvo::platform {

// One address of one of the PC's interfaces, with its subnet.
struct LocalSubnet {
    QString interfaceName;
    QHostAddress address;
    int prefixLength = 0;
};

// Where a peer is, seen from the PC.
struct PeerPlace {
    enum class Kind {
        // On this PC: loopback, or one of the PC's own addresses.
        ThisPc,
        // In the subnet of these interfaces: reached without a router.
        OnLink,
        // Behind a router, or not an address at all.
        Beyond,
    };
    Kind kind = Kind::Beyond;
    QStringList interfaces;
};

// Decides where peer is from the PC's interface addresses. Only IPv4
// peers (including IPv4-mapped IPv6) can be OnLink.
PeerPlace placePeer(const QHostAddress& peer, const QList<LocalSubnet>& subnets);

// Of the interfaces place found on the peer's subnet, the one the
// connection goes out of: the one holding its local address. With two
// ports on one subnet, the other port's entry may be another laser's, an
// old one. Empty when the local address is on none of them; all of them
// when no local address is known.
QStringList connectionInterfaces(const PeerPlace& place, const QHostAddress& local, const QList<LocalSubnet>& subnets);

// One entry of the PC's neighbour table.
struct NeighbourEntry {
    enum class State {
        // Answered lately (REACHABLE), or set by hand (PERMANENT).
        Confirmed,
        // Holds an address nothing has confirmed lately (STALE): it may be
        // another device's, one that was here before.
        Stale,
        // Was stale, and has just been used again (DELAY, PROBE): the
        // system is finding out whether it still holds, within seconds.
        Verifying,
        // Holds no usable address (INCOMPLETE, FAILED, NOARP).
        Unusable,
    };
    quint32 ipv4 = 0;
    // Lower-case "aa:bb:cc:dd:ee:ff"; empty when the entry has none.
    QString hardware;
    QString interfaceName;
    State state = State::Unusable;
};

// The hardware address of ipv4 in table, from its entries on one of
// interfaces (any interface when empty). nullopt when there is no
// confirmed entry, when an entry for it is unconfirmed (the connection did
// not refresh it, so it may be another laser's), when entries disagree, or
// when the same hardware address stands for another IP address too (a
// bridge answering for several lasers, or a laser seen before under
// another address).
std::optional<QString> hardwareAddressAmong(const QList<NeighbourEntry>& table, quint32 ipv4,
                                            const QStringList& interfaces = {});
// True when an entry of ipv4 on one of interfaces (any when empty) is
// being verified: read the table again shortly.
bool isBeingVerified(const QList<NeighbourEntry>& table, quint32 ipv4, const QStringList& interfaces = {});

// The PC's IPv4 neighbour table as the system keeps it; reading it sends
// nothing. nullopt when it cannot be read.
std::optional<QList<NeighbourEntry>> readNeighbourTable();

// The PC's interface addresses, from interfaces that are up.
QList<LocalSubnet> localSubnets();

// The identity of the controller at peerAddress: Local for this PC,
// Hardware from the neighbour table for an on-link IPv4 peer, Unknown
// otherwise (IPv6 peers on the link included: their table is not read).
// verifying, when given, says whether the peer's entry is being verified.
ControllerIdentity readControllerIdentity(const QString& peerAddress, const QString& localAddress = {},
                                          bool* verifying = nullptr);

// The neighbour table seam on the system's own table. A new connection
// over an entry that had gone stale (a laser back after its card swap)
// finds it being verified: the answer waits for the verification, at most
// kVerifyingMs, processing events meanwhile.
class QtNeighbourTable : public NeighbourTable {
public:
    // Linux verifies 5 s after the entry's use, then probes three times a
    // second apart; Windows alike.
    static constexpr int kVerifyingMs = 9000;
    ControllerIdentity controllerIdentity(const QString& peerAddress, const QString& localAddress) override;
};

}  // namespace tarvo::platform
