#pragma once
// Keeps every line the controller prints while it lives: what one command
// printed, for the step that needs more of it than its exit status.

#include <QByteArray>
#include <QList>
#include <QMetaObject>

namespace tarvo::link {
class ControllerLink;
}

namespace tarvo::workflow {

class ShellRecording {
public:
    explicit ShellRecording(link::ControllerLink& link);
    ~ShellRecording();
    ShellRecording(const ShellRecording&) = delete;
    ShellRecording& operator=(const ShellRecording&) = delete;

    // The lines in arrival order, as the link interpreted them.
    const QList<QByteArray>& lines() const { return lines_; }

private:
    QList<QByteArray> lines_;
    QMetaObject::Connection connection_;
};

}  // namespace tarvo::workflow
