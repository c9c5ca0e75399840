// Three real backup-and-restore cycles over loopback: the real tool
// (window offscreen), the real controller-sim and the real TFTP server,
// with a dropped connection in the second cycle. After each run the PC's
// archive is the previous good one or a complete new one, and after each
// restore the new card holds the configuration.
#include "card_copy.h"
#include "loopback_tool.h"

#include "platform/qt_platform.h"
#include "window/main_window.h"

#include <QPushButton>
#include <QFileInfo>
#include <QtTest>

using tarvo::window::MainWindow;
using namespace tarvo::test;

// An address of this test's own, so that it can run beside the others.
const QString kControllerAddress = QStringLiteral("127.0.0.25");

class TestSoakLoopback : public QObject {
    Q_OBJECT

    QTemporaryDir cards, config;

private slots:
    void threeCycles()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        ProgramFolder program;
        QVERIFY(program.stage());
        QString card = cards.filePath(QStringLiteral("card-0"));
        QVERIFY(copyTree(sampleCard(QStringLiteral("A")), card));
        const auto original = snapshot(card);

        QStringList messages;
        tarvo::platform::QtPlatform platform;
        program.use(platform);
        MainWindow tool(platform);
        tool.prompts().messageHandler = [&](const QString& text, tarvo::workflow::MessageIcon) { messages << text; };
        tool.load();
        tool.show();

        QByteArray goodArchive;
        for (int cycle = 1; cycle <= 3; ++cycle) {
            const QString context = QStringLiteral("cycle %1").arg(cycle);
            auto sim = std::make_unique<SimulatorProcess>();
            // In the second cycle the controller drops the link in the middle
            // of the backup; the operator clicks Start again.
            const QStringList faults = cycle == 2 ? QStringList{"--drop-after", "9"} : QStringList{};
            QVERIFY2(startOnShellPort(*sim, kControllerAddress, card, program.tftpPort, faults), qPrintable(context));
            tool.setTargetAddress(kControllerAddress);

            messages.clear();
            tool.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
            if (cycle == 2) {
                QVERIFY2(messages.size() == 1, qPrintable(context + ": " + messages.join('|')));
                QCOMPARE(tool.buttonCaption(), QStringLiteral("Start"));
                QFile keptFile(program.archive(kControllerAddress));
                const QByteArray kept = keptFile.open(QIODevice::ReadOnly) ? keptFile.readAll() : QByteArray();
                QVERIFY2(kept == goodArchive || kept.startsWith("\x1f\x8b"), qPrintable(context));
                sim = std::make_unique<SimulatorProcess>();
                QVERIFY(startOnShellPort(*sim, kControllerAddress, card, program.tftpPort));
                messages.clear();
                tool.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
            }
            QVERIFY2(messages.isEmpty(), qPrintable(context + ": " + messages.join('|')));
            QCOMPARE(tool.buttonCaption(), QStringLiteral("Continue"));
            QFile archive(program.archive(kControllerAddress));
            QVERIFY(archive.open(QIODevice::ReadOnly));
            goodArchive = archive.readAll();
            QVERIFY2(goodArchive.startsWith("\x1f\x8b"), qPrintable(context));

            // A fresh blank card for the restore.
            card = cards.filePath(QStringLiteral("card-%1").arg(cycle));
            QVERIFY(copyTree(sampleCard(QStringLiteral("B")), card));
            QVERIFY(sim->control(QStringLiteral("power off")).startsWith(QStringLiteral("ok")));
            QVERIFY(sim->control(QStringLiteral("card ") + card).startsWith(QStringLiteral("ok")));
            QVERIFY(sim->control(QStringLiteral("power on")).startsWith(QStringLiteral("ok")));
            tool.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
            QVERIFY2(messages.isEmpty(), qPrintable(context + ": " + messages.join('|')));
            QCOMPARE(tool.buttonCaption(), QStringLiteral("Start"));
            const auto restored = snapshot(card);
            for (const auto& [path, bytes] : original)
                if (path.startsWith(QStringLiteral("zel/")) && path.endsWith(QStringLiteral(".conf")))
                    QVERIFY2(restored.count(path) && restored.at(path) == bytes, qPrintable(context + ": " + path));
            QVERIFY(restored.count(QStringLiteral("media/profiles")));
        }
        // Earlier archives were kept aside by the server before being
        // replaced, and every verified backup is in the history.
        QVERIFY(QDir(QFileInfo(program.archive(kControllerAddress)).path() + QStringLiteral("/backups"))
                    .entryList(QDir::Files)
                    .size()
                >= 2);
        QCOMPARE(QDir(program.archives() + QStringLiteral("/history/") + kControllerAddress)
                     .entryList({QStringLiteral("*_config.tgz")}, QDir::Files)
                     .size(),
                 3);
    }
};

QTEST_MAIN(TestSoakLoopback)
#include "test_soak_loopback.moc"
