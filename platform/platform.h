#pragma once
// The seam between the tool and everything that waits, keeps time, or talks
// to the outside: the event pump, timers, the TCP socket, the per-user
// settings store, files, processes and the neighbour table.
//
// Two implementations exist: QtPlatform for the real program, and
// VirtualPlatform for tests, whose clock jumps from event to event so that
// a 22.5 s give-up runs in milliseconds with exact virtual durations.

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tarvo::platform {

// The state of the controller link's socket. Every state between a
// connection attempt and its outcome reads Connecting.
enum class SocketState {
    Closed,
    Connecting,
    Connected,
    // The peer has closed its side; sends fail from now on.
    Closing,
    // The connection attempt failed; the socket stays so until closed.
    Failed,
};

// What went wrong on the socket, as far as the link cares.
enum class SocketError {
    AddressInUse,
    ConnectionRefused,
    HostNotFound,
    TimedOut,
    ConnectionReset,
    Other,
};

// How a started program's window (where it has one) is shown.
enum class ProcessWindow {
    Normal,
    Minimized,
};

// What the PC can tell of the hardware at the other end of a connection:
// lasers of one make may share an address, and one laser may come up on
// another address after a card swap, so their link-layer address tells
// them apart.
struct ControllerIdentity {
    enum class Kind {
        // text is the link-layer address, lower-case "aa:bb:cc:dd:ee:ff".
        Hardware,
        // A peer on this PC (a simulator): text is its address, so two
        // simulators on two loopback addresses differ.
        Local,
        // Not known: behind a router, not in the neighbour table, or IPv6
        // on the link. text is empty.
        Unknown,
    };
    Kind kind = Kind::Unknown;
    QString text;

    bool operator==(const ControllerIdentity&) const = default;
};

// A repeating timer: the first tick comes one interval
// after it is enabled, then every interval while it stays enabled. Disabling
// and re-enabling restarts the interval.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    std::function<void()> onTick;
};

// A TCP client socket whose connection attempt runs in the background; its
// progress shows in state(), and data and errors arrive as events.
class TcpSocket {
public:
    virtual ~TcpSocket() = default;

    // The local port the next connection attempt binds to; 0 lets the
    // system choose.
    virtual void setLocalPort(int port) = 0;
    virtual int localPort() const = 0;

    // Starts a connection attempt and returns at once; failures arrive
    // through onError and leave the socket Failed.
    virtual void connectToHost(const QString& host, int port) = 0;
    // Synchronous: state() reads Closed afterwards.
    virtual void close() = 0;
    virtual SocketState state() const = 0;
    // The PC's own address of the connection, dotted.
    virtual QString localAddress() const = 0;
    // The controller's address of the connection, dotted.
    virtual QString peerAddress() const = 0;

    // Sends every byte or reports failure (false).
    virtual bool write(const QByteArray& data) = 0;
    // Everything received so far; nullopt when reading failed.
    virtual std::optional<QByteArray> readAll() = 0;

    std::function<void()> onReadyRead;
    std::function<void(SocketError error, const QString& description)> onError;
};

// The platform services themselves.
class Platform {
public:
    virtual ~Platform() = default;

    // Processes pending events; when none are pending, blocks until the next
    // one has been processed (the Qt implementation) or jumps the virtual
    // clock to it (the test double). Never returns without having given
    // socket and timer events their turn.
    virtual void doEvents() = 0;
    // Processes the events already pending and returns at once.
    virtual void processPendingEvents() = 0;

    virtual std::unique_ptr<Timer> createTimer() = 0;
    virtual std::unique_ptr<TcpSocket> createSocket() = 0;

    // Monotonic milliseconds; virtual in tests.
    virtual std::int64_t nowMs() const = 0;

    // Per-user settings store (application, section, key).
    virtual QString getSetting(const QString& application, const QString& section,
                               const QString& key, const QString& defaultValue) = 0;
    // False when the store could not be written (a read-only folder).
    virtual bool saveSetting(const QString& application, const QString& section,
                             const QString& key, const QString& value) = 0;

    // The folder that holds the program, without a trailing separator
    // except at the root.
    virtual QString appPath() const = 0;
    // True when an ordinary file (not a directory) exists at path.
    virtual bool fileExists(const QString& path) = 0;
    // The per-user folder for the tool's own data (archives, transcripts),
    // without a trailing separator.
    virtual QString dataFolder() const = 0;
    // A whole small file (a sidecar, a record): only an ordinary file of at
    // most kMaxSmallFileBytes, opened without blocking; nullopt for
    // anything else, or when it cannot be read.
    static constexpr qint64 kMaxSmallFileBytes = 1 << 20;
    virtual std::optional<QByteArray> readFile(const QString& path) = 0;
    // Replaces a file as a whole (never half-written), making its folders.
    virtual bool writeFile(const QString& path, const QByteArray& data) = 0;
    virtual bool removeFile(const QString& path) = 0;
    // True when anything at all exists at path: a file, a folder, a FIFO,
    // a device.
    virtual bool pathExists(const QString& path) = 0;
    // An ordinary file opened for reading at its start; nullptr when path is
    // missing, unreadable or anything but an ordinary file (a folder, a
    // FIFO, a device such as /dev/zero, a socket). Opening never blocks.
    // The device may be read on another thread, one thread at a time.
    virtual std::unique_ptr<QIODevice> openForReading(const QString& path) = 0;
    // Copies an ordinary file in chunks, whatever its size, replacing `to`
    // as a whole (never half-written) and making its folders. False, and
    // `to` as it was, when anything fails.
    virtual bool copyFile(const QString& from, const QString& to) = 0;
    // The names of the ordinary files, or of the folders, in a folder, sorted.
    virtual QStringList fileNames(const QString& folder) = 0;
    virtual QStringList folderNames(const QString& folder) = 0;

    // Starts a program without waiting for it. Returns a handle for
    // closeProcess, or 0 when it could not be started. Each line the program
    // writes (standard output and error) goes to onLine, and its exit code
    // to onFinished, both from the event loop.
    virtual std::int64_t startProcess(const QString& program, const QStringList& arguments,
                                      ProcessWindow window, std::function<void(const QString& line)> onLine = {},
                                      std::function<void(int exitCode)> onFinished = {}) = 0;
    // Starts a program that must outlive this process, after delayMs.
    virtual void startDetachedDelayed(const QString& program, int delayMs) = 0;
    // Asks a process started by startProcess to end, and kills it when it
    // has not ended within 2 s. A zero or unknown handle does nothing.
    virtual void closeProcess(std::int64_t handle) = 0;
    // Closes a top-level window by its title (WM_CLOSE); where windows have
    // no such title, does nothing and closeProcess is used instead.
    virtual void closeWindowByTitle(const QString& title) = 0;

    // The IPv4 address a controller's name leads to, dotted: a dotted
    // address itself at once; a host name as the system's resolver answers
    // it within timeoutMs, processing events meanwhile. Empty when there
    // is none (not found, only IPv6, no answer in time).
    virtual QString lookUpIPv4(const QString& name, int timeoutMs) = 0;
    // The hardware identity of the controller at peerAddress (dotted), read
    // from the PC's neighbour table while a connection to it is up, from
    // the interface that holds the connection's localAddress (any on the
    // peer's subnet when empty). Sends nothing.
    virtual ControllerIdentity controllerIdentity(const QString& peerAddress, const QString& localAddress) = 0;
    // Runs work away from the event loop and returns when it has finished;
    // meanwhile events are processed, so the window stays responsive. work
    // must not call the platform (open what it reads beforehand).
    virtual void runAside(std::function<void()> work) = 0;
};

}  // namespace tarvo::platform
