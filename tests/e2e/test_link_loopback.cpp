// The controller link on the real Qt platform against a real TCP listener
// on loopback: connecting, a command with its status, refusals and waits.
#include "link/controller_link.h"
#include "platform/qt_platform.h"
#include "platform/virtual_controls.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using tarvo::link::ControllerLink;

class TestLinkLoopback : public QObject {
    Q_OBJECT

    platform::QtPlatform platform;
    platform::VirtualControls controls;

private slots:
    void initTestCase()
    {
        platform.messageBoxHandler = [](const QString&, int) {};
    }

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
                    peer->write("echo CMDVAL: $?\r\nCMDVAL: 3\r\nroot@laser:/# ");
            });
        });

        ControllerLink link(platform, controls);
        controls.setTargetAddress(QStringLiteral("127.0.0.1"));
        QElapsedTimer clock;
        clock.start();
        link.Connect_Network(server.serverPort(), 3000);
        QVERIFY(link.Network_Connected);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(link.Local_IP_Address, QStringLiteral("127.0.0.1"));
        QCOMPARE(controls.linkState, QStringLiteral("Connected"));

        clock.restart();
        const auto status = link.Send_Command_With_Response("sync", 2, 0);
        const auto elapsed = clock.elapsed();
        QCOMPARE(int(status), 3);
        QVERIFY2(elapsed >= 2000 && elapsed < 2400, qPrintable(QString::number(elapsed)));
        QCOMPARE(received, QByteArray("sync\r\necho CMDVAL: $?\r\n"));
        QVERIFY(controls.log.contains(QStringLiteral("\r\nCMDVAL: 3")));

        // The controller goes away: the next send finds out.
        peer->close();
        link.Delay_ms(100);
        link.Send_Device_Command("sync");
        link.Delay_ms(100);
        link.Send_Device_Command("sync");
        QVERIFY(!link.Network_Connected);
        QCOMPARE(controls.linkState, QStringLiteral("Disconnected"));
    }

    void aRefusedConnectionEndsAtTheTimeOut()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();

        ControllerLink link(platform, controls);
        controls.setTargetAddress(QStringLiteral("127.0.0.1"));
        QElapsedTimer clock;
        clock.start();
        link.Connect_Network(closedPort, 700);
        QVERIFY(!link.Network_Connected);
        QVERIFY2(clock.elapsed() >= 700 && clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(link.Winsock1().state(), int(platform::sckClosed));
        QVERIFY(controls.log.contains(QStringLiteral("socket error 10061")));
    }

    void anOccupiedLocalPortMovesOn()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        // Occupy a local port and make the link start from it.
        QTcpServer occupier;
        QVERIFY(occupier.listen(QHostAddress::AnyIPv4));
        ControllerLink link(platform, controls);
        link.Local_Port = occupier.serverPort();
        controls.setTargetAddress(QStringLiteral("127.0.0.1"));
        link.Connect_Network(server.serverPort(), 3000);
        QVERIFY(link.Network_Connected);
        // It moved on past the occupied port (and past any other taken one).
        QVERIFY2(link.Local_Port > occupier.serverPort(), qPrintable(QString::number(link.Local_Port)));
        QCOMPARE(link.Winsock1().localPort(), link.Local_Port);
    }

    void aWaitBlocksWithoutSpinning()
    {
        ControllerLink link(platform, controls);
        QElapsedTimer clock;
        clock.start();
        const std::clock_t cpu0 = std::clock();
        link.Delay_ms(500);
        const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        QVERIFY(clock.elapsed() >= 500);
        QVERIFY2(cpu < 0.1, qPrintable(QString::number(cpu)));
    }
};

QTEST_GUILESS_MAIN(TestLinkLoopback)
#include "test_link_loopback.moc"
