// The controller's hardware identity on a real link: the simulator runs in
// a network namespace behind a veth pair whose far end has a chosen MAC,
// the PC connects to it, and the Qt platform reads the MAC from the
// neighbour table. Everything stays in this machine's own namespaces. The
// tool keeps each laser's backups by that MAC, follows a laser to its new
// address, and writes no laser's backup onto another.
#include "card_copy.h"
#include "loopback_tool.h"
#include "network_namespace.h"
#include "window/updater.h"
#include "platform/neighbour_table.h"
#include "platform/qt_platform.h"
#include "simulator_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using tarvo::platform::ControllerIdentity;

namespace {

// Runs of this test at the same time use subnets of their own (1 to 200;
// the real-shell tier takes those above).
const int subnet = 1 + int(QCoreApplication::applicationPid() % 200);
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
    QTemporaryDir card, config;

    // Starts the simulator inside space, listening on bind.
    bool startSimulator(SimulatorProcess& simulator, NetworkNamespace& space, const QString& bind,
                        const QStringList& extra = {}, const QString& cardPath = {})
    {
        const bool started = simulator.start(QStringList{QStringLiteral("--bind"), bind, QStringLiteral("--port"),
                                                         QStringLiteral("1138"), QStringLiteral("--card"),
                                                         cardPath.isEmpty() ? card.path() : cardPath}
                                                 + extra,
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
        return platform.controllerIdentity(socket.peerAddress().toString(), socket.localAddress().toString());
    }

private slots:
    void initTestCase()
    {
        const QString reason = NetworkNamespace::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
        QVERIFY(card.isValid());
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card.path()));
        // The window's settings store, the test's own.
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
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

        // The same laser after a card swap, on another address: while the
        // PC's table still holds its old address too, one MAC stands for
        // two addresses, as behind a bridge that answers for several
        // lasers, so it cannot be told; once the old entry is gone, it can.
        const QString old = second.address();
        const QString moved = second.hostAddress().chopped(1) + QLatin1Char('3');
        QVERIFY2(second.moveTo(moved), qPrintable(second.error()));
        QCOMPARE(identityOverConnection(moved), ControllerIdentity{});
        QVERIFY2(second.forgetNeighbour(old), qPrintable(second.error()));
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
        QCOMPARE(platform.controllerIdentity(space.address(), {}), hardware(firstMac));
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
        const auto table = tarvo::platform::readNeighbourTable();
        QVERIFY(table);
        QCOMPARE(tarvo::platform::hardwareAddressAmong(*table, QHostAddress(QStringLiteral("10.78.0.2")).toIPv4Address()),
                 std::optional<QString>(firstMac));
    }

    void anEntryTheConnectionDidNotRefreshIsNoIdentity()
    {
        // A stale entry may still name the device that had the address
        // before; only one the link has confirmed lately is taken.
        NetworkNamespace space(subnet, firstMac);
        QVERIFY2(space.isUp(), qPrintable(space.error()));
        SimulatorProcess simulator;
        QVERIFY(startSimulator(simulator, space, space.address()));
        QTcpSocket socket;
        socket.connectToHost(space.address(), 1138);
        QVERIFY(socket.waitForConnected(5000));
        const auto identity = [&] {
            return platform.controllerIdentity(socket.peerAddress().toString(), socket.localAddress().toString());
        };
        QCOMPARE(identity(), hardware(firstMac));
        QVERIFY2(space.setNeighbourState(space.address(), QStringLiteral("stale")), qPrintable(space.error()));
        QCOMPARE(identity(), ControllerIdentity{});
        QVERIFY2(space.setNeighbourState(space.address(), QStringLiteral("reachable")), qPrintable(space.error()));
        QCOMPARE(identity(), hardware(firstMac));

        // A laser back after its card swap: the entry went stale while no
        // connection was up, and the new one has the system verify it. The
        // answer waits for that, no longer than it takes.
        socket.disconnectFromHost();
        QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
        QVERIFY2(space.setNeighbourState(space.address(), QStringLiteral("stale")), qPrintable(space.error()));
        socket.connectToHost(space.address(), 1138);
        QVERIFY(socket.waitForConnected(5000));
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(identity(), hardware(firstMac));
        QVERIFY(waited.elapsed() < tarvo::platform::QtNeighbourTable::kVerifyingMs);
    }

    void aBackupFollowsItsLaserToANewAddressAndOntoNoOther()
    {
        using tarvo::test::runTool;
        auto first = std::make_unique<NetworkNamespace>(subnet, firstMac);
        QVERIFY2(first->isUp(), qPrintable(first->error()));
        const QString address = first->address();
        tarvo::test::ProgramFolder program;
        QVERIFY(program.stage(first->hostAddress()) && program.stageTool());
        const QStringList tftp{QStringLiteral("--tftp-port"), QString::number(program.tftpPort)};
        const QString history = program.archives() + QStringLiteral("/history/mac-02-00-00-77-01-02");
        {
            SimulatorProcess laserA;
            QVERIFY(startSimulator(laserA, *first, QStringLiteral("0.0.0.0"), tftp));
            const auto backup = runTool(program, {QStringLiteral("--backup"), address}, config.path());
            QVERIFY2(backup.exitCode == 0 && backup.results.size() == 1, (backup.out + backup.err).constData());
            QCOMPARE(backup.results[0].hardware, firstMac);
            QCOMPARE(QDir(history).entryList({QStringLiteral("*_config.tgz")}, QDir::Files).size(), 1);

            // Its new card lacks a file, and brings it up on another address.
            QVERIFY(QFile::remove(card.filePath(QStringLiteral("media/user.conf"))));
            const QString moved = first->hostAddress().chopped(1) + QLatin1Char('3');
            QVERIFY2(first->moveTo(moved), qPrintable(first->error()));
            // The PC's table still holds the old address with the same MAC:
            // which laser answers cannot be told, and nothing is written.
            const auto unsure = runTool(program, {QStringLiteral("--restore"), moved}, config.path());
            QVERIFY2(unsure.exitCode == 7 && unsure.err.contains("cannot be told"), (unsure.out + unsure.err).constData());
            QVERIFY(!QFile::exists(card.filePath(QStringLiteral("media/user.conf"))));
            QVERIFY2(first->forgetNeighbour(address), qPrintable(first->error()));
            const auto restore = runTool(program, {QStringLiteral("--restore"), moved}, config.path());
            QVERIFY2(restore.exitCode == 0, (restore.out + restore.err).constData());
            QCOMPARE(restore.results[0].hardware, firstMac);
            QVERIFY(QFile::exists(card.filePath(QStringLiteral("media/user.conf"))));
            QVERIFY(transcriptsContain(program, QStringLiteral("[same laser (hardware %1), backed up at %2, now at %3]")
                                                    .arg(firstMac, address, moved)));
        }
        first.reset();

        // Another laser on the first one's address.
        NetworkNamespace second(subnet, secondMac);
        QVERIFY2(second.isUp(), qPrintable(second.error()));
        QTemporaryDir otherCard;
        QVERIFY(copyTree(sampleCard(QStringLiteral("B")), otherCard.path()));
        SimulatorProcess laserC;
        QVERIFY(startSimulator(laserC, second, QStringLiteral("0.0.0.0"), tftp, otherCard.path()));
        const auto refused = runTool(program, {QStringLiteral("--restore"), address}, config.path());
        QVERIFY2(refused.exitCode == 7 && refused.results.size() == 1, (refused.out + refused.err).constData());
        QCOMPARE(refused.results[0].result, QStringLiteral("other-laser"));
        QCOMPARE(refused.results[0].hardware, secondMac);
        QVERIFY2(refused.err.contains("--allow-other-laser"), refused.err.constData());

        // The window asks, naming both lasers; its default sends nothing.
        tarvo::platform::QtPlatform windowPlatform;
        program.use(windowPlatform);
        // The operator answers the default, no.
        struct Operator final : tarvo::workflow::OperatorPrompts {
            QStringList asked;
            void showMessage(const QString& text, tarvo::workflow::MessageIcon) override
            {
                qWarning("message: %s", qPrintable(text));
            }
            bool ask(const QString& text, tarvo::workflow::MessageIcon, const QString&, const QString&) override
            {
                asked << text;
                return false;
            }
        } prompts;
        const QStringList& asked = prompts.asked;
        tarvo::window::Updater updater(windowPlatform, prompts);
        updater.load();
        const auto kept = updater.store().backups();
        QCOMPARE(kept.size(), 1);
        updater.workflow().chooseBackupToRestore(kept[0]);
        int sent = 0;
        QObject::connect(&updater.link(), &tarvo::link::ControllerLink::lineSent, [&sent] { ++sent; });
        updater.startOrContinue(address);
        QCOMPARE(asked.size(), 1);
        for (const QString& named : {firstMac, secondMac, address})
            QVERIFY2(asked[0].contains(named), qPrintable(asked[0]));
        QCOMPARE(sent, 0);
        QVERIFY(updater.workflow().lastRun().outcome == tarvo::workflow::Workflow::Outcome::OtherLaser);
        QVERIFY(updater.workflow().phase() == tarvo::workflow::Workflow::Phase::Restore);
        updater.unload();
    }

private:
    static bool transcriptsContain(const tarvo::test::ProgramFolder& program, const QString& text)
    {
        const QDir folder(program.archives() + QStringLiteral("/transcripts"));
        for (const QString& name : folder.entryList(QDir::Files)) {
            QFile f(folder.filePath(name));
            if (f.open(QIODevice::ReadOnly) && QString::fromUtf8(f.readAll()).contains(text))
                return true;
        }
        qWarning("no transcript in %s says %s", qPrintable(folder.path()), qPrintable(text));
        return false;
    }
};

QTEST_GUILESS_MAIN(TestNeighbourIdentity)
#include "test_neighbour_identity.moc"
