#pragma once
// The virtual-time test double of the platform. Its clock jumps from event
// to event: doEvents() runs everything due at the earliest pending time and
// moves the clock there. Sockets are scriptable from the test (or from an
// in-process peer such as the controller simulator), message boxes return
// at once and are recorded, settings and files live in memory.

#include "platform/platform.h"

#include <QMap>
#include <QSet>

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

namespace tarvo::platform {

// The virtual program folder, as the platform the tests run on writes it
// (no trailing separator).
inline QString virtualProgramFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Tarvo");
#else
    return QStringLiteral("/opt/tarvo");
#endif
}

// A program in that folder, as the tool names it there: "OpenTFTPServerMT"
// is /opt/tarvo/OpenTFTPServerMT, or C:\Tarvo\OpenTFTPServerMT.exe on
// Windows. An empty name gives the folder with its trailing separator.
inline QString virtualProgramPath(const QString& name)
{
#ifdef Q_OS_WIN
    return virtualProgramFolder() + QLatin1Char('\\') + (name.isEmpty() ? name : name + QLatin1String(".exe"));
#else
    return virtualProgramFolder() + QLatin1Char('/') + name;
#endif
}

class VirtualPlatform;

// Thrown by doEvents() when nothing is scheduled at all, i.e. the caller
// would wait forever. A test that hits it has a real hang in the code.
class NothingScheduled : public std::runtime_error {
public:
    NothingScheduled() : std::runtime_error("doEvents() with no pending event: the wait would never end") {}
};

class VirtualTimer final : public Timer {
public:
    explicit VirtualTimer(VirtualPlatform& p) : platform_(p) {}
    ~VirtualTimer() override;
    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    // Number of ticks delivered so far.
    int ticks() const { return ticks_; }

private:
    void arm();
    void disarm();
    VirtualPlatform& platform_;
    int interval_ = 0;
    bool enabled_ = false;
    std::uint64_t pending_ = 0;
    int ticks_ = 0;
};

class VirtualSocket final : public TcpSocket {
public:
    explicit VirtualSocket(VirtualPlatform& p);
    ~VirtualSocket() override;

    // --- the tool's side (TcpSocket) ---
    void setLocalPort(int port) override { localPort_ = port; }
    int localPort() const override { return localPort_; }
    void connectToHost(const QString& host, int port) override;
    void close() override;
    SocketState state() const override { return state_; }
    QString localAddress() const override { return localAddressValue; }
    QString peerAddress() const override { return remoteHost_; }
    bool write(const QByteArray& data) override;
    std::optional<QByteArray> readAll() override;

    // --- the script's side ---
    QString remoteHost() const { return remoteHost_; }
    int remotePort() const { return remotePort_; }
    int connectAttempts() const { return connectAttempts_; }
    int closeCalls() const { return closeCalls_; }

    // Everything the tool sent on this socket, and each send with its time.
    QByteArray sent;
    struct Send {
        std::int64_t atMs;
        QByteArray data;
    };
    std::vector<Send> sends;

    // What happens on connectToHost(). The default completes the
    // connection connectDelayMs later. A handler may instead call
    // completeConnectAt / failConnectAt / raiseErrorAt, or nothing at all
    // (an unreachable host).
    std::function<void(VirtualSocket&)> onConnectRequested;
    int connectDelayMs = 1;

    // Called (synchronously) for every successful send; a peer answers by
    // scheduling deliveries.
    std::function<void(const QByteArray&)> onPeerReceive;
    // Called when the tool closes an open connection.
    std::function<void()> onPeerClosed;

    void completeConnectAt(std::int64_t atMs);
    void failConnectAt(std::int64_t atMs, SocketError error, const QString& description);
    void raiseErrorAt(std::int64_t atMs, SocketError error, const QString& description);
    // Makes bytes arrive at the tool at the given time (or now); a
    // ready-read event follows in the pump at that time.
    void deliverAt(std::int64_t atMs, const QByteArray& data);
    void deliver(const QByteArray& data);
    // The peer closes the connection: later sends still "succeed" as on a
    // half-closed TCP socket until failSends is set.
    void peerCloseAt(std::int64_t atMs);

    bool failSends = false;
    bool failReads = false;
    QString localAddressValue = QStringLiteral("192.168.100.10");

private:
    friend class VirtualPlatform;
    VirtualPlatform& platform_;
    QString remoteHost_;
    int remotePort_ = 0;
    int localPort_ = 0;
    SocketState state_ = SocketState::Closed;
    QByteArray pending_;
    int connectAttempts_ = 0;
    int closeCalls_ = 0;
    std::uint64_t generation_ = 0;  // bumps on close; stale events are dropped
    std::vector<std::uint64_t> scheduled_;
    void scheduleForThisConnection(std::int64_t atMs, std::function<void()> fn);
};

class VirtualPlatform : public Platform {
public:
    VirtualPlatform();
    ~VirtualPlatform() override;

    // --- Platform ---
    void doEvents() override;
    void processPendingEvents() override;
    std::unique_ptr<Timer> createTimer() override;
    std::unique_ptr<TcpSocket> createSocket() override;
    std::int64_t nowMs() const override { return now_; }
    QString getSetting(const QString& application, const QString& section, const QString& key,
                       const QString& defaultValue) override;
    bool saveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value) override;
    QString appPath() const override { return appPathValue; }
    bool fileExists(const QString& path) override;
    QString dataFolder() const override { return dataFolderValue; }
    std::optional<QByteArray> readFile(const QString& path) override;
    bool writeFile(const QString& path, const QByteArray& data) override;
    bool removeFile(const QString& path) override;
    bool pathExists(const QString& path) override;
    std::unique_ptr<QIODevice> openForReading(const QString& path) override;
    bool copyFile(const QString& from, const QString& to) override;
    QStringList fileNames(const QString& folder) override;
    QStringList folderNames(const QString& folder) override;
    std::int64_t startProcess(const QString& program, const QStringList& arguments, ProcessWindow window,
                              std::function<void(const QString& line)> onLine,
                              std::function<void(int exitCode)> onFinished) override;
    void startDetachedDelayed(const QString& program, int delayMs) override;
    void closeProcess(std::int64_t handle) override;
    void closeWindowByTitle(const QString& title) override;
    QString lookUpIPv4(const QString& name, int timeoutMs) override;
    ControllerIdentity controllerIdentity(const QString& peerAddress, const QString& localAddress) override;
    void runAside(std::function<void()> work) override;

    // --- scheduling ---
    using EventId = std::uint64_t;
    EventId scheduleAt(std::int64_t atMs, std::function<void()> fn);
    EventId scheduleIn(std::int64_t delayMs, std::function<void()> fn) { return scheduleAt(now_ + delayMs, std::move(fn)); }
    void cancel(EventId id);
    bool hasPending() const { return !events_.empty(); }
    bool isPending(EventId id) const { return eventTimes_.count(id) != 0; }
    // Runs every event due up to atMs, then sets the clock to atMs.
    void runUntil(std::int64_t atMs);
    // Runs events until none is left or the clock would pass limitMs.
    void runUntilIdle(std::int64_t limitMs);
    int pumps() const { return pumps_; }

    // Called at the start of every doEvents(), before events run: lets a
    // test act "during a wait" (close the window, for example).
    std::function<void()> onPump;

    // --- sockets ---
    std::vector<VirtualSocket*> sockets;  // live sockets, in creation order
    // Called for every new socket, so a test or peer can script it.
    std::function<void(VirtualSocket&)> onSocketCreated;

    // --- settings and files ---
    QMap<QString, QString> settings;  // keyed "application/section/key"
    bool settingsReadOnly = false;     // nothing can be saved
    QSet<QString> files;              // ordinary files that exist, contents unknown
    QMap<QString, QByteArray> fileData;  // ordinary files with contents
    QSet<QString> directories;        // directories (fileExists says no)
    QSet<QString> specialFiles;       // FIFOs, devices, sockets: exist, cannot be opened
    // Folders whose files can be neither written nor copied to (a full
    // disk, a read-only folder).
    QSet<QString> readOnlyFolders;
    bool isReadOnly(const QString& path) const;
    // Also consult the real file system (for tests that move real files).
    bool useRealFiles = false;
    QString appPathValue = virtualProgramFolder();
    QString dataFolderValue = QStringLiteral("/home/tech/.local/share/tarvo");

    // --- processes ---
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

    // --- name lookups ---
    // The IPv4 address of each host name (lower case); a dotted address
    // reads as itself, any other name is not found. Answers at once.
    QMap<QString, QString> hostAddresses;
    // The names asked for, in order.
    QStringList hostLookups;

    // --- the neighbour table ---
    // The identity of each peer address. Any other address reads Local
    // (with the address as its text) when it is loopback, else the
    // hardware of a laser on the link with that address (onLink).
    QMap<QString, ControllerIdentity> identities;
    // A hardware address of its own for each IPv4 address: 10.0.0.5 reads
    // 02:00:0a:00:00:05.
    static ControllerIdentity onLink(const QString& address);
    // The addresses asked for, in order.
    QStringList identityQueries;


private:
    friend class VirtualTimer;
    friend class VirtualSocket;
    void runDue();

    std::int64_t now_ = 0;
    std::uint64_t seq_ = 0;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> events_;
    std::map<std::uint64_t, std::int64_t> eventTimes_;
    int pumps_ = 0;
};

}  // namespace tarvo::platform
