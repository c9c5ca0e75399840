#pragma once
// Faults the controller can be told to show, so that every error path of the
// tool can be practised and tested. Counting faults fire once per controller
// run (a reconnecting tool then finds a healthy controller again).

#include <QStringList>

class QCommandLineParser;

namespace tarvo::simulator {

struct FaultOptions {
    bool noLoginPrompt = false;    // an empty line gets no login prompt
    bool refuseShell = false;      // root's shell starts with a failed profile: its first status is not 0
    int relayFailures = 0;         // the first N writes to /dev/gpio0 fail
    bool failMount = false;
    bool failTar = false;
    bool failSync = false;
    bool failTftp = false;
    bool truncateUpload = false;   // tftp -p sends only the first half of the file, and reports success
    bool alwaysOk = false;         // every command does nothing and reports status 0
    int handleAtCommand = 0;       // the Nth command prints a line ending in "Handle"
    int badCmdvalAt = 0;           // the Nth "echo CMDVAL: $?" answers a non-number
    int answerDelayMs = 0;         // everything sent to the tool is held this long
    int dropAfterCommands = 0;     // the connection is closed after the Nth command
    int resetAfterCommands = 0;    // the connection is reset (TCP RST) after the Nth command
    int floodProfiles = 0;         // extra files under media/profiles on the card
    int stallTarAfter = -1;        // tar prints this many listing lines, then hangs (no status); -1: off
    bool stallTftp = false;        // tftp moves part of the file, then hangs (no status)
    bool secondUpload = false;     // after a good tftp -p, a small second archive is sent under the same name

    // Registers the options with a parser and reads them back; the help
    // text of each names the fault.
    static void addTo(QCommandLineParser& parser);
    // Returns false with a message when a value is not a number.
    static bool read(const QCommandLineParser& parser, FaultOptions* out, QString* error);
    // One short line per active fault, for the status and the window.
    QStringList describe() const;
};

}  // namespace tarvo::simulator
