// The controller link on the real Qt platform against a real TCP listener
// on loopback: connecting, a command with its status, refusals and waits.
#include "link_probe.h"
#include "link/controller_link.h"
#include "platform/qt_platform.h"
#include "recording_view.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using tarvo::link::ControllerLink;

class TestLinkLoopback : public QObject {
    Q_OBJECT

    tarvo::platform::QtPlatform platform;
    tarvo::test::RecordingView controls;

private slots:
    void aCommandAndItsStatusOverRealTcp()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray received;
        QTcpSocket* peer = nullptr;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [&] {
                received += peer->readAll();
                if (received.endsWith("echo CMDVAL: $?\r\n"))
                    peer->write("root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 3\r\nroot@laser:/# ");
            });
        });

        ControllerLink link(platform, platform);
        controls.watchLink(link);
        QElapsedTimer clock;
        clock.start();
        link.connectToController(QStringLiteral("127.0.0.1"), server.serverPort(), 3000);
        QVERIFY(link.isConnected());
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(link.localAddress(), QStringLiteral("127.0.0.1"));
        QCOMPARE(controls.linkState, QStringLiteral("Connected"));

        clock.restart();
        const auto status = link.runCommand("sync", 2, 0);
        const auto elapsed = clock.elapsed();
        QCOMPARE(int(status), 3);
        QVERIFY2(elapsed >= 2000 && elapsed < 2400, qPrintable(QString::number(elapsed)));
        QCOMPARE(received, QByteArray("sync\r\necho CMDVAL: $?\r\n"));
        QVERIFY(controls.log.contains(QStringLiteral("\r\nCMDVAL: 3")));

        // The controller goes away: the next send finds out.
        peer->close();
        link.waitMs(100);
        link.sendLine("sync");
        link.waitMs(100);
        link.sendLine("sync");
        QVERIFY(!link.isConnected());
        QCOMPARE(controls.linkState, QStringLiteral("Disconnected"));
    }

    void aRefusedConnectionEndsAtTheTimeOut()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();

        ControllerLink link(platform, platform);
        controls.watchLink(link);
        QElapsedTimer clock;
        clock.start();
        link.connectToController(QStringLiteral("127.0.0.1"), closedPort, 700);
        QVERIFY(!link.isConnected());
        QVERIFY2(clock.elapsed() >= 700 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(tarvo::test::LinkProbe(link).socket().state(), tarvo::platform::SocketState::Closed);
        QVERIFY(controls.log.contains(QStringLiteral("[socket error: Connection refused]")));
    }

    void anOccupiedLocalPortMovesOn()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        // Occupy a local port and make the link start from it.
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::AnyIPv4));
        ControllerLink link(platform, platform);
        controls.watchLink(link);
        link.setLocalPort(occupier.serverPort());
        link.connectToController(QStringLiteral("127.0.0.1"), server.serverPort(), 3000);
        QVERIFY(link.isConnected());
        // It moved on past the occupied port (and past any other taken one).
        QVERIFY2(link.localPort() > occupier.serverPort(), qPrintable(QString::number(link.localPort())));
        QCOMPARE(tarvo::test::LinkProbe(link).socket().localPort(), link.localPort());
    }

    void aWaitBlocksWithoutSpinning()
    {
        ControllerLink link(platform, platform);
        controls.watchLink(link);
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpu0 = std::clock();
        link.waitMs(500);
        const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        QVERIFY(clock.elapsed() >= 500);
        QVERIFY2(cpu < 0.1, qPrintable(QString::number(cpu)));
    }
};

QTEST_GUILESS_MAIN(TestLinkLoopback)
#include "test_link_loopback.moc"
