#include "pcside/tftp_server_control.h"

namespace tarvo::pcside {

namespace {
// Where an installed tool keeps its helper programs, from its own folder.
constexpr char kInstalledHelpers[] = "../lib/tarvo-config-updater/";
}  // namespace

QString tftpServerProgramName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("OpenTFTPServerMT.exe");
#else
    return QStringLiteral("OpenTFTPServerMT");
#endif
}

TftpServerControl::TftpServerControl(platform::ProcessLauncher& processes, platform::FileSystem& files,
                                     std::function<QString()> programFolder)
    : processes_(processes), files_(files), programFolder_(std::move(programFolder))
{
}

QString TftpServerControl::programPath() const
{
    const QString beside = programFolder_() + tftpServerProgramName();
    const QString installed = programFolder_() + QLatin1String(kInstalledHelpers) + tftpServerProgramName();
    if (!files_.fileExists(beside) && files_.fileExists(installed))
        return installed;
    return beside;
}

bool TftpServerControl::start(const QStringList& arguments, std::function<void(const QString& line)> onLine,
                              std::function<void(int exitCode)> onExit)
{
    if (running_)
        return true;
    startedPath_ = programPath();
    if (!files_.fileExists(startedPath_))
        return false;
    process_ = processes_.startProcess(startedPath_, arguments, platform::ProcessWindow::Minimized, std::move(onLine),
                                      std::move(onExit));
    running_ = true;
    return true;
}

void TftpServerControl::stop()
{
    if (!running_)
        return;
    // Its window is found by its title where windows have one; the process
    // this tool started is then asked to end, and ended after 2 s, so that
    // no server outlives the run.
    processes_.closeWindowByTitle(startedPath_);
    processes_.closeProcess(std::exchange(process_, 0));
    running_ = false;
}

}  // namespace tarvo::pcside
