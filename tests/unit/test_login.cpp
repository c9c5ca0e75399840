// Logging in: prompt attempts, the shell confirmation, both failure boxes,
// bar values and durations.
#include "workflow_fixture.h"

#include <QtTest>

using namespace tarvo;

class TestLogin : public QObject {
    Q_OBJECT

    std::unique_ptr<test::WorkflowFixture> f;

    bool login()
    {
        f->rig->updater->workflow().connectToController(f->rig->controls.address);
        f->controls().progressHistory.clear();
        t0 = f->platform().nowMs();
        return f->workflow().logIn();
    }
    std::int64_t t0 = 0;
    std::int64_t elapsed() const { return f->platform().nowMs() - t0; }

private slots:
    void init() { f = std::make_unique<test::WorkflowFixture>(); }

    void onePromptAttemptWhenThePromptComesAtOnce()
    {
        QVERIFY(login());
        QCOMPARE(f->shell->lines, (QList<QByteArray>{"", "root", "", "echo CMDVAL: $?"}));
        QCOMPARE(elapsed(), 4000);
        QCOMPARE(f->progressValues(), (std::vector<double>{15, 30, 45, 75, 100, 100}));
        QCOMPARE(f->controls().status(), QStringLiteral("Login to laser... "));
        QVERIFY(f->platform().messages.empty());
    }

    void twoAttemptsWhenThePromptIsCompletedOnlyByTheSecond()
    {
        f->shell->promptOnConnect = false;
        QVERIFY(login());
        QCOMPARE(f->shell->lines.mid(0, 3), (QList<QByteArray>{"", "", "root"}));
        QCOMPARE(elapsed(), 4500);
    }

    void noPromptAtAll()
    {
        f->shell->promptOnConnect = false;
        f->shell->answerEmptyLines = false;
        QVERIFY(!login());
        QCOMPARE(f->shell->lines, (QList<QByteArray>{"", "", ""}));
        QCOMPARE(f->messageTexts(), QStringList{"Login to Laser failed. Cannot get prompt for login."});
        QCOMPARE(f->platform().messages[0].icon, tarvo::platform::MessageIcon::None);
        QCOMPARE(f->platform().messages[0].atMs - t0, 2500);
        QCOMPARE(f->controls().status(), QStringLiteral("Login failed"));
        QCOMPARE(f->controls().progress(), 30.0);
    }

    void theShellRefusesTheConfirmation()
    {
        f->shell->confirmationStatus = 127;
        QVERIFY(!login());
        QCOMPARE(f->messageTexts(), QStringList{"Login to Laser failed. Cannot get prompt after login."});
        QCOMPARE(f->platform().messages[0].icon, tarvo::platform::MessageIcon::None);
        QCOMPARE(f->controls().status(), QStringLiteral("Login failed"));
        QCOMPARE(f->controls().progress(), 100.0);
    }

    void theShellNeverConfirms()
    {
        f->shell->silentAfter.insert(QByteArray());
        QVERIFY(!login());
        // 1 s, one attempt, the user name, then 2 s and 17 polls.
        QCOMPARE(elapsed(), 1000 + 500 + 500 + 2000 + 17 * 500);
        QCOMPARE(f->messageTexts(), QStringList{"Login to Laser failed. Cannot get prompt after login."});
    }
};

QTEST_GUILESS_MAIN(TestLogin)
#include "test_login.moc"
