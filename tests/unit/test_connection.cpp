// Opening and closing the controller link, in virtual time.
#include "virtual_rig.h"

#include <QtTest>

using namespace tarvo;
using tarvo::platform::VirtualSocket;

class TestConnection : public QObject {
    Q_OBJECT

    std::unique_ptr<test::VirtualRig> rig;

    const QString settingKey = QStringLiteral("Tarvo Configuration Updater/Comm/IP_Addr");

private slots:
    void init() { rig = std::make_unique<test::VirtualRig>(); }

    void onlyAnAddressOrAHostNameIsTried_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("IPv4") << QStringLiteral("192.168.1.77") << true;
        QTest::newRow("host name") << QStringLiteral("laser-3.plant.example") << true;
        QTest::newRow("octet beyond 255") << QStringLiteral("192.168.1.300") << false;
        QTest::newRow("three octets") << QStringLiteral("10.0.1") << false;
        QTest::newRow("blank inside") << QStringLiteral("10.0.0.5 x") << false;
        QTest::newRow("a URL") << QStringLiteral("http://10.0.0.5") << false;
        // The resolver would connect to 127.0.0.8 and 127.0.0.1.
        QTest::newRow("octal octet") << QStringLiteral("127.0.0.010") << false;
        QTest::newRow("hexadecimal") << QStringLiteral("0x7f.1") << false;
        QTest::newRow("one hexadecimal number") << QStringLiteral("0x7f000001") << false;
        QTest::newRow("a zero octet") << QStringLiteral("10.0.0.5") << true;
        QTest::newRow("a name that starts like a number") << QStringLiteral("0xlaser") << true;
    }

    void onlyAnAddressOrAHostNameIsTried()
    {
        QFETCH(QString, address);
        QFETCH(bool, accepted);
        QCOMPARE(workflow::isControllerAddress(address), accepted);
        if (accepted)
            return;
        rig->controls.setTargetAddress(address);
        rig->controls.setLinkState(QStringLiteral("untouched"));
        rig->updater->workflow().connectToController(rig->controls.address);
        QCOMPARE(rig->platform.messages.size(), size_t(1));
        QCOMPARE(rig->platform.messages[0].text, QStringLiteral("Please enter IP address of the laser."));
        QCOMPARE(rig->platform.messages[0].icon, tarvo::platform::MessageIcon::None);
        QCOMPARE(rig->controls.status(), QStringLiteral("Status: "));  // not left on "Connecting..."
        QCOMPARE(rig->controls.linkState, QStringLiteral("untouched"));
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->socket().connectAttempts(), 0);
        QCOMPARE(rig->platform.nowMs(), 0);
    }

    void aSuccessfulConnection()
    {
        rig->socket().connectDelayMs = 40;
        rig->controls.setTargetAddress(QStringLiteral("192.168.1.77"));
        rig->updater->workflow().connectToController(rig->controls.address);
        QVERIFY(rig->link().isConnected());
        QCOMPARE(rig->platform.nowMs(), 40);
        QCOMPARE(rig->socket().remoteHost(), QStringLiteral("192.168.1.77"));
        QCOMPARE(rig->socket().remotePort(), 1138);
        QCOMPARE(rig->controls.linkState, QStringLiteral("Connected"));
        QCOMPARE(rig->controls.status(), QStringLiteral("Connecting..."));
        QCOMPARE(rig->platform.settings.value(settingKey), QStringLiteral("192.168.1.77"));
        QCOMPARE(rig->link().localAddress(), QStringLiteral("192.168.100.10"));
        QCOMPARE(rig->link().queuedLineCount(), std::size_t(0));
        QVERIFY(rig->link().isLineTimerOn());
        QCOMPARE(rig->link().lineTimer().interval(), 2);
        QVERIFY(!rig->link().connectWatchdog().isEnabled());
    }

    void anUnansweredConnectionTimesOut()
    {
        rig->platform.settings.insert(settingKey, QStringLiteral("old"));
        rig->socket().onConnectRequested = [](VirtualSocket&) {};  // nobody answers
        rig->controls.setTargetAddress(QStringLiteral("10.9.9.9"));
        rig->updater->workflow().connectToController(rig->controls.address);
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->platform.messages.size(), size_t(1));
        QCOMPARE(rig->platform.messages[0].text, QStringLiteral("Error Connecting"));
        QCOMPARE(rig->platform.messages[0].icon, tarvo::platform::MessageIcon::None);
        QCOMPARE(rig->platform.messages[0].atMs, 5000);
        QCOMPARE(rig->controls.status(), QStringLiteral("Connection failed"));
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
        QCOMPARE(rig->socket().state(), tarvo::platform::SocketState::Closed);
        QCOMPARE(rig->platform.settings.value(settingKey), QStringLiteral("old"));
    }

    void theLinkAloneFailsSilently()
    {
        rig->socket().onConnectRequested = [](VirtualSocket&) {};
        rig->controls.setTargetAddress(QStringLiteral("10.9.9.9"));
        QVERIFY(!rig->link().connectToController(QStringLiteral("10.9.9.9"), 23, 300));
        QVERIFY(rig->platform.messages.empty());
        QCOMPARE(rig->platform.nowMs(), 300);
        QCOMPARE(rig->controls.status(), QStringLiteral("Status: "));
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
    }

    void aRefusedConnectionIsNotRetriedAndEndsAtTheTimeOut()
    {
        rig->socket().onConnectRequested = [this](VirtualSocket& s) {
            s.failConnectAt(rig->platform.nowMs() + 3, tarvo::platform::SocketError::ConnectionRefused,
                            QStringLiteral("Connection refused"));
        };
        rig->controls.setTargetAddress(QStringLiteral("127.0.0.1"));
        rig->updater->workflow().connectToController(rig->controls.address);
        QCOMPARE(rig->socket().connectAttempts(), 1);
        QCOMPARE(rig->platform.messages.back().atMs, 5000);
        QCOMPARE(rig->platform.messages.back().text, QStringLiteral("Error Connecting"));
        QVERIFY(rig->controls.log.contains(QStringLiteral("[socket error: Connection refused]")));
        QVERIFY(rig->controls.log.contains(
            QStringLiteral("[Could not connect to 127.0.0.1, TCP port 1138: Connection refused]")));
    }

    void addressInUseMovesToTheNextLocalPort()
    {
        int attempts = 0;
        rig->socket().onConnectRequested = [this, &attempts](VirtualSocket& s) {
            if (++attempts == 1)
                s.failConnectAt(rig->platform.nowMs() + 2, tarvo::platform::SocketError::AddressInUse,
                                QStringLiteral("Address in use"));
            else
                s.completeConnectAt(rig->platform.nowMs() + 5);
        };
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->updater->workflow().connectToController(rig->controls.address);
        QVERIFY(rig->link().isConnected());
        QCOMPARE(rig->link().localPort(), 1);
        QCOMPARE(rig->socket().localPort(), 1);
        QCOMPARE(rig->socket().connectAttempts(), 2);
        QCOMPARE(rig->platform.nowMs(), 7);

        // A later attempt starts from the raised port.
        rig->link().disconnectFromController();
        rig->socket().setLocalPort(0);
        rig->updater->workflow().connectToController(rig->controls.address);
        QCOMPARE(rig->socket().localPort(), 1);
    }

    void aTickAndTheConnectionInTheSamePumpCountAsFailure()
    {
        rig->socket().onConnectRequested = [this](VirtualSocket& s) {
            s.completeConnectAt(rig->platform.nowMs() + 5000);
        };
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->updater->workflow().connectToController(rig->controls.address);
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->socket().state(), tarvo::platform::SocketState::Closed);
        QCOMPARE(rig->controls.status(), QStringLiteral("Connection failed"));
    }

    void anOpenConnectionIsClosedFirst()
    {
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->updater->workflow().connectToController(rig->controls.address);
        const int closes = rig->socket().closeCalls();
        rig->updater->workflow().connectToController(rig->controls.address);
        QVERIFY(rig->socket().closeCalls() > closes);
        QVERIFY(rig->link().isConnected());
    }

    void disconnectingWithoutAConnection()
    {
        rig->controls.setLinkState(QStringLiteral("x"));
        rig->link().disconnectFromController();
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
        QVERIFY(rig->socket().sent.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
