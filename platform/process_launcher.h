#pragma once
// Programs the tool starts: the PC's TFTP server while a run needs it, and
// a program that must outlive the tool (an uninstaller).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace tarvo::platform {

// How a started program's window (where it has one) is shown.
enum class ProcessWindow {
    Normal,
    Minimized,
};

class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;

    // Starts a program without waiting for it. Returns a handle for
    // closeProcess, or 0 when it could not be started. Each line the program
    // writes (standard output and error) goes to onLine, and its exit code
    // to onFinished, both from the event loop.
    virtual std::int64_t startProcess(const QString& program, const QStringList& arguments,
                                      ProcessWindow window, std::function<void(const QString& line)> onLine = {},
                                      std::function<void(int exitCode)> onFinished = {}) = 0;
    // Starts a program that must outlive this process, after delayMs.
    virtual void startDetachedDelayed(const QString& program, int delayMs) = 0;
    // Asks a process started by startProcess to end, and kills it when it
    // has not ended within 2 s. A zero or unknown handle does nothing.
    virtual void closeProcess(std::int64_t handle) = 0;
    // Closes a top-level window by its title (WM_CLOSE); where windows have
    // no such title, does nothing and closeProcess is used instead.
    virtual void closeWindowByTitle(const QString& title) = 0;
};

}  // namespace tarvo::platform
