// The tool without a window, for a fleet: one --backup call saves three
// simulated controllers in parallel through the one TFTP server the tool
// starts, --restore writes one archive back onto a blank card, and one
// controller that fails leaves the others' backups intact.
#include "card_configuration.h"
#include "card_copy.h"
#include "loopback_tool.h"

#include <QProcess>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <memory>

using namespace tarvo::test;

namespace {

const QStringList kControllers{QStringLiteral("127.0.0.41"), QStringLiteral("127.0.0.42"),
                               QStringLiteral("127.0.0.43")};

// Relative path -> bytes of every regular file in a .tgz; empty when unreadable.
std::map<QString, QByteArray> archiveFiles(const QString& path)
{
    std::map<QString, QByteArray> files;
    archive* a = archive_read_new();
    archive_read_support_filter_gzip(a);
    archive_read_support_format_tar(a);
    if (archive_read_open_filename(a, QFile::encodeName(path).constData(), 64 * 1024) == ARCHIVE_OK) {
        archive_entry* e = nullptr;
        while (archive_read_next_header(a, &e) == ARCHIVE_OK) {
            if (archive_entry_filetype(e) != AE_IFREG)
                continue;
            QByteArray bytes(qsizetype(archive_entry_size(e)), Qt::Uninitialized);
            if (archive_read_data(a, bytes.data(), size_t(bytes.size())) != bytes.size()) {
                files.clear();
                break;
            }
            files[QString::fromUtf8(archive_entry_pathname(e))] = bytes;
        }
    }
    archive_read_free(a);
    return files;
}

// Only the zel/*.conf and media/*.conf files.
std::map<QString, QByteArray> confFiles(const std::map<QString, QByteArray>& files)
{
    static const QRegularExpression conf(QStringLiteral("^(zel|media)/[^/]*\\.conf$"));
    std::map<QString, QByteArray> out;
    for (const auto& [path, bytes] : files)
        if (conf.match(path).hasMatch())
            out[path] = bytes;
    return out;
}

}  // namespace

class TestFleetEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir cards, config;

    ToolRun runTool(const ProgramFolder& program, const QStringList& arguments)
    {
        return tarvo::test::runTool(program, arguments, config.path());
    }

    // Three cards: A; B, set up far enough to have a media/*.conf for the
    // backup's tar to take; and A with a configuration file of its own.
    std::array<QString, 3> stageCards(const QString& prefix)
    {
        std::array<QString, 3> paths;
        const QStringList samples{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A")};
        for (int i = 0; i < 3; ++i) {
            paths[i] = cards.filePath(prefix + QString::number(i));
            if (!copyTree(sampleCard(samples[i]), paths[i]))
                return {};
        }
        if (!writeFile(paths[1] + QStringLiteral("/media/station.conf"), "station=2\n")
            || !writeFile(paths[2] + QStringLiteral("/zel/extra.conf"), "# only on the third controller\nbeam=7\n"))
            return {};
        return paths;
    }

    static bool writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    static void verifyBackedUp(const ProgramFolder& program, const FleetResult& line, const QString& card)
    {
        QCOMPARE(line.result, QStringLiteral("ok"));
        const auto inArchive = archiveFiles(program.archive(line.controller));
        QVERIFY2(!inArchive.empty(), qPrintable(program.archive(line.controller)));
        QCOMPARE(confFiles(inArchive), confFiles(snapshot(card)));
        QCOMPARE(line.bytes, QFileInfo(program.archive(line.controller)).size());
        QVERIFY(line.files > 0);
        QVERIFY2(!QDir(program.archives() + QStringLiteral("/history/") + line.controller)
                      .entryList({QStringLiteral("*_config.tgz")}, QDir::Files)
                      .isEmpty(),
                 "a verified backup is kept in the history");
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(QStringLiteral(TARVO_SIMULATOR_PROGRAM)).isExecutable(), "controller-sim is built");
        QVERIFY2(QFileInfo(QStringLiteral(TARVO_TOOL_PROGRAM)).isExecutable(), "the tool is built");
    }

    void threeControllersBackedUpAtOnceAndOneRestored()
    {
        ProgramFolder program;
        QVERIFY(program.stage());
        QVERIFY(program.stageTool());
        const auto card = stageCards(QStringLiteral("ok"));
        QVERIFY(!card[0].isEmpty());
        std::array<SimulatorProcess, 3> sims;
        for (int i = 0; i < 3; ++i)
            QVERIFY(startOnShellPort(sims[i], kControllers[i], card[i], program.tftpPort));

        const ToolRun backup = runTool(program, QStringList{QStringLiteral("--backup")} + kControllers);
        QVERIFY2(backup.exitCode == 0, (backup.out + backup.err).constData());
        QCOMPARE(backup.results.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(backup.results[i].controller, kControllers[i]);
            verifyBackedUp(program, backup.results[i], card[i]);
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY(backup.err.contains("[" + kControllers[2].toLatin1() + "] "));
        // Without a window, the next step is a command, not a button.
        QVERIFY2(backup.err.contains("3. Then run: tarvo-config-updater --restore " + kControllers[2].toLatin1()),
                 backup.err.constData());
        QVERIFY(!backup.err.contains("Click the Continue button"));

        // The third controller's card is replaced by a blank one.
        SimulatorProcess& third = sims[2];
        QVERIFY(third.control(QStringLiteral("power off")).startsWith(QStringLiteral("ok")));
        const QString blankAnswer = third.control(QStringLiteral("card blank"));
        QVERIFY2(blankAnswer.startsWith(QStringLiteral("ok card ")), qPrintable(blankAnswer));
        const QString blank = blankAnswer.mid(8);
        QVERIFY(third.control(QStringLiteral("power on")).startsWith(QStringLiteral("ok")));

        const ToolRun restore = runTool(program, {QStringLiteral("--restore"), kControllers[2]});
        QVERIFY2(restore.exitCode == 0, (restore.out + restore.err).constData());
        QCOMPARE(restore.results.size(), 1);
        QCOMPARE(restore.results[0].result, QStringLiteral("ok"));
        const auto restored = configurationOf(snapshot(blank));
        QCOMPARE(restored, configurationOf(snapshot(card[2])));
        QVERIFY(restored.count(QStringLiteral("zel/extra.conf")));
        // The server the tool started is gone: its port is free again.
        QUdpSocket again;
        QVERIFY(again.bind(QHostAddress::LocalHost, program.tftpPort));
    }

    void aFailingControllerLeavesTheOthersBackedUp()
    {
        ProgramFolder program;
        QVERIFY(program.stage());
        QVERIFY(program.stageTool());
        const auto card = stageCards(QStringLiteral("fail"));
        QVERIFY(!card[0].isEmpty());
        std::array<SimulatorProcess, 3> sims;
        for (int i = 0; i < 3; ++i)
            QVERIFY(startOnShellPort(sims[i], kControllers[i], card[i], program.tftpPort,
                                     i == 1 ? QStringList{QStringLiteral("--fail-tar")} : QStringList{}));

        const ToolRun backup = runTool(program, QStringList{QStringLiteral("--backup")} + kControllers);
        QVERIFY2(backup.exitCode == 5, (backup.out + backup.err).constData());
        QCOMPARE(backup.results.size(), 3);
        QCOMPARE(backup.results[1].controller, kControllers[1]);
        QCOMPARE(backup.results[1].result, QStringLiteral("controller-failed"));
        QVERIFY(backup.err.contains("[" + kControllers[1].toLatin1() + "] error: "));
        QVERIFY2(backup.err.contains("then run again: tarvo-config-updater --backup " + kControllers[1].toLatin1()),
                 backup.err.constData());
        QVERIFY(!backup.err.contains("click Start"));
        QVERIFY(!QFileInfo::exists(program.archive(kControllers[1])));
        for (int i : {0, 2}) {
            QCOMPARE(backup.results[i].controller, kControllers[i]);
            verifyBackedUp(program, backup.results[i], card[i]);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void contradictoryCommandsAreRefusedBeforeAnythingStarts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("reason");
        QTest::newRow("same address twice") << QStringList{"--backup", "127.0.0.51", "127.0.0.51"} << "given twice";
        QTest::newRow("a name twice") << QStringList{"--backup", "laser-a", "LASER-A"} << "given twice";
        QTest::newRow("a name and its address") << QStringList{"--backup", "127.0.0.1", "localhost"}
                                                << "'127.0.0.1' and 'localhost' are the same controller (127.0.0.1)";
        QTest::newRow("archive with backup") << QStringList{"--backup", "--archive", "/tmp/x.tgz", "127.0.0.51"}
                                             << "--archive goes with --restore only";
        QTest::newRow("another laser with backup") << QStringList{"--backup", "--allow-other-laser", "127.0.0.51"}
                                                   << "--allow-other-laser goes with --restore only";
        QTest::newRow("parallel with restore") << QStringList{"--restore", "--parallel", "2", "127.0.0.51"}
                                               << "--parallel goes with --backup only";
        QTest::newRow("octal octet") << QStringList{"--restore", "127.0.0.051"} << "neither an IPv4 address";
    }

    void contradictoryCommandsAreRefusedBeforeAnythingStarts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        ProgramFolder program;
        QVERIFY(program.stage());
        QVERIFY(program.stageTool());
        const ToolRun run = runTool(program, arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
        QVERIFY(run.out.isEmpty());  // no summary: nothing ran
    }
};

QTEST_GUILESS_MAIN(TestFleetEndToEnd)
#include "test_fleet_e2e.moc"
