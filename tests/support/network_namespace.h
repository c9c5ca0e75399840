#pragma once
// A network namespace joined to this one by a veth pair, for tests that
// need a real link with a chosen link-layer address: the PC's side is
// 10.77.<subnet>.1/24 here, the namespace's side 10.77.<subnet>.2/24 with
// the given MAC. Names carry this process's PID; whatever a crashed earlier
// run left under the same names (or under the PID of a process that no
// longer lives) is deleted first, and everything made is removed on
// destruction. Needs root and iproute2.

#include <QString>
#include <QStringList>

class NetworkNamespace {
public:
    // Why this machine cannot make namespaces (for QSKIP); empty when it can.
    static QString unavailableReason();

    NetworkNamespace(int subnet, const QString& mac);
    ~NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    // False when making it failed; error() says what failed.
    bool isUp() const { return up_; }
    const QString& error() const { return error_; }

    const QString& name() const { return name_; }
    // The PC's side of the link, in this namespace.
    const QString& hostInterface() const { return hostInterface_; }
    QString hostAddress() const;
    // The namespace side's current address (without prefix).
    const QString& address() const { return address_; }

    // Moves the namespace side to another address of the same /24.
    bool moveTo(const QString& address);
    // The PC forgets what its neighbour table holds for address on this
    // link (as it does once an unused entry has aged out).
    bool forgetNeighbour(const QString& address);
    // Sets the state of the PC's entry for address on this link ("stale",
    // "reachable"), keeping its hardware address.
    bool setNeighbourState(const QString& address, const QString& state);
    // How the PC reaches an address outside the link's subnet.
    enum class Route {
        // Through the namespace side as gateway.
        ThroughGateway,
        // Straight onto the link: the namespace answers the PC's ARP for
        // it, so the PC's neighbour table holds the address.
        OntoTheLink,
    };
    // Gives the namespace another address on its loopback, and routes
    // subnetCidr to it from here.
    bool addRoutedAddress(const QString& addressCidr, const QString& subnetCidr, Route route);

    // The command line that runs what follows it inside the namespace.
    QStringList launcher() const;
    // The command line that runs program inside the namespace.
    QStringList commandLine(const QString& program, const QStringList& arguments = {}) const;
    // Runs a command inside the namespace to its end (bounded).
    bool run(const QString& program, const QStringList& arguments);

private:
    bool ip(const QStringList& arguments, bool mayFail = false);
    void removeAll();
    static void removeLeftovers();

    QString name_;
    QString hostInterface_;
    QString peerInterface_;
    QString prefix_;
    QString address_;
    bool up_ = false;
    QString error_;
};
