#pragma once
// Starts the PC-side TFTP server program for the length of a run, and
// closes it again. The program lies beside the tool, or in the tool's own
// library folder when installed.

#include "platform/platform.h"
#include "workflow/workflow.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace tarvo::workflow {

// The server program's file name.
QString tftpServerProgramName();

class TftpServerControl final : public TftpServer {
public:
    TftpServerControl(platform::Platform& platform, std::function<QString()> programFolder);

    bool start(const QStringList& arguments, std::function<void(const QString& line)> onLine,
               std::function<void(int exitCode)> onExit) override;
    void stop() override;
    bool isRunning() const override { return running_; }
    QString programPath() const override;
    // Forgets a server of an earlier life of the window without closing it.
    void reset() { running_ = false; }

private:
    platform::Platform& platform_;
    std::function<QString()> programFolder_;
    bool running_ = false;
    QString startedPath_;
    std::int64_t process_ = 0;
};

}  // namespace tarvo::workflow
