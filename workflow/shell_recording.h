#pragma once
// Keeps every line the controller prints while it lives: what one command
// printed, for the step that needs more of it than its exit status.

#include <QByteArray>
#include <QList>
#include <QMetaObject>

#include <functional>

namespace tarvo::link {
class ControllerLink;
}

namespace tarvo::workflow {

class ShellRecording {
public:
    // More than any real card's listing: past it nothing more is kept, and
    // onFull is called once.
    static constexpr qsizetype kMaxLines = 1'000'000;
    static constexpr qsizetype kMaxBytes = 64 * 1024 * 1024;

    explicit ShellRecording(link::ControllerLink& link, std::function<void()> onFull = {});
    ~ShellRecording();
    ShellRecording(const ShellRecording&) = delete;
    ShellRecording& operator=(const ShellRecording&) = delete;

    // The lines in arrival order, as the link interpreted them.
    const QList<QByteArray>& lines() const { return lines_; }
    bool isFull() const { return full_; }

private:
    QList<QByteArray> lines_;
    qsizetype bytes_ = 0;
    bool full_ = false;
    std::function<void()> onFull_;
    QMetaObject::Connection connection_;
};

}  // namespace tarvo::workflow
