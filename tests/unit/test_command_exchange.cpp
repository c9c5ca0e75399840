// Commands, exit-status exchange and timed waits, with exact virtual times
// and bar values.
#include "link_probe.h"
#include "virtual_rig.h"

#include <QtTest>

using namespace tarvo;
using Reply = test::ScriptedPeer::Reply;

class TestCommandExchange : public QObject {
    Q_OBJECT

    std::unique_ptr<test::VirtualRig> rig;

    // The shell answers the status request after delayMs (never when < 0).
    void answerStatus(const QByteArray& status, int delayMs)
    {
        rig->peer->onLine = [status, delayMs](const QByteArray& line) -> QList<Reply> {
            if (line == "echo CMDVAL: $?" && delayMs >= 0)
                return {{"CMDVAL: " + status + "\r\n", delayMs}};
            return {};
        };
    }

    // The shell's replies line by line: the Nth time a line is sent, it gets
    // the Nth list of replies (nothing once they have run out).
    void script(QMap<QByteArray, QList<QList<Reply>>> replies)
    {
        rig->peer->onLine = [replies](const QByteArray& line) mutable -> QList<Reply> {
            QList<QList<Reply>>& queue = replies[line];
            return queue.isEmpty() ? QList<Reply>() : queue.takeFirst();
        };
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::VirtualRig>();
        rig->connectScripted();
    }

    void exchange_data()
    {
        QTest::addColumn<int>("secondsToWait");
        QTest::addColumn<int>("progressInterval");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<int>("answerAfterMs");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("durationMs");
        QTest::addColumn<int>("barGain");
        // answerAfterMs counts from the status request.
        QTest::newRow("answer within a second") << 2 << 10 << QByteArray("0") << 300 << 0 << 2000 << 20;
        QTest::newRow("status 1 in the third poll") << 2 << 10 << QByteArray("1") << 2200 << 1 << 3500 << 23;
        QTest::newRow("no answer, 2 s") << 2 << 10 << QByteArray("0") << -1 << -99 << 4500 << 25;
        QTest::newRow("no answer, 0 s") << 0 << 0 << QByteArray("0") << -1 << -99 << 2500 << 1;
        QTest::newRow("no answer, 8 s") << 8 << 30 << QByteArray("0") << -1 << -99 << 10500 << 77;
        QTest::newRow("give-up after 22.5 s") << 20 << 0 << QByteArray("0") << -1 << -99 << 22500 << 41;
        QTest::newRow("answer in the last pause") << 2 << 0 << QByteArray("5") << 3400 << 5 << 4500 << 5;
        QTest::newRow("late answer is too late") << 2 << 0 << QByteArray("5") << 3600 << -99 << 4500 << 5;
        QTest::newRow("bar is capped") << 20 << 30 << QByteArray("0") << -1 << -99 << 22500 << 100;
    }

    void exchange()
    {
        QFETCH(int, secondsToWait);
        QFETCH(int, progressInterval);
        QFETCH(QByteArray, status);
        QFETCH(int, answerAfterMs);
        QFETCH(int, expected);
        QFETCH(int, durationMs);
        QFETCH(int, barGain);
        answerStatus(status, answerAfterMs);
        const auto t0 = rig->platform.nowMs();
        const auto result = rig->link().runCommand("true", secondsToWait, progressInterval);
        QCOMPARE(int(result), expected);
        QCOMPARE(rig->platform.nowMs() - t0, durationMs);
        QCOMPARE(rig->controls.progress(), double(barGain));
        QCOMPARE(rig->peer->lines, (QList<QByteArray>{"true", "echo CMDVAL: $?"}));
        QCOMPARE(tarvo::test::LinkProbe(rig->link()).maxWaitDepth(), 1);
    }

    void onlyTheAnswerToThisRequestCounts_data()
    {
        QTest::addColumn<bool>("echoes");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("output");  // the command's echo and output,
        QTest::addColumn<int>("outputAfterMs");  // this long after the command
        QTest::addColumn<QByteArray>("answer");  // to the status request
        QTest::addColumn<int>("answerAfterMs");  // after the request; never when < 0
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("durationMs");
        // A member's name that holds a status line, listed while tar still
        // works; the shell echoes the request and answers once tar is done.
        QTest::newRow("a status line in the listing")
            << true << QByteArray("tar xvzf /media/config.tgz")
            << QByteArray("tar xvzf /media/config.tgz\r\nmedia/prv_bmp/job\r\nCMDVAL: 0\r\n.bmp\r\n") << 1500
            << QByteArray("root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 1\r\n") << 2000 << 1 << 3500;
        QTest::newRow("a second status line after the answer")
            << true << QByteArray("false") << QByteArray("false\r\n") << 10
            << QByteArray("root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 1\r\nCMDVAL: 0\r\n") << 300 << 1 << 2000;
        // Arrives a moment before the request and is read just after it.
        QTest::newRow("a status line from before the request")
            << false << QByteArray("false") << QByteArray("CMDVAL: 0\r\n") << 999 << QByteArray() << -1 << -99
            << 4500;
    }

    void onlyTheAnswerToThisRequestCounts()
    {
        QFETCH(bool, echoes);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, output);
        QFETCH(int, outputAfterMs);
        QFETCH(QByteArray, answer);
        QFETCH(int, answerAfterMs);
        QFETCH(int, expected);
        QFETCH(int, durationMs);
        QList<QList<Reply>> answers;
        if (echoes)  // the login's exchange shows how this shell answers
            answers.append({{"root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 0\r\n", 50}});
        answers.append(answerAfterMs < 0 ? QList<Reply>() : QList<Reply>{{answer, answerAfterMs}});
        script({{"echo CMDVAL: $?", answers}, {command, {{{output, outputAfterMs}}}}});
        if (echoes)
            QCOMPARE(int(rig->link().runCommand(QByteArray(), 2, 0)), 0);
        const auto t0 = rig->platform.nowMs();
        QCOMPARE(int(rig->link().runCommand(command, 2, 0)), expected);
        QCOMPARE(rig->platform.nowMs() - t0, durationMs);
    }

    void anEarlierRequestsLateAnswerIsNotThisOnes()
    {
        // The shell is slow to take up the directory test's request, and
        // answers it only while the next step already waits.
        script({{"echo CMDVAL: $?",
                 {{{"root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 0\r\n", 50}},
                  {{"root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 0\r\n", 3000}},
                  {{"root@laser:/# echo CMDVAL: $?\r\nCMDVAL: 1\r\n", 1000}}}},
                {"test -d media/profiles;", {{{"test -d media/profiles;\r\n", 10}}}},
                {"false", {{{"false\r\n", 10}}}}});
        QCOMPARE(int(rig->link().runCommand(QByteArray(), 2, 0)), 0);
        QCOMPARE(int(rig->link().runCommand("test -d media/profiles;", 0, 0)), -99);
        const auto t0 = rig->platform.nowMs();
        QCOMPARE(int(rig->link().runCommand("false", 2, 0)), 1);
        QCOMPARE(rig->platform.nowMs() - t0, 2500);
    }

    void anEmptyCommandSendsOnlyTheLineEnd()
    {
        answerStatus("0", 10);
        QCOMPARE(int(rig->link().runCommand("", 8, 30)), 0);
        QCOMPARE(rig->socket().sent, QByteArray("\r\necho CMDVAL: $?\r\n"));
    }

    void aDownLinkSendsNothingAndDoesNotWait()
    {
        rig->link().disconnectFromController();
        const auto t0 = rig->platform.nowMs();
        const auto before = rig->socket().sent;
        QCOMPARE(int(rig->link().runCommand("sync", 2, 0)), -99);
        QCOMPARE(rig->platform.nowMs() - t0, 0);
        QCOMPARE(rig->socket().sent, before);
    }

    void aResetDuringAStepEndsTheWaitAtOnce()
    {
        // The controller resets the link half a second into a status step
        // that would otherwise wait 22 s for its answer.
        rig->platform.scheduleIn(500, [this] { rig->socket().peerCloseAt(rig->platform.nowMs()); });
        const auto t0 = rig->platform.nowMs();
        QCOMPARE(int(rig->link().runCommand("mount -o remount /dev/mmcblk0p2 /zel", 20, 10)), -99);
        QVERIFY2(rig->platform.nowMs() - t0 <= 510, qPrintable(QString::number(rig->platform.nowMs() - t0)));
        QVERIFY(rig->link().wasConnectionLost());
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
    }

    void aFailedSendTakesTheLinkDown()
    {
        rig->socket().failSends = true;
        rig->link().sendLine("sync");
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
        rig->socket().failSends = false;
        rig->link().sendLine("sync");
        QVERIFY(rig->socket().sent.isEmpty());
    }

    void aPeerThatClosedMakesTheNextSendFail()
    {
        rig->socket().peerCloseAt(rig->platform.nowMs());
        rig->platform.doEvents();
        QVERIFY(rig->link().isConnected());  // not noticed until a send
        rig->link().sendLine("sync");
        QVERIFY(!rig->link().isConnected());
    }

    void theRelayCommandGoesOutByteForByte()
    {
        rig->link().sendLine("echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0");
        const QByteArray expected = QByteArray("echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0\r\n");
        QCOMPARE(expected.size(), 42);
        QCOMPARE(rig->socket().sent, expected);
    }

    void delayWaitsExactlyAndClosingEndsItAtOnce()
    {
        auto t0 = rig->platform.nowMs();
        rig->link().waitMs(1234);
        QCOMPARE(rig->platform.nowMs() - t0, 1234);
        QVERIFY(!tarvo::test::LinkProbe(rig->link()).delayTimer().isEnabled());

        // The window closes 300 ms into a ten-second wait.
        t0 = rig->platform.nowMs();
        rig->platform.scheduleIn(300, [this] { rig->updater->unload(); });
        QVERIFY_THROWS_EXCEPTION(link::RunAborted, rig->link().waitMs(10000));
        QCOMPARE(rig->platform.nowMs() - t0, 300);
        QVERIFY(!rig->link().isConnected());
        // Nothing more reaches the controller.
        rig->link().sendLine("sync");
        QVERIFY(!rig->socket().sent.contains("sync"));
    }
};

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "test_command_exchange.moc"
