#include "virtual_platform.h"

#include "platform/delayed_start.h"
#include "platform/file_streams.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <QFileInfo>

#include <algorithm>

namespace tarvo::platform {

// ---------------------------------------------------------------- timer

VirtualTimer::~VirtualTimer()
{
    disarm();
}

void VirtualTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_) {
        // A new interval restarts an enabled timer.
        disarm();
        arm();
    }
}

void VirtualTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    if (enabled)
        arm();
    else
        disarm();
}

void VirtualTimer::arm()
{
    if (interval_ <= 0)
        return;  // an interval of 0 never ticks
    pending_ = platform_.scheduleIn(interval_, [this] {
        pending_ = 0;
        ++ticks_;
        arm();  // periodic: the next tick is one interval after this one
        if (onTick)
            onTick();
    });
}

void VirtualTimer::disarm()
{
    if (pending_) {
        platform_.cancel(pending_);
        pending_ = 0;
    }
}

// ---------------------------------------------------------------- socket

VirtualSocket::VirtualSocket(VirtualPlatform& p) : platform_(p)
{
    platform_.sockets.push_back(this);
}

VirtualSocket::~VirtualSocket()
{
    for (auto id : scheduled_)
        platform_.cancel(id);
    auto& v = platform_.sockets;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void VirtualSocket::scheduleForThisConnection(std::int64_t atMs, std::function<void()> fn)
{
    const auto gen = generation_;
    // Forget the events that have run, so that a long-lived socket's list
    // does not grow.
    if (scheduled_.size() >= 64)
        scheduled_.erase(std::remove_if(scheduled_.begin(), scheduled_.end(),
                                        [this](std::uint64_t id) { return !platform_.isPending(id); }),
                         scheduled_.end());
    scheduled_.push_back(platform_.scheduleAt(atMs, [this, gen, fn = std::move(fn)] {
        if (gen == generation_)
            fn();
    }));
}

void VirtualSocket::connectToHost(const QString& host, int port)
{
    remoteHost_ = host;
    remotePort_ = port;
    ++connectAttempts_;
    state_ = SocketState::Connecting;
    if (onConnectRequested)
        onConnectRequested(*this);
    else
        completeConnectAt(platform_.nowMs() + connectDelayMs);
}

void VirtualSocket::close()
{
    ++closeCalls_;
    const bool wasOpen = state_ == SocketState::Connected || state_ == SocketState::Closing;
    state_ = SocketState::Closed;
    ++generation_;
    pending_.clear();
    if (wasOpen && onPeerClosed)
        onPeerClosed();
}

bool VirtualSocket::write(const QByteArray& data)
{
    if (failSends || state_ != SocketState::Connected)
        return false;
    sent += data;
    sends.push_back({platform_.nowMs(), data});
    if (onPeerReceive)
        onPeerReceive(data);
    return true;
}

std::optional<QByteArray> VirtualSocket::readAll()
{
    if (failReads)
        return std::nullopt;
    QByteArray out;
    out.swap(pending_);
    return out;
}

void VirtualSocket::completeConnectAt(std::int64_t atMs)
{
    scheduleForThisConnection(atMs, [this] {
        if (state_ == SocketState::Connecting)
            state_ = SocketState::Connected;
    });
}

void VirtualSocket::failConnectAt(std::int64_t atMs, SocketError error, const QString& description)
{
    scheduleForThisConnection(atMs, [this, error, description] {
        state_ = SocketState::Failed;
        if (onError)
            onError(error, description);
    });
}

void VirtualSocket::raiseErrorAt(std::int64_t atMs, SocketError error, const QString& description)
{
    scheduleForThisConnection(atMs, [this, error, description] {
        if (onError)
            onError(error, description);
    });
}

void VirtualSocket::deliverAt(std::int64_t atMs, const QByteArray& data)
{
    scheduleForThisConnection(atMs, [this, data] {
        if (state_ != SocketState::Connected)
            return;  // nothing arrives on a socket that is not open
        pending_ += data;
        if (onReadyRead)
            onReadyRead();
    });
}

void VirtualSocket::deliver(const QByteArray& data)
{
    deliverAt(platform_.nowMs(), data);
}

void VirtualSocket::peerCloseAt(std::int64_t atMs)
{
    scheduleForThisConnection(atMs, [this] {
        if (state_ == SocketState::Connected)
            state_ = SocketState::Closing;  // sends fail from now on
    });
}

// ---------------------------------------------------------------- platform

VirtualPlatform::VirtualPlatform() = default;
VirtualPlatform::~VirtualPlatform() = default;

VirtualPlatform::EventId VirtualPlatform::scheduleAt(std::int64_t atMs, std::function<void()> fn)
{
    const auto id = ++seq_;
    const auto at = std::max(atMs, now_);
    events_.emplace(std::make_pair(at, id), std::move(fn));
    eventTimes_.emplace(id, at);
    return id;
}

void VirtualPlatform::cancel(EventId id)
{
    auto it = eventTimes_.find(id);
    if (it == eventTimes_.end())
        return;
    events_.erase({it->second, id});
    eventTimes_.erase(it);
}

void VirtualPlatform::doEvents()
{
    ++pumps_;
    if (onPump)
        onPump();
    if (events_.empty())
        throw NothingScheduled();
    // Jump to the earliest pending time and run what is due then.
    now_ = std::max(now_, events_.begin()->first.first);
    runDue();
}

void VirtualPlatform::processPendingEvents()
{
    ++pumps_;
    if (onPump)
        onPump();
    runDue();
}

void VirtualPlatform::runDue()
{
    // Everything due now that was scheduled before this pump began, in
    // scheduling order; whatever those events schedule for "now" waits for
    // the next pump.
    const auto limit = seq_;
    for (;;) {
        auto it = events_.begin();
        if (it == events_.end() || it->first.first > now_ || it->first.second > limit)
            break;
        auto fn = std::move(it->second);
        eventTimes_.erase(it->first.second);
        events_.erase(it);
        fn();
    }
}

void VirtualPlatform::runUntil(std::int64_t atMs)
{
    while (!events_.empty() && events_.begin()->first.first <= atMs)
        doEvents();
    now_ = std::max(now_, atMs);
}

void VirtualPlatform::runUntilIdle(std::int64_t limitMs)
{
    while (!events_.empty() && events_.begin()->first.first <= limitMs)
        doEvents();
}

std::unique_ptr<Timer> VirtualPlatform::createTimer()
{
    return std::make_unique<VirtualTimer>(*this);
}

std::unique_ptr<TcpSocket> VirtualPlatform::createSocket()
{
    auto s = std::make_unique<VirtualSocket>(*this);
    if (onSocketCreated)
        onSocketCreated(*s);
    return s;
}

QString VirtualPlatform::getSetting(const QString& application, const QString& section,
                                    const QString& key, const QString& defaultValue)
{
    return settings.value(application + '/' + section + '/' + key, defaultValue);
}

bool VirtualPlatform::saveSetting(const QString& application, const QString& section,
                                  const QString& key, const QString& value)
{
    if (settingsReadOnly)
        return false;
    settings.insert(application + '/' + section + '/' + key, value);
    return true;
}

bool VirtualPlatform::fileExists(const QString& path)
{
    if (files.contains(path) || fileData.contains(path))
        return true;
    return useRealFiles && QFileInfo(path).isFile();
}

std::optional<QByteArray> VirtualPlatform::readFile(const QString& path)
{
    if (fileData.contains(path))
        return fileData.value(path).size() > kMaxSmallFileBytes ? std::nullopt
                                                                  : std::optional<QByteArray>(fileData.value(path));
    if (useRealFiles) {
        QFile f(path);
        if (QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly) && f.size() <= kMaxSmallFileBytes)
            return f.readAll();
    }
    return std::nullopt;
}

bool VirtualPlatform::isReadOnly(const QString& path) const
{
    for (const QString& folder : readOnlyFolders)
        if (path.startsWith(folder + QLatin1Char('/')))
            return true;
    return false;
}

bool VirtualPlatform::writeFile(const QString& path, const QByteArray& data)
{
    if (isReadOnly(path))
        return false;
    if (useRealFiles) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
    }
    fileData.insert(path, data);
    return true;
}

bool VirtualPlatform::removeFile(const QString& path)
{
    const bool had = fileData.remove(path) > 0 || files.remove(path);
    return (useRealFiles && QFile::remove(path)) || had;
}

bool VirtualPlatform::pathExists(const QString& path)
{
    if (files.contains(path) || fileData.contains(path) || directories.contains(path) || specialFiles.contains(path))
        return true;
    return useRealFiles && QFileInfo::exists(path);
}

std::unique_ptr<QIODevice> VirtualPlatform::openForReading(const QString& path)
{
    if (fileData.contains(path)) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(fileData.value(path));
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    return useRealFiles ? openOrdinaryFile(path) : nullptr;
}

bool VirtualPlatform::copyFile(const QString& from, const QString& to)
{
    if (isReadOnly(to))
        return false;
    if (useRealFiles && !fileData.contains(from))
        return copyOrdinaryFile(from, to);
    if (!fileData.contains(from))
        return false;
    fileData.insert(to, fileData.value(from));
    return true;
}

void VirtualPlatform::runAside(std::function<void()> work)
{
    work();  // no clock passes: the work is the processor's, not a wait
}

QStringList VirtualPlatform::fileNames(const QString& folder)
{
    QStringList names;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (auto it = fileData.keyBegin(); it != fileData.keyEnd(); ++it)
        if (it->startsWith(prefix) && !it->mid(prefix.size()).contains(QLatin1Char('/')))
            names << it->mid(prefix.size());
    if (useRealFiles)
        names += QDir(folder).entryList(QDir::Files, QDir::Name);
    names.removeDuplicates();
    names.sort();
    return names;
}

QStringList VirtualPlatform::folderNames(const QString& folder)
{
    QStringList names;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    for (auto it = fileData.keyBegin(); it != fileData.keyEnd(); ++it)
        if (it->startsWith(prefix) && it->mid(prefix.size()).contains(QLatin1Char('/')))
            names << it->mid(prefix.size()).section(QLatin1Char('/'), 0, 0);
    if (useRealFiles)
        names += QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    names.removeDuplicates();
    names.sort();
    return names;
}

VirtualPlatform::ProcessRecord* VirtualPlatform::process(std::int64_t handle)
{
    for (auto& p : processes)
        if (p.handle == handle)
            return &p;
    return nullptr;
}

std::int64_t VirtualPlatform::startProcess(const QString& program, const QStringList& arguments,
                                           ProcessWindow window, std::function<void(const QString& line)> onLine,
                                           std::function<void(int exitCode)> onFinished)
{
    if (failProcessStart)
        return 0;
    processes.push_back({nextHandle++, program, arguments, window, false, std::move(onLine), std::move(onFinished)});
    if (onProcessStarted)
        onProcessStarted(processes.back());
    return processes.back().handle;
}

void VirtualPlatform::startDetachedDelayed(const QString& program, int delayMs)
{
    detachedStarts.push_back({program, delayMs, delayedStartCommandLine(program, delayMs)});
}

void VirtualPlatform::closeProcess(std::int64_t handle)
{
    for (auto& p : processes) {
        if (p.handle == handle && !p.closed) {
            p.closed = true;
            if (onProcessClosed)
                onProcessClosed(p);
        }
    }
}

void VirtualPlatform::closeWindowByTitle(const QString& title)
{
    closedWindowTitles.push_back(title);
}

QString VirtualPlatform::lookUpIPv4(const QString& name, int timeoutMs)
{
    Q_UNUSED(timeoutMs);
    hostLookups += name;
    const QStringList octets = name.split(QLatin1Char('.'));
    bool dotted = octets.size() == 4;
    for (const QString& octet : octets) {
        bool number = false;
        dotted = dotted && octet.toInt(&number) <= 255 && number;
    }
    return dotted ? name : hostAddresses.value(name.toLower());
}

ControllerIdentity VirtualPlatform::controllerIdentity(const QString& peerAddress, const QString&)
{
    identityQueries += peerAddress;
    const auto known = identities.constFind(peerAddress);
    if (known != identities.constEnd())
        return *known;
    if (peerAddress.startsWith(QLatin1String("127.")) || peerAddress == QLatin1String("::1"))
        return {ControllerIdentity::Kind::Local, peerAddress};
    return onLink(peerAddress);
}

ControllerIdentity VirtualPlatform::onLink(const QString& address)
{
    const QStringList octets = address.split(QLatin1Char('.'));
    if (octets.size() != 4)
        return {};
    QString mac = QStringLiteral("02:00");
    for (const QString& octet : octets)
        mac += QStringLiteral(":%1").arg(octet.toInt(), 2, 16, QLatin1Char('0'));
    return {ControllerIdentity::Kind::Hardware, mac};
}

}  // namespace tarvo::platform
