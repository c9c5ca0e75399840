#pragma once
// The virtual process launcher and neighbour table: programs are records
// a test makes speak and end; identities come from a table.

#include "platform/controller_identity.h"
#include "platform/process_launcher.h"

#include <QMap>
#include <QStringList>

#include <vector>

namespace tarvo::platform {

class VirtualProcessLauncher : public ProcessLauncher {
public:
    std::int64_t startProcess(const QString& program, const QStringList& arguments, ProcessWindow window,
                              std::function<void(const QString& line)> onLine,
                              std::function<void(int exitCode)> onFinished) override;
    void startDetachedDelayed(const QString& program, int delayMs) override;
    void closeProcess(std::int64_t handle) override;
    void closeWindowByTitle(const QString& title) override { closedWindowTitles.push_back(title); }

    struct ProcessRecord {
        std::int64_t handle;
        QString program;
        QStringList arguments;
        ProcessWindow window;
        bool closed = false;
        std::function<void(const QString&)> onLine;
        std::function<void(int)> onFinished;
        // The program says a line, or ends, now (while it runs).
        void say(const QString& line) const
        {
            if (!closed && onLine)
                onLine(line);
        }
        void exit(int code)
        {
            if (closed)
                return;
            closed = true;
            if (onFinished)
                onFinished(code);
        }
    };
    std::vector<ProcessRecord> processes;
    std::int64_t nextHandle = 100;
    bool failProcessStart = false;
    struct DetachedStart {
        QString program;
        int delayMs;
        // The command line the Windows platform starts it with.
        QString commandLine;
    };
    std::vector<DetachedStart> detachedStarts;
    std::vector<QString> closedWindowTitles;
    std::function<void(ProcessRecord&)> onProcessStarted;
    ProcessRecord* process(std::int64_t handle);
    std::function<void(const ProcessRecord&)> onProcessClosed;
};

class VirtualNeighbourTable : public NeighbourTable {
public:
    ControllerIdentity controllerIdentity(const QString& peerAddress, const QString& localAddress) override;

    // The identity of each peer address. Any other address reads Local
    // (with the address as its text) when it is loopback, else the
    // hardware of a laser on the link with that address (onLink).
    QMap<QString, ControllerIdentity> identities;
    // A hardware address of its own for each IPv4 address: 10.0.0.5 reads
    // 02:00:0a:00:00:05.
    static ControllerIdentity onLink(const QString& address);
    // The addresses asked for, in order.
    QStringList identityQueries;
};

}  // namespace tarvo::platform
