#pragma once
// Starts the PC-side TFTP server program from the tool's folder for the
// length of a run, and closes it again.

#include "platform/platform.h"
#include "workflow/workflow.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace tarvo::window {

// The server program's file name in the tool's folder.
QString tftpServerProgramName();

class TftpServerControl final : public workflow::TftpServer {
public:
    TftpServerControl(platform::Platform& platform, std::function<QString()> programFolder);

    bool start() override;
    void stop() override;
    bool isRunning() const override { return running_; }
    // Forgets a server of an earlier life of the window without closing it.
    void reset() { running_ = false; }
    QString programPath() const { return programPath_; }

private:
    platform::Platform& platform_;
    std::function<QString()> programFolder_;
    bool running_ = false;
    QString programPath_;
    std::int64_t process_ = 0;
};

}  // namespace tarvo::window
