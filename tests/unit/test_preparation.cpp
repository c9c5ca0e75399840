// Stopping the firmware, opening the safety relay, and the timed wait,
// each within a whole run.
#include "workflow_fixture.h"

#include <QtTest>

using namespace tarvo;

static const QByteArray kRelay = "echo -ne '\\x00\\x00\\x00\\x00' > /dev/gpio0";
static const QString kPreparing = QStringLiteral("Preparing to update... ");
static const QString kOpening = QStringLiteral("Opening the Safety Relay... ");

class TestPreparation : public QObject {
    Q_OBJECT

    std::unique_ptr<test::WorkflowFixture> f;
    test::RecordingView::Step step;

    // A run, and the step of it that the status announced.
    void runUpTo(const QString& status)
    {
        f->rig->click();
        step = f->controls().step(status);
        QVERIFY(step.fromMs >= 0);
    }
    std::int64_t elapsed() const { return step.untilMs - step.fromMs; }

private slots:
    void init() { f = std::make_unique<test::WorkflowFixture>(); }

    void prepareStopsTheFirmwareAndWaitsFiveSeconds()
    {
        runUpTo(kPreparing);
        QCOMPARE(f->shell->linesFrom(step.fromMs, step.untilMs), QList<QByteArray>{"killall laser.elf"});
        QCOMPARE(elapsed(), 5000);
        // The relay step then starts the bar afresh.
        QCOMPARE(step.bar, (std::vector<double>{0, 0, 20, 40, 60, 80, 100, 100, 0}));
        QCOMPARE(step.next, kOpening);
    }

    void aWaitOfAnyLengthStepsRoundedHalfToEven_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("points");
        QTest::addColumn<double>("climb");  // the bar after the last second
        QTest::newRow("3") << 3 << 33 << 99.0;
        QTest::newRow("5") << 5 << 20 << 100.0;
        QTest::newRow("6") << 6 << 17 << 100.0;
        QTest::newRow("8") << 8 << 12 << 96.0;
    }

    void aWaitOfAnyLengthStepsRoundedHalfToEven()
    {
        // A run waits five seconds only (above, and between relay attempts);
        // the step and the climb of other lengths, from the bar's arithmetic.
        QFETCH(int, seconds);
        QFETCH(int, points);
        QFETCH(double, climb);
        QCOMPARE(workflow::roundHalfEven16(1.0 / seconds * 100.0), points);
        double bar = 0;
        for (int second = 1; second <= seconds; ++second)
            bar = workflow::advancedProgress(bar, points);
        QCOMPARE(bar, climb);
    }

    void relayOpensAtTheFirstAttempt()
    {
        runUpTo(kOpening);
        QCOMPARE(f->shell->linesFrom(step.fromMs, step.untilMs), (QList<QByteArray>{kRelay, "echo CMDVAL: $?"}));
        QCOMPARE(elapsed(), 2000);
        QCOMPARE(step.next, QStringLiteral("Reading config data from the laser... "));
        // The 40 characters go out as they stand, a line of their own.
        QVERIFY(f->rig->socket().sent.contains("\r\n" + kRelay + "\r\n"));
    }

    void relayOpensAtTheSecondAttempt()
    {
        f->shell->statusSequence.insert(kRelay, {1, 0});
        runUpTo(kOpening);
        QCOMPARE(f->shell->lines.count(kRelay), 2);
        QCOMPARE(elapsed(), 2000 + 5000 + 2000);
        QCOMPARE(step.next, QStringLiteral("Reading config data from the laser... "));
    }

    void relayFailsThreeTimes()
    {
        f->shell->status.insert(kRelay, 1);
        runUpTo(kOpening);
        QCOMPARE(f->shell->lines.count(kRelay), 3);
        // Each failure, the third too, is followed by its five-second wait;
        // the only message is the run's, once the step has given up.
        QCOMPARE(elapsed(), 3 * (2000 + 5000));
        QCOMPARE(f->messageTexts(), QStringList{"Opening Safety Relay failed"});
        QCOMPARE(f->prompts().messages[0].atMs, step.untilMs);
        QCOMPARE(f->controls().progress(), 100.0);
    }

    void relayNeverAnswered()
    {
        f->shell->silentAfter.insert(kRelay);
        runUpTo(kOpening);
        QCOMPARE(elapsed(), 3 * (2000 + 2500 + 5000));
    }
};

QTEST_GUILESS_MAIN(TestPreparation)
#include "test_preparation.moc"
