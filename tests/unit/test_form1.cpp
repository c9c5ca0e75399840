// Start-up, the progress bar, the log toggle and process end.
#include "virtual_rig.h"

#include <QtTest>

using namespace tarvo;

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void startUpState()
    {
        platform::VirtualPlatform p;
        platform::VirtualControls c;
        p.settings.insert(QStringLiteral("Tarvo Configuration Updater/Comm/IP_Addr"), QStringLiteral("10.1.2.3"));
        c.heightTwips = 10380.5;  // designed outer height, as the platform reports it
        c.log = QStringLiteral("junk");
        c.setProgress(55);
        window::Form1 form(p, c);
        form.Form_Load();
        QCOMPARE(c.windowTitle(), QStringLiteral("Tarvo Configuration Updater, Rev 1.0.1"));
        QCOMPARE(c.targetAddress(), QStringLiteral("10.1.2.3"));
        QCOMPARE(c.status(), QStringLiteral("Status: "));
        QCOMPARE(c.linkState, QStringLiteral("Disconnected"));
        QCOMPARE(c.log, QString());
        QVERIFY(c.isButtonEnabled());
        QCOMPARE(c.buttonCaption(), QStringLiteral("Start"));
        QCOMPARE(c.progress(), 0.0);
        QVERIFY(!c.isLogVisible());
        QCOMPARE(form.Full_Form_Height, 10380);  // half to even
        QCOMPARE(c.heightTwips, 5000.0);
        QCOMPARE(form.App_Folder, QStringLiteral("/opt/tarvo/"));
        QVERIFY(!form.link.Network_Connected);
        QVERIFY(!form.server.TFTP_Server_Running);
        QVERIFY(!form.link.Error_Reported);
        QVERIFY(!form.link.Login_Prompt_Seen);
        QVERIFY(!form.link.Timer1().isEnabled());
        QVERIFY(!form.link.Timer2().isEnabled());
        QVERIFY(!form.link.Timer5().isEnabled());
        QCOMPARE(form.link.Line_Terminator, QByteArray("\r\n"));
    }

    void withoutASettingTheAddressBoxStaysEmpty()
    {
        platform::VirtualPlatform p;
        platform::VirtualControls c;
        window::Form1 form(p, c);
        form.Form_Load();
        QCOMPARE(c.targetAddress(), QString());
    }

    void titlesAndFolders()
    {
        QCOMPARE(window::formTitle(2, 0, 13), QStringLiteral("Tarvo Configuration Updater, Rev 2.0.13"));
        QCOMPARE(window::appFolderFrom(QStringLiteral("/")), QStringLiteral("/"));
        QCOMPARE(window::appFolderFrom(QStringLiteral("/opt/x")), QStringLiteral("/opt/x/"));
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
        platform::VirtualControls c;
        c.setProgress(start);
        c.Update_Progress_Bar(interval);
        QCOMPARE(c.progress(), expected);
    }

    void theLogToggles()
    {
        test::VirtualRig rig;
        rig.form->Full_Form_Height = 10380;
        rig.form->Label3_DblClick();
        QVERIFY(rig.controls.isLogVisible());
        QCOMPARE(rig.controls.heightTwips, 10380.0);
        rig.form->Label3_DblClick();
        QVERIFY(!rig.controls.isLogVisible());
        QCOMPARE(rig.controls.heightTwips, 5000.0);
    }

    void linesArriveInTheHiddenLog()
    {
        test::VirtualRig rig;
        rig.connectScripted();
        rig.socket().deliver("one\r\ntwo\r\n");
        rig.platform.runUntil(rig.platform.nowMs() + 5);
        rig.form->Label3_DblClick();
        QCOMPARE(rig.controls.log, QStringLiteral("\r\none\r\ntwo"));
    }

    void processEndStartsTheUninstallerOnlyWhenPresent()
    {
        {
            test::VirtualRig rig;
            rig.form->Form_Terminate();
            QVERIFY(rig.platform.detachedStarts.empty());
        }
        test::VirtualRig rig;
        rig.platform.files.insert(QStringLiteral("/opt/tarvo/uninst"));
        rig.form->Form_Terminate();
        QCOMPARE(rig.platform.detachedStarts.size(), size_t(1));
        QCOMPARE(rig.platform.detachedStarts[0].program, QStringLiteral("/opt/tarvo/uninst"));
        QCOMPARE(rig.platform.detachedStarts[0].delayMs, 2000);
    }

    void shutDownAttemptsEveryStep()
    {
        test::VirtualRig rig;
        rig.connectScripted();
        rig.form->server.TFTP_Server_Running = true;
        rig.controls.failOperations = true;  // the bar and labels fail
        rig.form->Form_Unload();
        QVERIFY(!rig.form->server.TFTP_Server_Running);
        QVERIFY(!rig.link().Network_Connected);
        QCOMPARE(rig.socket().state(), int(platform::sckClosed));
        QVERIFY(!rig.link().Timer1().isEnabled());
        QVERIFY(!rig.link().isLineTimerOn());
    }
};

QTEST_GUILESS_MAIN(TestForm1)
#include "test_form1.moc"
