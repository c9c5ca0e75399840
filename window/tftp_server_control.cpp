#include "window/tftp_server_control.h"

namespace tarvo::window {

QString tftpServerProgramName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("OpenTFTPServerMT.exe");
#else
    return QStringLiteral("OpenTFTPServerMT");
#endif
}

TftpServerControl::TftpServerControl(platform::Platform& platform, std::function<QString()> programFolder)
    : platform_(platform), programFolder_(std::move(programFolder))
{
}

bool TftpServerControl::start()
{
    if (running_)
        return true;
    programPath_ = programFolder_() + tftpServerProgramName();
    if (!platform_.fileExists(programPath_)) {
        running_ = false;
        return false;
    }
    // Not waited for: neither its start nor its readiness.
    process_ = platform_.startProcess(programPath_, {QStringLiteral("-v")}, platform::ProcessWindow::Minimized);
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
    platform_.closeWindowByTitle(programPath_);
    platform_.closeProcess(std::exchange(process_, 0));
    running_ = false;
}

}  // namespace tarvo::window
