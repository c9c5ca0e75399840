// Logging in: prompt attempts, the shell confirmation, both failure boxes,
// bar values and durations, each within a whole run.
#include "workflow_fixture.h"

#include <QtTest>

using namespace tarvo;

class TestLogin : public QObject {
    Q_OBJECT

    std::unique_ptr<test::WorkflowFixture> f;
    test::RecordingView::Step step;

    // A run; the login is the part of it that its status announced.
    void login()
    {
        f->rig->click();
        step = f->controls().step(QStringLiteral("Login to laser... "));
        QVERIFY(step.fromMs >= 0);
    }
    std::int64_t elapsed() const { return step.untilMs - step.fromMs; }
    QList<QByteArray> linesOfLogin() const { return f->shell->linesFrom(step.fromMs, step.untilMs); }

private slots:
    void init() { f = std::make_unique<test::WorkflowFixture>(); }

    void onePromptAttemptWhenThePromptComesAtOnce()
    {
        login();
        QCOMPARE(linesOfLogin(), (QList<QByteArray>{"", "root", "", "echo CMDVAL: $?"}));
        QCOMPARE(elapsed(), 4000);
        // From 0 at entry; the preparation then starts the bar afresh.
        QCOMPARE(step.bar, (std::vector<double>{0, 15, 30, 45, 75, 100, 100, 0}));
        // The label still shows the login when the next step begins.
        QCOMPARE(step.next, QStringLiteral("Preparing to update... "));
        QCOMPARE(f->shell->lines.at(4), QByteArray("killall laser.elf"));
        QVERIFY(f->prompts().messages.empty());
    }

    void twoAttemptsWhenThePromptIsCompletedOnlyByTheSecond()
    {
        f->shell->promptOnConnect = false;
        login();
        QCOMPARE(linesOfLogin().mid(0, 3), (QList<QByteArray>{"", "", "root"}));
        QCOMPARE(elapsed(), 4500);
        QCOMPARE(step.next, QStringLiteral("Preparing to update... "));
    }

    void noPromptAtAll()
    {
        f->shell->promptOnConnect = false;
        f->shell->answerEmptyLines = false;
        login();
        QCOMPARE(f->shell->lines, (QList<QByteArray>{"", "", ""}));
        QCOMPARE(f->messageTexts(), QStringList{"Login to Laser failed. Cannot get prompt for login."});
        QCOMPARE(f->prompts().messages[0].icon, tarvo::workflow::MessageIcon::None);
        QCOMPARE(f->prompts().messages[0].atMs - step.fromMs, 2500);
        QCOMPARE(step.next, QStringLiteral("Login failed"));
        QCOMPARE(f->controls().status(), QStringLiteral("Login failed"));
        QCOMPARE(f->controls().progress(), 30.0);
    }

    void theShellRefusesTheConfirmation()
    {
        f->shell->confirmationStatus = 127;
        login();
        QCOMPARE(f->messageTexts(), QStringList{"Login to Laser failed. Cannot get prompt after login."});
        QCOMPARE(f->prompts().messages[0].icon, tarvo::workflow::MessageIcon::None);
        QCOMPARE(f->controls().status(), QStringLiteral("Login failed"));
        QCOMPARE(f->controls().progress(), 100.0);
    }

    void theShellNeverConfirms()
    {
        f->shell->silentAfter.insert(QByteArray());
        login();
        // 1 s, one attempt, the user name, then 2 s and 17 polls.
        QCOMPARE(elapsed(), 1000 + 500 + 500 + 2000 + 17 * 500);
        QCOMPARE(step.next, QStringLiteral("Login failed"));
        QCOMPARE(f->messageTexts(), QStringList{"Login to Laser failed. Cannot get prompt after login."});
    }
};

QTEST_GUILESS_MAIN(TestLogin)
#include "test_login.moc"
