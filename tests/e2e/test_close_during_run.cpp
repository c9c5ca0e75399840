// Closing the real window in the middle of a run, on the real event loop:
// the run ends at once, the link is closed, nothing more reaches the
// controller and no message box appears.
#include "platform/qt_platform.h"
#include "window/main_window.h"

#include "loopback_tool.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using tarvo::window::MainWindow;

class TestCloseDuringRun : public QObject {
    Q_OBJECT

private slots:
    void closingWhileTheLoginWaits()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        // A controller that accepts and never answers, on the shell port of
        // an address of its own.
        QTcpServer controller;
        QVERIFY(controller.listen(QHostAddress(QStringLiteral("127.0.0.24")), 1138));
        QTcpSocket* peer = nullptr;
        QByteArray received;
        bool peerClosed = false;
        connect(&controller, &QTcpServer::newConnection, this, [&] {
            peer = controller.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [&] { received += peer->readAll(); });
            connect(peer, &QTcpSocket::disconnected, this, [&] { peerClosed = true; });
        });

        // The PC side is ready: the server program beside the tool.
        tarvo::test::ProgramFolder program;
        QVERIFY(program.stage());
        tarvo::platform::QtPlatform platform;
        program.use(platform);
        QStringList messages;
        MainWindow window(platform);
        window.prompts().messageHandler = [&](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
        window.load();
        window.setTargetAddress(QStringLiteral("127.0.0.24"));
        window.show();

        QByteArray receivedAtClose;
        QTimer::singleShot(1700, &window, [&] {
            window.close();
            receivedAtClose = received;
        });
        QElapsedTimer t;
        t.start();
        window.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
        QVERIFY2(t.elapsed() < 2500, qPrintable(QString::number(t.elapsed())));
        QVERIFY(messages.isEmpty());
        QVERIFY(!window.isVisible());
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("linkStateLabel"))->text(), QStringLiteral("Disconnected"));
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("startButton"))->isEnabled());  // the closed window was left alone
        QTRY_VERIFY_WITH_TIMEOUT(peerClosed, 2000);
        QTest::qWait(1500);
        QCOMPARE(received, receivedAtClose);
        QVERIFY(received.startsWith("\r\n"));  // the login had begun
    }
};

QTEST_MAIN(TestCloseDuringRun)
#include "test_close_during_run.moc"
