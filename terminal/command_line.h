#pragma once
// The program's command line: what it asks for, read before anything is
// run. Everything but the window is answered on the terminal (help,
// version, the demo, backups and restores without a window, and a command
// line the tool refuses) and needs no display.

#include "terminal/fleet.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tarvo::terminal {

struct CommandLine {
    enum class Action {
        OpenWindow,
        Refuse,        // bad usage: message holds what goes to standard error
        PrintHelp,     // message holds the help
        PrintVersion,  // message holds the version line
        RunFleet,      // --backup or --restore, as fleet says
        RunDemo,
    };
    Action action = Action::OpenWindow;
    // The text to print: on standard output, or on standard error for
    // Refuse. Complete, line ends included.
    QString message;
    FleetOptions fleet;
    // For Refuse.
    int exitStatus = kExitOk;
};

// Reads arguments (the program's own first, as QCoreApplication::arguments()
// gives them); the application is named already, the help names its
// folders. resolve gives the IPv4 address a controller's name leads to
// (empty when it cannot tell): two spellings of one controller are refused.
CommandLine readCommandLine(const QStringList& arguments, const std::function<QString(const QString&)>& resolve);
// The same, names looked up on the network.
CommandLine readCommandLine(const QStringList& arguments);

}  // namespace tarvo::terminal
