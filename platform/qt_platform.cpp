#include "platform/qt_platform.h"

#include "platform/delayed_start.h"
#include "platform/neighbour_table.h"

#include "platform/file_streams.h"
#include "platform/qt_socket.h"
#include "platform/qt_timer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QSettings>
#include <QTimer>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace tarvo::platform {

namespace {
// A wait always wakes at least this often, even if nothing else happens,
// so that no loop can block forever on a silent event queue.
constexpr int kHeartbeatMs = 250;
constexpr int kProcessCloseGraceMs = 2000;
#ifdef Q_OS_WIN
// Where Windows programs of the tool's kind keep their settings (the store
// of GetSetting and SaveSetting), one key per application: an address saved
// there by an earlier tool on this PC is found.
const char* const kSettingsKey = "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\";
#else
// Settings live under this organisation name in the per-user store.
const char* const kSettingsOrganisation = "tarvo";
#endif

// The per-user store of one application: its sections are groups.
std::unique_ptr<QSettings> settingsOf(const QString& application)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QLatin1String(kSettingsKey) + application, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation,
                                       application);
#endif
}

QElapsedTimer& monotonic()
{
    static QElapsedTimer t = [] {
        QElapsedTimer e;
        e.start();
        return e;
    }();
    return t;
}
}  // namespace

QtPlatform::QtPlatform(QObject* parent) : QObject(parent), heartbeat_(new QTimer(this))
{
    monotonic();
    heartbeat_->setInterval(kHeartbeatMs);
    heartbeat_->start();
}

QtPlatform::~QtPlatform()
{
    // No program that the tool started may outlive it.
    while (!processes_.empty())
        closeProcess(processes_.begin()->first);
}

void QtPlatform::doEvents()
{
    // Handles what is pending; with nothing pending, sleeps until the next
    // event (a timer, the socket, the operator) instead of spinning.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtPlatform::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::unique_ptr<Timer> QtPlatform::createTimer()
{
    return std::make_unique<QtTimer>();
}

std::unique_ptr<TcpSocket> QtPlatform::createSocket()
{
    return std::make_unique<QtSocket>();
}

std::int64_t QtPlatform::nowMs() const
{
    return monotonic().elapsed();
}

QString QtPlatform::getSetting(const QString& application, const QString& section,
                               const QString& key, const QString& defaultValue)
{
    return settingsOf(application)->value(section + '/' + key, defaultValue).toString();
}

bool QtPlatform::saveSetting(const QString& application, const QString& section,
                             const QString& key, const QString& value)
{
    const std::unique_ptr<QSettings> s = settingsOf(application);
    s->setValue(section + '/' + key, value);
    s->sync();
    return s->status() == QSettings::NoError;
}

QString QtPlatform::appPath() const
{
    if (!appPathOverride.isEmpty())
        return appPathOverride;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

bool QtPlatform::fileExists(const QString& path)
{
    return QFileInfo(path).isFile();
}

QString QtPlatform::dataFolder() const
{
    if (!dataFolderOverride.isEmpty())
        return dataFolderOverride;
    // On Windows the user's local application data (an installed program's
    // own folder is not writable); elsewhere the same as AppDataLocation.
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

std::optional<QByteArray> QtPlatform::readFile(const QString& path)
{
    // Anyone may place a FIFO, a device or a huge file beside an archive.
    const std::unique_ptr<QIODevice> f = openOrdinaryFile(path);
    if (!f)
        return std::nullopt;
    QByteArray data = f->read(kMaxSmallFileBytes + 1);
    if (data.size() > kMaxSmallFileBytes)
        return std::nullopt;
    return data;
}

bool QtPlatform::writeFile(const QString& path, const QByteArray& data)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
}

bool QtPlatform::removeFile(const QString& path)
{
    return QFile::remove(path);
}

bool QtPlatform::pathExists(const QString& path)
{
    return QFileInfo::exists(path);
}

std::unique_ptr<QIODevice> QtPlatform::openForReading(const QString& path)
{
    return openOrdinaryFile(path);
}

bool QtPlatform::copyFile(const QString& from, const QString& to)
{
    return copyOrdinaryFile(from, to);
}

void QtPlatform::runAside(std::function<void()> work)
{
    // The worker's finished signal reaches this thread as a queued event, so
    // it cannot be missed even when the work ends before exec() starts.
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create(std::move(work)));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
}

QStringList QtPlatform::fileNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

QStringList QtPlatform::folderNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

std::int64_t QtPlatform::startProcess(const QString& program, const QStringList& arguments, ProcessWindow window,
                                      std::function<void(const QString& line)> onLine,
                                      std::function<void(int exitCode)> onFinished)
{
    auto* p = new QProcess(this);
    p->setProgram(program);
    p->setArguments(arguments);
    if (onLine) {
        p->setProcessChannelMode(QProcess::MergedChannels);
        connect(p, &QProcess::readyReadStandardOutput, p, [p, onLine] {
            while (p->canReadLine())
                onLine(QString::fromLocal8Bit(p->readLine()).trimmed());
        });
    } else {
        // The program's own output goes where the tool's goes.
        p->setProcessChannelMode(QProcess::ForwardedChannels);
    }
    if (onFinished) {
        connect(p, &QProcess::finished, p, [p, onLine, onFinished](int code, QProcess::ExitStatus) {
            if (onLine && p->bytesAvailable() > 0)
                onLine(QString::fromLocal8Bit(p->readAll()).trimmed());
            onFinished(code);
        });
        connect(p, &QProcess::errorOccurred, p, [onFinished](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                onFinished(-1);
        });
    }
#ifdef Q_OS_WIN
    p->setCreateProcessArgumentsModifier([window](QProcess::CreateProcessArguments* a) {
        if (window == ProcessWindow::Minimized) {
            a->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
            a->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
        }
    });
#else
    Q_UNUSED(window);
#endif
#ifdef Q_OS_LINUX
    // Even when the tool is killed, the program it started goes with it.
    p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    p->start();
    const auto handle = nextHandle_++;
    processes_.emplace(handle, p);
    return handle;
}

void QtPlatform::startDetachedDelayed(const QString& program, int delayMs)
{
#ifdef Q_OS_WIN
    // The command interpreter pauses (pinging the loopback address), then
    // starts the program.
    QProcess p;
    p.setProgram(QLatin1String(kDelayedStartInterpreter));
    p.setNativeArguments(delayedStartArguments(program, delayMs));
    p.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* a) {
        a->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        a->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
    });
    p.startDetached();
#else
    // The shell sleeps first, so the program starts after this process has gone.
    const QString script = QStringLiteral("sleep %1; exec \"$0\"").arg(delayMs / 1000.0, 0, 'f', 3);
    QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, program});
#endif
}

void QtPlatform::closeProcess(std::int64_t handle)
{
    auto it = processes_.find(handle);
    if (it == processes_.end())
        return;
    QProcess* p = it->second;
    processes_.erase(it);
    // Asked to end: its last words and its exit are no longer news.
    p->disconnect();
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(kProcessCloseGraceMs)) {
            p->kill();
            p->waitForFinished(kProcessCloseGraceMs);
        }
    }
    delete p;
}

void QtPlatform::closeWindowByTitle(const QString& title)
{
#ifdef Q_OS_WIN
    const QByteArray ansi = title.toLocal8Bit();
    HWND w = FindWindowA(nullptr, ansi.constData());
    SendMessageA(w, WM_CLOSE, 0, 0);
#else
    Q_UNUSED(title);
#endif
}

QString QtPlatform::lookUpIPv4(const QString& name, int timeoutMs)
{
    QHostAddress address;
    if (address.setAddress(name))
        return address.protocol() == QAbstractSocket::IPv4Protocol ? address.toString() : QString();
    // The answer comes as an event; the window keeps answering meanwhile.
    QEventLoop loop;
    QString found;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    const int id = QHostInfo::lookupHost(name, &loop, [&found, &loop](const QHostInfo& info) {
        for (const QHostAddress& a : info.addresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                found = a.toString();
                break;
            }
        }
        loop.quit();
    });
    loop.exec();
    QHostInfo::abortHostLookup(id);
    return found;
}

ControllerIdentity QtPlatform::controllerIdentity(const QString& peerAddress, const QString& localAddress)
{
    return readControllerIdentity(peerAddress, localAddress);
}

}  // namespace tarvo::platform
