#pragma once
// The PC-side TFTP server program: started and closed again through the
// platform. The program lies beside the tool, or in the tool's own library
// folder when installed.

#include "platform/file_system.h"
#include "platform/process_launcher.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace tarvo::pcside {

// The server program as its supervisor sees it.
class TftpServer {
public:
    virtual ~TftpServer() = default;
    // Starts the program with these arguments; false when it is missing.
    // Each line it prints goes to onLine, its exit code to onExit.
    virtual bool start(const QStringList& arguments, std::function<void(const QString& line)> onLine,
                       std::function<void(int exitCode)> onExit) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // Where the program is, or would be looked for.
    virtual QString programPath() const = 0;
};

// The server program's file name.
QString tftpServerProgramName();

class TftpServerControl final : public TftpServer {
public:
    TftpServerControl(platform::ProcessLauncher& processes, platform::FileSystem& files,
                      std::function<QString()> programFolder);

    bool start(const QStringList& arguments, std::function<void(const QString& line)> onLine,
               std::function<void(int exitCode)> onExit) override;
    void stop() override;
    bool isRunning() const override { return running_; }
    QString programPath() const override;
    // Forgets a server of an earlier life of the window without closing it.
    void reset() { running_ = false; }

private:
    platform::ProcessLauncher& processes_;
    platform::FileSystem& files_;
    std::function<QString()> programFolder_;
    bool running_ = false;
    QString startedPath_;
    std::int64_t process_ = 0;
};

}  // namespace tarvo::pcside
