// Start-up, the progress bar, the log and process end.
#include "link_probe.h"
#include "virtual_rig.h"

#include "generated/version.h"
#include "platform/delayed_start.h"

#include <QHostAddress>
#include <QRegularExpression>

#include <QtTest>

using namespace tarvo;

class TestUpdater : public QObject {
    Q_OBJECT

private slots:
    void startUpShowsAnIdleRun()
    {
        tarvo::platform::VirtualPlatform p;
        test::RecordingPrompts prompts(p);
        p.settings.insert(QStringLiteral("Tarvo Configuration Updater/Comm/IP_Addr"), QStringLiteral("10.1.2.3"));
        window::Updater updater(p, prompts);
        test::RecordingView c;
        c.watch(updater.workflow());
        updater.load();
        QCOMPARE(updater.workflow().title(), QStringLiteral("Tarvo Configuration Updater, Rev %1.%2.%3")
                                                 .arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
        QCOMPARE(updater.savedAddress(), QStringLiteral("10.1.2.3"));
        QCOMPARE(c.status(), QStringLiteral("Status: "));
        QVERIFY(c.isButtonEnabled());
        QCOMPARE(c.buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(c.progress(), 0.0);
        QCOMPARE(c.log, QString());
    }

    void withoutASettingNoAddressIsSaved()
    {
        tarvo::platform::VirtualPlatform p;
        test::RecordingPrompts prompts(p);
        window::Updater updater(p, prompts);
        updater.load();
        QCOMPARE(updater.savedAddress(), QString());
    }

    void titlesAndFolders()
    {
        QCOMPARE(window::windowTitleFor(2, 0, 13), QStringLiteral("Tarvo Configuration Updater, Rev 2.0.13"));
#ifdef Q_OS_WIN
        // The root of a drive keeps its one backslash.
        QCOMPARE(window::withTrailingSeparator(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
        QCOMPARE(window::withTrailingSeparator(QStringLiteral("C:\\Tool")), QStringLiteral("C:\\Tool\\"));
#else
        QCOMPARE(window::withTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(window::withTrailingSeparator(QStringLiteral("/opt/x")), QStringLiteral("/opt/x/"));
#endif
    }

    void progressBar_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("interval");
        QTest::addColumn<double>("expected");
        QTest::newRow("capped from 75") << 75.0 << 30.0 << 100.0;
        QTest::newRow("full stays full") << 100.0 << 0.0 << 100.0;
        QTest::newRow("99 and 1") << 99.0 << 1.0 << 100.0;
        QTest::newRow("98 and 1") << 98.0 << 1.0 << 99.0;
        QTest::newRow("half to even, down") << 0.0 << 2.5 << 2.0;
        QTest::newRow("half to even, up") << 0.0 << 3.5 << 4.0;
        QTest::newRow("plain") << 20.0 << 15.0 << 35.0;
    }

    void progressBar()
    {
        QFETCH(double, start);
        QFETCH(double, interval);
        QFETCH(double, expected);
        QCOMPARE(workflow::advancedProgress(start, interval), expected);
    }

    void linesArriveInTheLog()
    {
        test::VirtualRig rig;
        rig.connectScripted();
        rig.socket().deliver("one\r\ntwo\r\n");
        rig.platform.runUntil(rig.platform.nowMs() + 5);
        QCOMPARE(rig.controls.log, QStringLiteral("\r\none\r\ntwo"));
    }

    void processEndStartsTheUninstallerOnlyWhenPresent()
    {
        {
            test::VirtualRig rig;
            rig.updater->startUninstallerIfPresent();
            QVERIFY(rig.platform.detachedStarts.empty());
        }
        test::VirtualRig rig;
        rig.platform.files.insert(platform::virtualProgramPath(QStringLiteral("uninst")));
        rig.updater->startUninstallerIfPresent();
        QCOMPARE(rig.platform.detachedStarts.size(), size_t(1));
        QCOMPARE(rig.platform.detachedStarts[0].program, platform::virtualProgramPath(QStringLiteral("uninst")));
        QCOMPARE(rig.platform.detachedStarts[0].delayMs, 2000);
        // On Windows the command interpreter pauses two seconds by pinging
        // the loopback address three times, a second apart: the pause holds
        // offline too, and no packet leaves the PC.
        const QString commandLine = rig.platform.detachedStarts[0].commandLine;
        QCOMPARE(commandLine, QStringLiteral("cmd.exe /C ping 127.0.0.1 -n 3 -w 2000 > Nul & \"%1\"")
                                  .arg(platform::virtualProgramPath(QStringLiteral("uninst"))));
        const QRegularExpressionMatch ping = QRegularExpression(QStringLiteral(" ping (\\S+) ")).match(commandLine);
        QVERIFY(ping.hasMatch());
        QVERIFY(QHostAddress(ping.captured(1)).isLoopback());
        QCOMPARE(platform::delayedStartCommandLine(QStringLiteral("C:\\Tool\\uninst.exe"), 2000),
                 QStringLiteral("cmd.exe /C ping 127.0.0.1 -n 3 -w 2000 > Nul & \"C:\\Tool\\uninst.exe\""));
        QCOMPARE(platform::delayedStartArguments(QStringLiteral("u.exe"), 500),
                 QStringLiteral("/C ping 127.0.0.1 -n 2 -w 500 > Nul & \"u.exe\""));
    }

    void shutDownAttemptsEveryStep()
    {
        // The window closes while a run waits for the login prompt, with
        // the server started and the link up.
        test::VirtualRig rig;
        rig.platform.files.insert(platform::virtualProgramPath(QStringLiteral("OpenTFTPServerMT")));
        rig.controls.setTargetAddress(QStringLiteral("10.0.0.5"));
        bool closed = false;
        rig.controls.onStatus = [&](const QString& text) {
            if (text != QStringLiteral("Login to laser... "))
                return;
            rig.platform.scheduleIn(500, [&] {
                QVERIFY(rig.updater->server().isRunning());
                QVERIFY(rig.link().isConnected());
                rig.controls.failOperations = true;  // the bar and labels fail
                rig.updater->unload();
                closed = true;
            });
        };
        rig.click();
        QVERIFY(closed);
        QVERIFY(!rig.updater->server().isRunning());
        QVERIFY(rig.platform.processes.at(0).closed);
        QVERIFY(!rig.link().isConnected());
        QCOMPARE(rig.socket().state(), tarvo::platform::SocketState::Closed);
        QVERIFY(!tarvo::test::LinkProbe(rig.link()).delayTimer().isEnabled());
        QVERIFY(!tarvo::test::LinkProbe(rig.link()).isLineTimerOn());
    }
};

QTEST_GUILESS_MAIN(TestUpdater)
#include "test_updater.moc"
