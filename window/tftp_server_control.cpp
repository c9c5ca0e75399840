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

TftpServerControl::TftpServerControl(platform::Platform& platform, link::ControllerLink& link,
                                     std::function<QString()> appFolder)
    : platform_(platform), link_(link), appFolder_(std::move(appFolder))
{
}

void TftpServerControl::Start_TFTP_Server()
{
    if (!link_.Network_Connected || TFTP_Server_Running)
        return;
    TFTP_Exe_Path = appFolder_() + tftpServerProgramName();
    if (platform_.fileExists(TFTP_Exe_Path)) {
        // Not waited for: neither its start nor its readiness.
        process_ = platform_.startProcess(TFTP_Exe_Path, {QStringLiteral("-v")}, platform::vbMinimizedFocus);
        TFTP_Server_Running = true;
    } else {
        TFTP_Server_Running = false;
        link_.Show_Message(QStringLiteral("Cannot find TFTP exe file."), platform::vbCritical);
    }
}

void TftpServerControl::Close_TFTP_Server()
{
    if (!TFTP_Server_Running)
        return;
    // Its window is found by its title where windows have one; the process
    // this tool started is then asked to end, and ended after 2 s, so that
    // no server outlives the run.
    platform_.closeWindowByTitle(TFTP_Exe_Path);
    platform_.closeProcess(std::exchange(process_, 0));
    TFTP_Server_Running = false;
}

}  // namespace tarvo::window
