#pragma once
// Programs started through QProcess. No program the tool started outlives
// it: the launcher's end closes them.

#include "platform/process_launcher.h"

#include <map>

class QProcess;

namespace tarvo::platform {

class QtProcessLauncher : public ProcessLauncher {
public:
    QtProcessLauncher() = default;
    QtProcessLauncher(const QtProcessLauncher&) = delete;
    QtProcessLauncher& operator=(const QtProcessLauncher&) = delete;
    ~QtProcessLauncher() override;

    std::int64_t startProcess(const QString& program, const QStringList& arguments, ProcessWindow window,
                              std::function<void(const QString& line)> onLine,
                              std::function<void(int exitCode)> onFinished) override;
    void startDetachedDelayed(const QString& program, int delayMs) override;
    void closeProcess(std::int64_t handle) override;
    void closeWindowByTitle(const QString& title) override;

private:
    std::map<std::int64_t, QProcess*> processes_;
    std::int64_t nextHandle_ = 1;
};

}  // namespace tarvo::platform
