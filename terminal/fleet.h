#pragma once
// Runs without a window: backs up several controllers at once, or restores
// one, through the same workflow as the window, all through one TFTP server
// that files each controller's upload under its address.

#include <QString>
#include <QStringList>

namespace tarvo::terminal {

struct FleetOptions {
    enum class Mode { Backup, Restore };
    Mode mode = Mode::Backup;
    QStringList addresses;
    int parallel = 8;
    QString archiveFolder;  // the window's when empty
    QString archive;        // restore only: this file instead of the newest backup
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
};

// Runs the controllers (status lines on standard error, the summary on
// standard output) and returns the exit status.
int runFleet(const FleetOptions& options);

}  // namespace tarvo::terminal
