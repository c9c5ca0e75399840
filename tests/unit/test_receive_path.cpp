// Reception, the line queue and the line interpreter, in virtual time.
#include "link_probe.h"
#include "virtual_rig.h"

#include "workflow/controller_output.h"

#include <QtTest>

using namespace tarvo;

class TestReceivePath : public QObject {
    Q_OBJECT

    std::unique_ptr<test::VirtualRig> rig;
    std::vector<QByteArray> interpreted;

    // Delivers blocks one after the other and lets the line timer run.
    QByteArray lastLine() const { return interpreted.empty() ? QByteArray("(none)") : interpreted.back(); }
    // Asks for a status that never comes, so the link holds "no status".
    void forgetStatus() { rig->link().runCommand(QByteArray(), 0, 0); }

    void receive(std::initializer_list<QByteArray> blocks)
    {
        for (const auto& b : blocks) {
            rig->socket().deliver(b);
            rig->platform.doEvents();
        }
        rig->platform.runUntil(rig->platform.nowMs() + 10);
    }

private slots:
    void init()
    {
        rig = std::make_unique<test::VirtualRig>();
        rig->connectScripted();
        interpreted.clear();
        QObject::connect(&rig->link(), &link::ControllerLink::lineReceived, &rig->link(),
                         [this](const QByteArray& line) { interpreted.push_back(line); });
    }

    void linesAreCutAtLineFeedAndLogged()
    {
        receive({"abc\r\n"});
        QCOMPARE(rig->controls.log, QStringLiteral("\r\nabc"));
        QCOMPARE(lastLine(), QByteArray("abc"));

        // A line split over two blocks is one line.
        receive({"de", "f\n"});
        QCOMPARE(rig->controls.log, QStringLiteral("\r\nabc\r\ndef"));
        QCOMPARE(lastLine(), QByteArray("def"));

        // CR LF CR LF: two empty lines, both logged.
        receive({"\r\n\r\n"});
        QCOMPARE(rig->controls.log, QStringLiteral("\r\nabc\r\ndef\r\n\r\n"));
        QCOMPARE(lastLine(), QByteArray());
    }

    void escapesAndControlCharactersAreDroppedButTabAndHighBytesStay()
    {
        receive({QByteArray("\x1b[1mbold\x1b[0m\tx\xe9\x01\x7f\n")});
        QCOMPARE(lastLine(), QByteArray("bold\tx\xe9\x01\x7f"));
        QCOMPARE(rig->controls.log, QStringLiteral("\r\nbold\tx\u00e9\u0001\u007f"));
    }

    void escapeSequencesVanishEvenWhenSplitAcrossBlocks()
    {
        // A coloured complaint, a cursor query, a window title and a lone
        // escape, cut between blocks in the middle of each sequence.
        receive({"\x1b[1;3", "1mtar: x: Cannot open\x1b", "[0m\r\n", "\x1b[6", "n\x1b]0;ro", "ot@laser\x07ok\x1b", "c!\r\n"});
        QCOMPARE(interpreted, (std::vector<QByteArray>{"tar: x: Cannot open", "ok!"}));
        QCOMPARE(rig->controls.status(), QStringLiteral("tar: x: Cannot open"));
    }

    void loginPromptCountsOnlyOnceALineEndCompletesIt()
    {
        receive({"laser login: "});
        QVERIFY(!rig->link().loginPromptSeen());
        QCOMPARE(tarvo::test::LinkProbe(rig->link()).queuedLineCount(), std::size_t(0));
        QCOMPARE(tarvo::test::LinkProbe(rig->link()).partialLineLength(), qsizetype(13));
        receive({"\r\nlaser login: "});
        QVERIFY(rig->link().loginPromptSeen());

        rig->link().forgetLoginPrompt();
        receive({"laser login:\r\n", "laser login: x\r\n", "LOGIN: \r\n"});
        QVERIFY2(!rig->link().loginPromptSeen(), "only a line ending in \"login: \" is a prompt");
    }

    void statusLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero") << QByteArray("CMDVAL: 0") << 0;
        QTest::newRow("127") << QByteArray("CMDVAL: 127") << 127;
        QTest::newRow("255") << QByteArray("CMDVAL: 255") << 255;
        QTest::newRow("negative") << QByteArray("CMDVAL: -5") << -5;
        QTest::newRow("trailing blank") << QByteArray("CMDVAL: 3 ") << 3;
        QTest::newRow("largest 16-bit") << QByteArray("CMDVAL: 32767") << 32767;
        // Not recognised, or not a number: the value stays as it was (-99).
        QTest::newRow("no blank") << QByteArray("CMDVAL:0") << -99;
        QTest::newRow("lower case") << QByteArray("cmdval: 0") << -99;
        QTest::newRow("letters") << QByteArray("CMDVAL: abc") << -99;
        QTest::newRow("empty") << QByteArray("CMDVAL: ") << -99;
        QTest::newRow("beyond 16 bits") << QByteArray("CMDVAL: 40000") << -99;
        QTest::newRow("far beyond") << QByteArray("CMDVAL: 99999999999999999999") << -99;
        QTest::newRow("below 16 bits") << QByteArray("CMDVAL: -32769") << -99;
        QTest::newRow("digits then text") << QByteArray("CMDVAL: 1x") << -99;
        QTest::newRow("leading text") << QByteArray("xCMDVAL: 1") << -99;
    }

    void statusLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, expected);
        forgetStatus();
        receive({line + "\r\n"});
        QCOMPARE(int(rig->link().lastStatus()), expected);
    }

    void firstErrorLineGoesToTheLabelOnce()
    {
        QStringList shown;
        workflow::ControllerOutputReader reader([&](const QString& text) { shown << text; });
        const auto read = [&](const QByteArray& line) { reader.read(line); };
        read("tar: zel/x.conf: No such file or directory");
        QVERIFY(reader.hasComplaint());
        read("tftp: timeout");
        read("firmware Handle");
        QCOMPARE(shown, QStringList{QStringLiteral("tar: zel/x.conf: No such file or directory")});

        reader.reset();
        read("Motor driver lost Handle");
        reader.reset();
        read("tftp: server error: (2) Access violation");
        reader.reset();
        read("tftp: lost Handle");  // the firmware's words decide
        QCOMPARE(shown.mid(1), (QStringList{QStringLiteral("Motor driver lost Handle\r\nCall for service."),
                                            QStringLiteral("tftp: server error: (2) Access violation"),
                                            QStringLiteral("tftp: lost Handle\r\nCall for service.")}));

        // The workflow's reader puts the complaint onto the label.
        receive({"tar: zel/y.conf: No such file or directory\r\n"});
        QCOMPARE(rig->controls.status(), QStringLiteral("tar: zel/y.conf: No such file or directory"));
    }

    void theFirstMatchingTestDecides()
    {
        // An ignored report line that ends like a prompt has no effect.
        receive({"RFV: laser login: \r\n", "R_MOD_FV: tar: x\r\n"});
        QVERIFY(!rig->link().loginPromptSeen());
        QVERIFY(interpreted.empty());
        // A prompt-like ending wins over "tar:" at the start.
        receive({"tar: laser login: \r\n"});
        QVERIFY(rig->link().loginPromptSeen());
        QVERIFY(interpreted.empty());
        // A complaint and a prompt in the same burst are both seen.
        rig->link().forgetLoginPrompt();
        receive({"tar: broken\r\nlaser login: \r\n"});
        QCOMPARE(rig->controls.status(), QStringLiteral("tar: broken"));
        QVERIFY(rig->link().loginPromptSeen());
    }

    void linesAreInterpretedTwoMillisecondsAfterArrival()
    {
        QCOMPARE(tarvo::test::LinkProbe(rig->link()).lineTimer().interval(), 2);
        forgetStatus();
        const auto t0 = rig->platform.nowMs();
        rig->socket().deliver("CMDVAL: 4\r\n");
        rig->platform.doEvents();  // arrival
        QCOMPARE(int(rig->link().lastStatus()), -99);
        rig->platform.doEvents();  // line timer
        QCOMPARE(rig->platform.nowMs() - t0, 2);
        QCOMPARE(int(rig->link().lastStatus()), 4);
    }

    void aHugeBurstLosesNoLineAndTheStatusStillArrivesInTime()
    {
        // A verbose tar of a large profile tree, then the status line, all
        // in one block: nothing may be lost and the status step must end
        // after its normal two seconds.
        auto& peer = *rig->peer;
        constexpr int kLines = 100000;
        peer.onLine = [](const QByteArray& line) -> QList<test::ScriptedPeer::Reply> {
            if (line.startsWith("tar ")) {
                QByteArray burst;
                burst.reserve(kLines * 40);
                for (int i = 0; i < kLines; ++i)
                    burst += "media/profiles/p" + QByteArray::number(i) + ".prf\r\n";
                return {{burst, 100}};
            }
            if (line == "echo CMDVAL: $?")
                return {{"CMDVAL: 0\r\n", 10}};
            return {};
        };
        const auto t0 = rig->platform.nowMs();
        const auto status = rig->link().runCommand("tar cvzf /media/config.tgz media", 20, 10);
        QCOMPARE(int(status), 0);
        QCOMPARE(rig->platform.nowMs() - t0, 2000);
        QCOMPARE(rig->controls.log.count(QStringLiteral("\r\n")), kLines + 1);
        QVERIFY(rig->controls.log.endsWith(QStringLiteral("p99999.prf\r\nCMDVAL: 0")));
    }

    void blocksOfAnySizeKeepTheLinkUp()
    {
        QByteArray big(40000, 'x');
        receive({big + "\r\nCMDVAL: 7\r\n"});
        QVERIFY(rig->link().isConnected());
        QCOMPARE(int(rig->link().lastStatus()), 7);
        QCOMPARE(rig->controls.log, QStringLiteral("\r\n") + QString(40000, u'x') + QStringLiteral("\r\nCMDVAL: 7"));
    }

    void aPeerWithoutLineEndsCannotGrowMemory()
    {
        // Megabytes of garbage with NUL bytes and no line end.
        QByteArray garbage(4 * 1024 * 1024, '\0');
        for (int i = 0; i < garbage.size(); ++i) {
            const int v = int((unsigned(i) * 7919u) % 256u);
            garbage[i] = char(v == 10 ? 0 : v);
        }
        for (int i = 0; i < 4; ++i)
            receive({garbage});
        QVERIFY(tarvo::test::LinkProbe(rig->link()).partialLineLength() < link::ControllerLink::kMaxLineLength);
        QCOMPARE(tarvo::test::LinkProbe(rig->link()).queuedLineCount(), std::size_t(0));
        QVERIFY(rig->link().isConnected());
        // The link still works afterwards.
        receive({"\r\nCMDVAL: 0\r\n"});
        QCOMPARE(int(rig->link().lastStatus()), 0);
    }

    void aFailedReadTakesTheLinkDown()
    {
        rig->socket().failReads = true;
        rig->socket().deliver("abc\r\n");
        rig->platform.doEvents();
        QVERIFY(!rig->link().isConnected());
        QCOMPARE(rig->controls.linkState, QStringLiteral("Disconnected"));
    }

    void aFragmentSurvivesReconnection()
    {
        receive({"root@laser:/# "});
        rig->link().disconnectFromController();
        rig->link().connectToController(QStringLiteral("10.0.0.5"), 1138, 5000);
        receive({"CMDVAL: 3\r\n"});
        // The prompt fragment of the old connection starts the first line.
        QCOMPARE(lastLine(), QByteArray("root@laser:/# CMDVAL: 3"));
    }
};

QTEST_GUILESS_MAIN(TestReceivePath)
#include "test_receive_path.moc"
