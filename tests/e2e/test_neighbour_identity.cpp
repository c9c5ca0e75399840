// The controller's hardware identity on a real link: the simulator runs in
// a network namespace behind a veth pair whose far end has a chosen MAC,
// the PC connects to it, and the Qt platform reads the MAC from the
// neighbour table. Everything stays in this machine's own namespaces.
#include "card_copy.h"
#include "network_namespace.h"
#include "platform/neighbour_table.h"
#include "platform/qt_platform.h"
#include "simulator_process.h"

#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using tarvo::platform::ControllerIdentity;

namespace {

// Runs of this test at the same time use subnets of their own.
const int subnet = 1 + int(QCoreApplication::applicationPid() % 250);
const QString firstMac = QStringLiteral("02:00:00:77:01:02");
const QString secondMac = QStringLiteral("02:00:00:77:01:03");

ControllerIdentity hardware(const QString& mac)
{
    return {ControllerIdentity::Kind::Hardware, mac};
}

}  // namespace

class TestNeighbourIdentity : public QObject {
    Q_OBJECT

    tarvo::platform::QtPlatform platform;
    QTemporaryDir card;

    // Starts the simulator inside space, listening on bind.
    bool startSimulator(SimulatorProcess& simulator, NetworkNamespace& space, const QString& bind)
    {
        const bool started = simulator.start({QStringLiteral("--bind"), bind, QStringLiteral("--port"),
                                              QStringLiteral("1138"), QStringLiteral("--card"), card.path()},
                                             space.launcher());
        if (!started)
            qWarning("%s", simulator.errors().constData());
        return started;
    }

    // Connects from here as the tool does, and reads the identity while the
    // connection is up.
    ControllerIdentity identityOverConnection(const QString& address)
    {
        QTcpSocket socket;
        socket.connectToHost(address, 1138);
        if (!socket.waitForConnected(5000)) {
            qWarning("no connection to %s: %s", qPrintable(address), qPrintable(socket.errorString()));
            return {ControllerIdentity::Kind::Unknown, QStringLiteral("no connection")};
        }
        return platform.controllerIdentity(socket.peerAddress().toString());
    }

private slots:
    void initTestCase()
    {
        const QString reason = NetworkNamespace::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        QVERIFY(card.isValid());
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card.path()));
    }

    void theMacOfTheLinkIsTheControllersIdentity()
    {
        NetworkNamespace space(subnet, firstMac);
        QVERIFY2(space.isUp(), qPrintable(space.error()));
        SimulatorProcess simulator;
        QVERIFY(startSimulator(simulator, space, space.address()));
        QCOMPARE(identityOverConnection(space.address()), hardware(firstMac));
    }

    void anotherLaserOnTheSameAddressHasAnotherIdentity()
    {
        auto first = std::make_unique<NetworkNamespace>(subnet, firstMac);
        QVERIFY2(first->isUp(), qPrintable(first->error()));
        {
            SimulatorProcess simulator;
            QVERIFY(startSimulator(simulator, *first, first->address()));
            QCOMPARE(identityOverConnection(first->address()), hardware(firstMac));
        }
        first.reset();

        NetworkNamespace second(subnet, secondMac);
        QVERIFY2(second.isUp(), qPrintable(second.error()));
        SimulatorProcess simulator;
        QVERIFY(startSimulator(simulator, second, QStringLiteral("0.0.0.0")));
        QCOMPARE(identityOverConnection(second.address()), hardware(secondMac));

        // The same laser after a card swap, on another address.
        const QString moved = second.hostAddress().chopped(1) + QLatin1Char('3');
        QVERIFY2(second.moveTo(moved), qPrintable(second.error()));
        QCOMPARE(identityOverConnection(moved), hardware(secondMac));
    }

    void aControllerBehindAGatewayHasNoIdentity()
    {
        NetworkNamespace space(subnet, firstMac);
        QVERIFY2(space.isUp(), qPrintable(space.error()));
        QVERIFY2(space.addRoutedAddress(QStringLiteral("10.78.0.2/24"), QStringLiteral("10.78.0.0/24"),
                                        NetworkNamespace::Route::ThroughGateway),
                 qPrintable(space.error()));
        SimulatorProcess simulator;
        QVERIFY(startSimulator(simulator, space, QStringLiteral("0.0.0.0")));
        const ControllerIdentity beyond = identityOverConnection(QStringLiteral("10.78.0.2"));
        QCOMPARE(beyond, ControllerIdentity{});
        // The table does know the gateway's MAC; it is not taken for the
        // controller's.
        QCOMPARE(platform.controllerIdentity(space.address()), hardware(firstMac));
    }

    void aNeighbourOutsideThePcsSubnetsHasNoIdentity()
    {
        // The table does hold a MAC for this address, but only a peer in
        // one of the PC's subnets is surely the one that answered.
        NetworkNamespace space(subnet, firstMac);
        QVERIFY2(space.isUp(), qPrintable(space.error()));
        QVERIFY2(space.addRoutedAddress(QStringLiteral("10.78.0.2/24"), QStringLiteral("10.78.0.0/24"),
                                        NetworkNamespace::Route::OntoTheLink),
                 qPrintable(space.error()));
        SimulatorProcess simulator;
        QVERIFY(startSimulator(simulator, space, QStringLiteral("0.0.0.0")));
        QCOMPARE(identityOverConnection(QStringLiteral("10.78.0.2")), ControllerIdentity{});
        QFile arp(QStringLiteral("/proc/net/arp"));
        QVERIFY(arp.open(QIODevice::ReadOnly));
        QCOMPARE(tarvo::platform::hardwareAddressInArpTable(arp.readAll(), QStringLiteral("10.78.0.2")),
                 std::optional<QString>(firstMac));
    }
};

QTEST_GUILESS_MAIN(TestNeighbourIdentity)
#include "test_neighbour_identity.moc"
