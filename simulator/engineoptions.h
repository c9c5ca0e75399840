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
};

}  // namespace tarvo::simulator
