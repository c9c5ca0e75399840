// Opening and closing the controller link, in virtual time.
#include "virtual_rig.h"

#include <QtTest>

using namespace tarvo;
using platform::VirtualSocket;

class TestConnection : public QObject {
    Q_OBJECT

    std::unique_ptr<test::VirtualRig> rig;

    const QString settingKey = QStringLiteral("Tarvo Configuration Updater/Comm/IP_Addr");

private slots:
    void init() { rig = std::make_unique<test::VirtualRig>(); }

    void anEmptyAddressIsRefusedWithAMessage()
    {
        rig->controls.setTargetAddress(QString());
        rig->controls.setLinkState(QStringLiteral("untouched"));
        rig->link().Connect_Network(1138, 5000);
        QCOMPARE(rig->platform.messages.size(), size_t(1));
        QCOMPARE(rig->platform.messages[0].text, QStringLiteral("Please enter IP address of the laser."));
        QCOMPARE(rig->platform.messages[0].style, 0);
        QCOMPARE(rig->controls.status(), QStringLiteral("Connecting..."));
        QCOMPARE(rig->controls.linkState, QStringLiteral("untouched"));
        QVERIFY(!rig->link().Network_Connected);
        QCOMPARE(rig->socket().connectAttempts(), 0);
        QCOMPARE(rig->platform.nowMs(), 0);
    }

    void aSuccessfulConnection()
    {
        rig->socket().connectDelayMs = 40;
        rig->link().Received_Lines.push_back("stale");
        rig->controls.setTargetAddress(QStringLiteral("192.168.1.77"));
        rig->link().Connect_Network(1138, 5000);
        QVERIFY(rig->link().Network_Connected);
        QCOMPARE(rig->platform.nowMs(), 40);
        QCOMPARE(rig->socket().remoteHost(), QStringLiteral("192.168.1.77"));
        QCOMPARE(rig->socket().remotePort(), 1138);
        QCOMPARE(rig->controls.linkState, QStringLiteral("Connected"));
        QCOMPARE(rig->controls.status(), QStringLiteral("Connecting..."));
        QCOMPARE(rig->platform.settings.value(settingKey), QStringLiteral("192.168.1.77"));
        QCOMPARE(rig->link().Local_IP_Address, QStringLiteral("192.168.100.10"));
        QVERIFY(rig->link().Received_Lines.empty());
        QVERIFY(rig->link().isLineTimerOn());
        QCOMPARE(rig->link().Timer2().interval(), 2);
        QVERIFY(!rig->link().Timer5().isEnabled());
    }

    void anUnansweredConnectionTimesOut()
    {
        rig->platform.settings.insert(settingKey, QStringLiteral("old"));
        rig->socket().onConnectRequested = [](VirtualSocket&) {};  // nobody answers
        rig->controls.setTargetAddress(QStringLiteral("10.9.9.9"));
        rig->link().Connect_Network(1138, 5000);
        QVERIFY(!rig->link().Network_Connected);
        QCOMPARE(rig->platform.messages.size(), size_t(1));
        QCOMPARE(rig->platform.messages[0].text, QStringLiteral("Error Connecting"));
        QCOMPARE(rig->platform.messages[0].style, 0);
        QCOMPARE(rig->platform.messages[0].atMs, 5000);
        QCOMPARE(rig->controls.status(), QStringLiteral("Connection failed"));
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
        QCOMPARE(rig->socket().state(), int(platform::sckClosed));
        QCOMPARE(rig->platform.settings.value(settingKey), QStringLiteral("old"));
    }

    void otherPortsFailSilently()
    {
        rig->socket().onConnectRequested = [](VirtualSocket&) {};
        rig->controls.setTargetAddress(QStringLiteral("10.9.9.9"));
        rig->link().Connect_Network(23, 300);
        QVERIFY(rig->platform.messages.empty());
        QCOMPARE(rig->platform.nowMs(), 300);
        QCOMPARE(rig->controls.status(), QStringLiteral("Connecting..."));
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
    }

    void aRefusedConnectionIsNotRetriedAndEndsAtTheTimeOut()
    {
        rig->socket().onConnectRequested = [this](VirtualSocket& s) {
            s.failConnectAt(rig->platform.nowMs() + 3, platform::sckConnectionRefused,
                            QStringLiteral("Connection refused"));
        };
        rig->controls.setTargetAddress(QStringLiteral("127.0.0.1"));
        rig->link().Connect_Network(1138, 5000);
        QCOMPARE(rig->socket().connectAttempts(), 1);
        QCOMPARE(rig->platform.messages.back().atMs, 5000);
        QCOMPARE(rig->platform.messages.back().text, QStringLiteral("Error Connecting"));
        QVERIFY(rig->controls.log.contains(QStringLiteral("socket error 10061")));
    }

    void addressInUseMovesToTheNextLocalPort()
    {
        int attempts = 0;
        rig->socket().onConnectRequested = [this, &attempts](VirtualSocket& s) {
            if (++attempts == 1)
                s.failConnectAt(rig->platform.nowMs() + 2, platform::sckAddressInUse,
                                QStringLiteral("Address in use"));
            else
                s.completeConnectAt(rig->platform.nowMs() + 5);
        };
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->link().Connect_Network(1138, 5000);
        QVERIFY(rig->link().Network_Connected);
        QCOMPARE(rig->link().Local_Port, 1);
        QCOMPARE(rig->socket().localPort(), 1);
        QCOMPARE(rig->socket().connectAttempts(), 2);
        QCOMPARE(rig->platform.nowMs(), 7);

        // A later attempt starts from the raised port.
        rig->link().Disconnect_Network();
        rig->socket().setLocalPort(0);
        rig->link().Connect_Network(1138, 5000);
        QCOMPARE(rig->socket().localPort(), 1);
    }

    void aTickAndTheConnectionInTheSamePumpCountAsFailure()
    {
        rig->socket().onConnectRequested = [this](VirtualSocket& s) {
            s.completeConnectAt(rig->platform.nowMs() + 5000);
        };
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->link().Connect_Network(1138, 5000);
        QVERIFY(!rig->link().Network_Connected);
        QCOMPARE(rig->socket().state(), int(platform::sckClosed));
        QCOMPARE(rig->controls.status(), QStringLiteral("Connection failed"));
    }

    void anOpenConnectionIsClosedFirst()
    {
        rig->controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        rig->link().Connect_Network(1138, 5000);
        const int closes = rig->socket().closeCalls();
        rig->link().Connect_Network(1138, 5000);
        QVERIFY(rig->socket().closeCalls() > closes);
        QVERIFY(rig->link().Network_Connected);
    }

    void disconnectingWithoutAConnection()
    {
        rig->controls.setLinkState(QStringLiteral("x"));
        rig->link().Disconnect_Network();
        QVERIFY(!rig->link().Network_Connected);
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
        QVERIFY(rig->socket().sent.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "test_connection.moc"
