// Stopping the firmware, opening the safety relay, and the timed wait.
#include "workflow_fixture.h"

#include <QtTest>

using namespace tarvo;

static const QByteArray kRelay = "echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0";

class TestPreparation : public QObject {
    Q_OBJECT

    std::unique_ptr<test::WorkflowFixture> f;
    std::int64_t t0 = 0;
    std::int64_t elapsed() const { return f->platform().nowMs() - t0; }

private slots:
    void init()
    {
        f = std::make_unique<test::WorkflowFixture>();
        f->connectLoggedIn();
        t0 = f->platform().nowMs();
    }

    void prepareStopsTheFirmwareAndWaitsFiveSeconds()
    {
        f->workflow().stopFirmware();
        QCOMPARE(f->shell->lines, QList<QByteArray>{"killall laser.elf"});
        QCOMPARE(elapsed(), 5000);
        QCOMPARE(f->progressValues(), (std::vector<double>{0, 0, 20, 40, 60, 80, 100, 100}));
        QCOMPARE(f->controls().status(), QStringLiteral("Preparing to update... "));
    }

    void waitWithProgressOfThreeSeconds()
    {
        f->workflow().waitWithProgress(3);
        QCOMPARE(elapsed(), 3000);
        QCOMPARE(f->progressValues(), (std::vector<double>{0, 33, 66, 99, 100}));
    }

    void relayOpensAtTheFirstAttempt()
    {
        QVERIFY(f->workflow().openSafetyRelay());
        QCOMPARE(f->shell->lines, (QList<QByteArray>{kRelay, "echo CMDVAL: $?"}));
        QCOMPARE(elapsed(), 2000);
        QCOMPARE(f->controls().status(), QStringLiteral("Opening the Safety Relay... "));
        QCOMPARE(f->rig->socket().sent.left(42), kRelay + "\r\n");
    }

    void relayOpensAtTheSecondAttempt()
    {
        f->shell->statusSequence.insert(kRelay, {1, 0});
        QVERIFY(f->workflow().openSafetyRelay());
        QCOMPARE(f->shell->lines.count(kRelay), 2);
        QCOMPARE(elapsed(), 2000 + 5000 + 2000);
    }

    void relayFailsThreeTimes()
    {
        f->shell->status.insert(kRelay, 1);
        QVERIFY(!f->workflow().openSafetyRelay());
        QCOMPARE(f->shell->lines.count(kRelay), 3);
        // Each failure, the third too, is followed by its five-second wait.
        QCOMPARE(elapsed(), 3 * (2000 + 5000));
        QVERIFY(f->platform().messages.empty());
        QCOMPARE(f->controls().progress(), 100.0);
    }

    void relayNeverAnswered()
    {
        f->shell->silentAfter.insert(kRelay);
        QVERIFY(!f->workflow().openSafetyRelay());
        QCOMPARE(elapsed(), 3 * (2000 + 2500 + 5000));
    }
};

QTEST_GUILESS_MAIN(TestPreparation)
#include "test_preparation.moc"
