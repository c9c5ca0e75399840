#pragma once
// Runs without a window: backs up several controllers at once, or restores
// one, through the same workflow as the window, all through one TFTP server
// that files each controller's upload under its address and takes requests
// from the fleet's controllers only.

#include "platform/platform.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tarvo::terminal {

struct FleetOptions {
    enum class Mode { Backup, Restore };
    Mode mode = Mode::Backup;
    QStringList addresses;
    int parallel = 8;
    QString archiveFolder;  // the window's when empty
    QString archive;        // restore only: this file instead of the newest backup
    // Restore only: write onto a laser that is not, or not known to be,
    // the one the backup was made of.
    bool allowOtherLaser = false;
};

// Exit statuses, one per kind of failure; with several failures, the one
// of the first controller (in the order given) that failed.
enum FleetExit {
    kExitOk = 0,
    kExitUsage = 2,
    kExitPcSide = 3,      // the TFTP server could not start; archive missing or unusable
    kExitConnection = 4,  // no connection, or the login failed
    kExitController = 5,  // a step on the controller failed
    kExitUnverified = 6,  // a backup the PC could not verify
    kExitOtherLaser = 7,  // a restore refused: not (or not known to be) the laser of the backup
};

// What a fleet run runs on: the real one, Qt on threads; a test's, one
// virtual platform with the runs one after the other.
struct FleetEnvironment {
    // The fleet's own platform: its server, its waits.
    platform::Platform* platform = nullptr;
    // A platform for one controller's run, made on the thread that runs it.
    std::function<std::shared_ptr<platform::Platform>()> platformForRun;
    // Each run on a thread of its own (up to FleetOptions::parallel at
    // once), or all on the calling thread, one after the other.
    bool threads = true;
    // Where the TFTP server program is looked for.
    QString programFolder;
    // The program's name in the next command the operator is told to run.
    QString commandName = QStringLiteral("tarvo-config-updater");
    // The status lines, and the summary's lines.
    std::function<void(const QString&)> report;
    std::function<void(const QString&)> summary;
};

// Two sessions on one controller at once would fight over its card: two
// of addresses that lead to the same controller (two spellings of a name,
// two names, a name and its address), named for the operator; empty when
// each is a controller of its own. resolve gives the IPv4 address an entry
// leads to (empty when it cannot tell).
QString sameControllerTwice(const QStringList& addresses, const std::function<QString(const QString&)>& resolve);
// The IPv4 address of name (an address itself, or a name looked up, for
// at most timeoutMs); empty when there is none.
QString lookUpIPv4(const QString& name, int timeoutMs = 5000);

// Runs the controllers and returns the exit status.
int runFleet(const FleetOptions& options, const FleetEnvironment& environment);
// The same on Qt: status lines on standard error, the summary on standard
// output.
int runFleet(const FleetOptions& options);

}  // namespace tarvo::terminal
