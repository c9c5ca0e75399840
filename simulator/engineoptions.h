#pragma once
// Settings of a simulated controller that are not faults.

#include <QByteArray>

namespace tarvo::simulator {

struct EngineOptions {
    QByteArray hostname = "laser";
    // Where the controller's tftp sends when the command names no port.
    quint16 tftpPort = 69;
    // The console's port; a virtual connection to any other is refused.
    int consolePort = 1138;
    // How long a connection attempt takes to be accepted or refused on a
    // virtual socket.
    int connectDelayMs = 5;
    // From power on until the console answers; connections are refused
    // meanwhile, as while a real controller boots.
    int bootMs = 0;
    // Bytes per second tar gets through; sets how long tar takes.
    qint64 tarBytesPerSecond = 3'000'000;
    // A slow board: with a rate above 0, tar c packs (tar x unpacks) this
    // many input bytes a second and prints each member's listing line once
    // that member is done; the status comes at the end.
    qint64 packBytesPerSecond = 0;
    qint64 unpackBytesPerSecond = 0;
    // The controller's tftp on the wire, both directions; 0 is unpaced.
    qint64 sendBytesPerSecond = 0;
    // How long each sync takes.
    int syncMs = 250;
    // The console's terminal: busybox's line editor on a pseudo-terminal
    // this many columns wide. It echoes each line behind its prompt, breaks
    // the echo at the right margin, asks for the cursor's position after a
    // prompt, and takes CR LF as two Enters; what comes while a command
    // runs is echoed at once by the terminal.
    int consoleColumns = 80;
    // The quiet console instead: each line echoed whole when the shell
    // reads it, CR LF one line end, no cursor queries, every third prompt
    // coloured.
    bool plainConsole = false;
};

}  // namespace tarvo::simulator
