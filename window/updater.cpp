#include "window/updater.h"

#include "generated/version.h"

#include <QtGlobal>

#include <exception>

namespace tarvo::window {

namespace {
#ifdef Q_OS_WIN
constexpr QChar kSeparator = u'\\';
#else
constexpr QChar kSeparator = u'/';
#endif
constexpr int kUninstallerDelayMs = 2000;
}  // namespace

QString windowTitleFor(int major, int minor, int revision)
{
    return QStringLiteral("%1, Rev %2.%3.%4").arg(QLatin1String(kAppTitle)).arg(major).arg(minor).arg(revision);
}

QString withTrailingSeparator(const QString& folder)
{
    if (folder.endsWith(kSeparator))
        return folder;
    return folder + kSeparator;
}

QString uninstallerName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("uninst.exe");
#else
    return QStringLiteral("uninst");
#endif
}

Updater::Updater(platform::Platform& platform, workflow::OperatorPrompts& prompts)
    : platform_(platform),
      link_(platform.eventLoop(), platform.network()),
      server_(platform.processLauncher(), platform.fileSystem(), [this] { return programFolder_; }),
      supervisor_(platform.eventLoop(), server_),
      store_(platform.fileSystem(), platform.settingsStore()),
      workflow_(platform, link_, supervisor_, store_, prompts,
                {.title = windowTitleFor(kVersionMajor, kVersionMinor, kVersionRevision)})
{
}

void Updater::load()
{
    server_.reset();
    link_.stopTimers();
    programFolder_ = withTrailingSeparator(platform_.fileSystem().appPath());
    link_.forgetLoginPrompt();
    // A verified backup that waits for its restore survives the window.
    workflow_.resumeStoredPhase();
}

QString Updater::savedAddress() const
{
    return pcside::StoredSettings(platform_.settingsStore(), platform_.fileSystem()).controllerAddress();
}

void Updater::unload()
{
    // Every step is attempted: the window closes whatever one of them
    // meets, and what it met is said on standard error.
    const auto attempt = [](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            qWarning("While the window closed, a step failed: %s", e.what());
        } catch (...) {
            qWarning("While the window closed, a step failed.");
        }
    };
    // A run cut short is recorded first, while it still knows where it is.
    attempt([this] { workflow_.recordInterruption(); });
    attempt([this] { link_.beginShutdown(); });
    attempt([this] { link_.stopTimers(); });
    attempt([this] { supervisor_.stop(); });
    attempt([this] { link_.disconnectFromController(); });
}

void Updater::startUninstallerIfPresent()
{
    const QString path = programFolder_ + uninstallerName();
    if (platform_.fileSystem().fileExists(path))
        platform_.processLauncher().startDetachedDelayed(path, kUninstallerDelayMs);
}

}  // namespace tarvo::window
