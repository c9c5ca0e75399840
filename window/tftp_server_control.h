#pragma once
// Starts the PC-side TFTP server program from the tool's folder for the
// length of a run, and closes it again.

#include "link/controller_link.h"
#include "platform/platform.h"
#include "workflow/workflow.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace tarvo::window {

// The server program's file name in the tool's folder.
QString tftpServerProgramName();

class TftpServerControl final : public workflow::ServerControl {
public:
    TftpServerControl(platform::Platform& platform, link::ControllerLink& link,
                      std::function<QString()> appFolder);

    void Start_TFTP_Server() override;
    void Close_TFTP_Server() override;
    bool isServerRunning() const override { return TFTP_Server_Running; }

    bool TFTP_Server_Running = false;
    QString TFTP_Exe_Path;

private:
    platform::Platform& platform_;
    link::ControllerLink& link_;
    std::function<QString()> appFolder_;
    std::int64_t process_ = 0;
};

}  // namespace tarvo::window
