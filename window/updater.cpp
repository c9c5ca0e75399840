#include "window/updater.h"

#include "generated/version.h"
#include "window/link_view.h"
#include "workflow/operator_texts.h"

namespace tarvo::window {

using workflow::OperatorTexts;

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

Updater::Updater(platform::Platform& platform, platform::Controls& controls)
    : platform_(platform),
      controls_(controls),
      link_(platform),
      server_(platform, [this] { return programFolder_; }),
      workflow_(platform, controls, link_, server_)
{
    showLinkInWindow(link_, controls_);
}

void Updater::load()
{
    server_.reset();
    link_.stopTimers();
    programFolder_ = withTrailingSeparator(platform_.appPath());
    controls_.setWindowTitle(windowTitleFor(kVersionMajor, kVersionMinor, kVersionRevision));

    const QString address = workflow::StoredSettings(platform_).controllerAddress();
    if (!address.isEmpty())
        controls_.setTargetAddress(address);

    controls_.setStatus(OperatorTexts::idleStatus());
    controls_.setLinkState(OperatorTexts::linkDisconnected());
    controls_.clearLog();
    controls_.setButtonEnabled(true);
    // A verified backup that waits for its restore survives the window.
    const workflow::PendingRestore pending = workflow::StoredSettings(platform_).pendingRestore();
    workflow_.setPhase(pending.isValid() ? workflow::Workflow::Phase::Restore : workflow::Workflow::Phase::Backup);
    controls_.setProgress(0);
    link_.forgetLoginPrompt();
    controls_.setLogVisible(false);
    if (pending.isValid())
        controls_.setStatus(OperatorTexts::restorePending(pending.controller, pending.time));
    fullHeightTwips_ = platform::roundHalfEven16(controls_.windowHeightTwips());
    controls_.setWindowHeightTwips(kCollapsedHeightTwips);
}

void Updater::unload()
{
    // Every step is attempted; one that fails is skipped silently.
    const auto attempt = [](auto&& step) {
        try {
            step();
        } catch (...) {
        }
    };
    attempt([this] { link_.beginShutdown(); });
    attempt([this] { controls_.setProgressEnabled(false); });
    attempt([this] { link_.stopTimers(); });
    attempt([this] { server_.stop(); });
    attempt([this] { link_.disconnectFromController(); });
}

void Updater::startUninstallerIfPresent()
{
    const QString path = programFolder_ + uninstallerName();
    if (platform_.fileExists(path))
        platform_.startDetachedDelayed(path, kUninstallerDelayMs);
}

void Updater::toggleLog()
{
    if (controls_.isLogVisible()) {
        controls_.setLogVisible(false);
        controls_.setWindowHeightTwips(kCollapsedHeightTwips);
    } else {
        controls_.setLogVisible(true);
        controls_.setWindowHeightTwips(fullHeightTwips_);
    }
}

}  // namespace tarvo::window
