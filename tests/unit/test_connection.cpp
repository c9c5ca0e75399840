// Opening and closing the controller link, in virtual time: a run's
// connection step, and the link on its own.
#include "link_probe.h"
#include "virtual_rig.h"

#include <QtTest>

using namespace tarvo;
using tarvo::platform::VirtualSocket;

class TestConnection : public QObject {
    Q_OBJECT

    std::unique_ptr<test::VirtualRig> rig;

    const QString settingKey = QStringLiteral("Tarvo Configuration Updater/Comm/IP_Addr");

    // A run on the address; the connection is the part of it that its
    // status announced.
    test::RecordingView::Step connect(const QString& address)
    {
        rig->controls.setTargetAddress(address);
        rig->click();
        return rig->controls.step(QStringLiteral("Connecting..."));
    }
    // Acts once the connection has come up, as the login begins.
    void onceConnected(std::function<void()> check)
    {
        rig->controls.onStatus = [check, done = false](const QString& text) mutable {
            if (!done && text == QStringLiteral("Login to laser... ")) {
                done = true;
                check();
            }
        };
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::VirtualRig>();
        rig->platform.files.insert(platform::virtualProgramPath(QStringLiteral("OpenTFTPServerMT")));
    }

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
        rig->controls.setLinkState(QStringLiteral("untouched"));
        connect(address);
        QCOMPARE(rig->prompts.messages.size(), size_t(1));
        // What is wrong with a typed address is named under the request.
        const QString why = address.isEmpty()           ? QString()
                            : address.contains(QLatin1Char(' ')) ? QStringLiteral("\n\"%1\" has a blank inside: type the address without blanks.")
                                                            : QStringLiteral("\n\"%1\" is neither an IPv4 address (four numbers from 0 "
                                                                             "to 255, such as 192.168.100.20) nor a host name.");
        QCOMPARE(rig->prompts.messages[0].text, QStringLiteral("Please enter IP address of the laser.") + why.arg(address));
        QCOMPARE(rig->prompts.messages[0].icon, tarvo::workflow::MessageIcon::None);
        QCOMPARE(rig->controls.status(), QStringLiteral("Status: "));  // not left on "Connecting..."
        QCOMPARE(rig->controls.linkState, QStringLiteral("untouched"));
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->socket().connectAttempts(), 0);
        QCOMPARE(rig->platform.nowMs(), 0);
    }

    void aSuccessfulConnection()
    {
        rig->socket().connectDelayMs = 40;
        onceConnected([&] {
            QVERIFY(rig->link().isConnected());
            QCOMPARE(rig->controls.linkState, QStringLiteral("Connected"));
            QCOMPARE(rig->platform.settings.value(settingKey), QStringLiteral("192.168.1.77"));
            QCOMPARE(rig->link().localAddress(), QStringLiteral("192.168.100.10"));
            QCOMPARE(tarvo::test::LinkProbe(rig->link()).queuedLineCount(), std::size_t(0));
            QVERIFY(tarvo::test::LinkProbe(rig->link()).isLineTimerOn());
            QCOMPARE(tarvo::test::LinkProbe(rig->link()).lineTimer().interval(), 2);
            QVERIFY(!tarvo::test::LinkProbe(rig->link()).connectWatchdog().isEnabled());
        });
        const auto step = connect(QStringLiteral("192.168.1.77"));
        QCOMPARE(step.next, QStringLiteral("Login to laser... "));  // until then, "Connecting..."
        QCOMPARE(step.untilMs - step.fromMs, 40);
        QCOMPARE(rig->socket().remoteHost(), QStringLiteral("192.168.1.77"));
        QCOMPARE(rig->socket().remotePort(), 1138);
    }

    void anUnansweredConnectionTimesOut()
    {
        rig->platform.settings.insert(settingKey, QStringLiteral("old"));
        rig->socket().onConnectRequested = [](VirtualSocket&) {};  // nobody answers
        const auto step = connect(QStringLiteral("10.9.9.9"));
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->prompts.messages.size(), size_t(1));
        // The box and the status say where nothing answered, and what to do.
        const QString why = QStringLiteral("Nothing answered at 10.9.9.9 on TCP port 1138 within 5 s. Check that the "
                                           "laser is on and has started, the network cable, and that the PC's address "
                                           "is in the laser's network; then try again.");
        QCOMPARE(rig->prompts.messages[0].text, QStringLiteral("Error Connecting\n") + why);
        QCOMPARE(rig->prompts.messages[0].icon, tarvo::workflow::MessageIcon::None);
        QCOMPARE(rig->prompts.messages[0].atMs - step.fromMs, 5000);
        QCOMPARE(rig->controls.status(), QStringLiteral("Connection failed\r\n") + why);
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
        QCOMPARE(rig->socket().state(), tarvo::platform::SocketState::Closed);
        QCOMPARE(rig->platform.settings.value(settingKey), QStringLiteral("old"));
    }

    void theLinkAloneFailsSilently()
    {
        rig->socket().onConnectRequested = [](VirtualSocket&) {};
        rig->controls.setTargetAddress(QStringLiteral("10.9.9.9"));
        QVERIFY(!rig->link().connectToController(QStringLiteral("10.9.9.9"), 23, 300));
        QVERIFY(rig->prompts.messages.empty());
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
        const auto step = connect(QStringLiteral("127.0.0.1"));
        QCOMPARE(rig->socket().connectAttempts(), 1);
        QCOMPARE(rig->prompts.messages.back().atMs - step.fromMs, 5000);
        QCOMPARE(rig->prompts.messages.back().text,
                 QStringLiteral("Error Connecting\nThe laser at 127.0.0.1 refused the connection on TCP port 1138: its "
                                "shell service is not running, or another device has this address. Check the "
                                "address; if it is right, power-cycle the laser, wait until it has started and try "
                                "again."));
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
        onceConnected([&] {
            QVERIFY(rig->link().isConnected());
            QCOMPARE(rig->link().localPort(), 1);
            QCOMPARE(rig->socket().localPort(), 1);
            QCOMPARE(rig->socket().connectAttempts(), 2);
        });
        const auto step = connect(QStringLiteral("10.0.0.5"));
        QCOMPARE(step.next, QStringLiteral("Login to laser... "));
        QCOMPARE(step.untilMs - step.fromMs, 7);

        // The next run starts from the raised port.
        rig->socket().setLocalPort(0);
        rig->click();
        QCOMPARE(rig->socket().connectAttempts(), 3);
        QCOMPARE(rig->socket().localPort(), 1);
    }

    void aTickAndTheConnectionInTheSamePumpCountAsFailure()
    {
        rig->socket().onConnectRequested = [this](VirtualSocket& s) {
            s.completeConnectAt(rig->platform.nowMs() + 5000);
        };
        connect(QStringLiteral("10.0.0.5"));
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->socket().state(), tarvo::platform::SocketState::Closed);
        QVERIFY(rig->controls.status().startsWith(QStringLiteral("Connection failed\r\nNothing answered at 10.0.0.5")));
    }

    void anOpenConnectionIsClosedFirst()
    {
        // A run always ends disconnected: only the link meets an open one.
        rig->link().connectToController(QStringLiteral("10.0.0.5"), 1138, 5000);
        const int closes = rig->socket().closeCalls();
        rig->link().connectToController(QStringLiteral("10.0.0.5"), 1138, 5000);
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
