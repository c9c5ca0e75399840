#pragma once
// What the PC can tell of the hardware at the other end of a connection,
// from its neighbour table: lasers of one make may share an address, and
// one laser may come up on another address after a card swap, so their
// link-layer address tells them apart.

#include <QString>

namespace tarvo::platform {

struct ControllerIdentity {
    enum class Kind {
        // text is the link-layer address, lower-case "aa:bb:cc:dd:ee:ff".
        Hardware,
        // A peer on this PC (a simulator): text is its address, so two
        // simulators on two loopback addresses differ.
        Local,
        // Not known: behind a router, not in the neighbour table, or IPv6
        // on the link. text is empty.
        Unknown,
    };
    Kind kind = Kind::Unknown;
    QString text;

    bool operator==(const ControllerIdentity&) const = default;
};

class NeighbourTable {
public:
    virtual ~NeighbourTable() = default;

    // The hardware identity of the controller at peerAddress (dotted), read
    // from the PC's neighbour table while a connection to it is up, from
    // the interface that holds the connection's localAddress (any on the
    // peer's subnet when empty). Sends nothing.
    virtual ControllerIdentity controllerIdentity(const QString& peerAddress, const QString& localAddress) = 0;
};

}  // namespace tarvo::platform
