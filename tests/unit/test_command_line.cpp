// The program's command line: which options open no window, what each asks
// for, and the refusals with their reasons and status.
#include "terminal/command_line.h"

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

using tarvo::terminal::CommandLine;
using Action = CommandLine::Action;

Q_DECLARE_METATYPE(CommandLine::Action)

namespace {
// Names as a resolver would see them; the rest lead nowhere.
QString resolve(const QString& name)
{
    if (name == QLatin1String("plc-1") || name == QLatin1String("10.0.0.7"))
        return QStringLiteral("10.0.0.7");
    return {};
}

CommandLine read(const QStringList& options)
{
    return tarvo::terminal::readCommandLine(QStringList{QStringLiteral("tarvo-config-updater")} + options, resolve);
}
}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7")); }

    void whatIsAsked_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<Action>("action");
        // A refusal's reason, or the whole of a short answer.
        QTest::addColumn<QString>("message");
        // A refusal followed by the usage.
        QTest::addColumn<bool>("withUsage");
        const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        const QString no = QStringLiteral("tarvo-config-updater: ");

        row("nothing opens the window") << QStringList{} << Action::OpenWindow << QString() << false;
        row("an archive folder alone is the window's")
            << QStringList{"--archive-dir", "/x", "--parallel", "3"} << Action::OpenWindow << QString() << false;
        row("version") << QStringList{"-v"} << Action::PrintVersion
                       << QStringLiteral("tarvo-config-updater 9.8.7\n") << false;
        row("demo") << QStringList{"--demo"} << Action::RunDemo << QString() << false;
        row("backup of two") << QStringList{"--backup", "10.0.0.1", "plc-1"} << Action::RunFleet << QString()
                             << false;

        row("unknown option") << QStringList{"--bogus"} << Action::Refuse
                              << no + "Unknown option 'bogus'.\n" << true;
        row("an address without --backup") << QStringList{"stray"} << Action::Refuse
                                            << no + "unexpected argument 'stray'.\n" << true;
        row("a missing value") << QStringList{"--parallel"} << Action::Refuse
                               << no + "Missing value after '--parallel'.\n" << true;
        row("help with an unknown option") << QStringList{"--help", "--bogus"} << Action::Refuse
                                           << no + "Unknown option 'bogus'.\n" << true;
        row("-? answers on the terminal, as an unknown option") << QStringList{"-?"} << Action::Refuse
                                                                << no + "Unknown option '?'.\n" << true;
        row("an option behind -- is an address") << QStringList{"--", "--backup"} << Action::Refuse
                                                 << no + "unexpected argument '--backup'.\n" << true;

        row("backup and restore") << QStringList{"--backup", "--restore", "10.0.0.1"} << Action::Refuse
                                  << no + "--backup and --restore exclude each other.\n" << false;
        row("help with a backup of nothing") << QStringList{"--help", "--backup"} << Action::Refuse
                                             << no + "no controller ADDRESS given.\n" << false;
        row("restore of two") << QStringList{"--restore", "10.0.0.1", "10.0.0.2"} << Action::Refuse
                              << no + "--restore takes exactly one ADDRESS.\n" << false;
        row("parallel 0") << QStringList{"--backup", "10.0.0.1", "--parallel", "0"} << Action::Refuse
                          << no + "--parallel takes a number of 1 or more.\n" << false;
        row("parallel not a number") << QStringList{"--backup", "10.0.0.1", "--parallel", "x"} << Action::Refuse << no + "--parallel takes a number of 1 or more.\n" << false;
        row("backup with an archive") << QStringList{"--backup", "10.0.0.1", "--archive", "f.tgz"} << Action::Refuse << no + "--archive goes with --restore only.\n" << false;
        row("backup onto another laser") << QStringList{"--backup", "10.0.0.1", "--allow-other-laser"} << Action::Refuse << no + "--allow-other-laser goes with --restore only.\n"
                                         << false;
        row("restore in parallel") << QStringList{"--restore", "10.0.0.1", "--parallel", "2"} << Action::Refuse << no + "--parallel goes with --backup only.\n" << false;
        row("not an address") << QStringList{"--backup", "10.0.0.1", "bad_name!"} << Action::Refuse
                              << no + "'bad_name!' is neither an IPv4 address nor a host name.\n" << false;
        row("one name twice") << QStringList{"--backup", "PLC-1", "plc-1"} << Action::Refuse
                              << no + "'plc-1' is given twice.\n" << false;
        row("a name and its address") << QStringList{"--backup", "plc-1", "10.0.0.7"} << Action::Refuse
                                      << no + "'plc-1' and '10.0.0.7' are the same controller (10.0.0.7): two "
                                              "sessions on one controller would fight over its card.\n"
                                      << false;
    }

    void whatIsAsked()
    {
        QFETCH(QStringList, options);
        QFETCH(Action, action);
        QFETCH(QString, message);
        QFETCH(bool, withUsage);
        const CommandLine asked = read(options);
        QCOMPARE(asked.action, action);
        QCOMPARE(asked.exitStatus, action == Action::Refuse ? tarvo::terminal::kExitUsage : tarvo::terminal::kExitOk);
        if (withUsage) {
            QVERIFY2(asked.message.startsWith(message + QStringLiteral("Usage: ")), qPrintable(asked.message));
            QVERIFY(asked.message.contains(QStringLiteral("  --allow-other-laser  With --restore and --archive")));
        } else {
            QCOMPARE(asked.message, message);
        }
    }

    void fleetAsAsked()
    {
        const CommandLine backup = read({"--archive-dir", "/a", "--backup", "10.0.0.1", "plc-1", "--parallel", "3"});
        QCOMPARE(backup.fleet.mode, tarvo::terminal::FleetOptions::Mode::Backup);
        QCOMPARE(backup.fleet.addresses, (QStringList{"10.0.0.1", "plc-1"}));
        QCOMPARE(backup.fleet.parallel, 3);
        QCOMPARE(backup.fleet.archiveFolder, QStringLiteral("/a"));
        QVERIFY(backup.fleet.archive.isEmpty());

        const CommandLine restore = read({"--restore", "plc-1", "--archive", "b.tgz", "--allow-other-laser"});
        QCOMPARE(restore.action, Action::RunFleet);
        QCOMPARE(restore.fleet.mode, tarvo::terminal::FleetOptions::Mode::Restore);
        QCOMPARE(restore.fleet.addresses, QStringList{"plc-1"});
        QCOMPARE(restore.fleet.parallel, 8);
        QVERIFY(restore.fleet.archiveFolder.isEmpty());
        QCOMPARE(restore.fleet.archive, QStringLiteral("b.tgz"));
        QVERIFY(restore.fleet.allowOtherLaser);
        QVERIFY(!read({"--restore", "plc-1"}).fleet.allowOtherLaser);
    }

    // The options, the runs without a window, where things are: in that
    // order, whatever else is given.
    void help()
    {
        const CommandLine help = read({"--archive-dir", "/a", "-h"});
        QCOMPARE(help.action, Action::PrintHelp);
        const QString& text = help.message;
        QVERIFY(text.startsWith(QStringLiteral("Usage: ")));
        const auto at = [&](const char* piece) { return text.indexOf(QLatin1String(piece)); };
        QVERIFY(at("Started without options, it opens its window.") > 0);
        QVERIFY(at("  --parallel <N>       With --backup: at most N controllers at once") > 0);
        QVERIFY(at("\nWithout a window (no display needed):\n") > at("  ADDRESS              A controller"));
        QVERIFY(at("\nWhere things are:\n") > at("--parallel with --restore.\n"));
        // In Windows' own spelling there.
        const QString data
            = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
        QVERIFY(text.contains(QStringLiteral("  Transcripts of every run:  %1/transcripts/\n").arg(data)));
        QVERIFY(text.endsWith(QStringLiteral("  ../lib/tarvo-config-updater/ from this program's folder.\n")));
        QCOMPARE(read({"--version", "--help"}).message, text);
        // Short options written together.
        QCOMPARE(read({"-hv"}).message, text);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
