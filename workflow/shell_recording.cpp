#include "workflow/shell_recording.h"

#include "link/controller_link.h"

namespace tarvo::workflow {

ShellRecording::ShellRecording(link::ControllerLink& link, std::function<void()> onFull)
    : onFull_(std::move(onFull))
{
    connection_ = QObject::connect(&link, &link::ControllerLink::lineReceived, &link, [this](const QByteArray& line) {
        if (full_)
            return;
        if (lines_.size() >= kMaxLines || bytes_ + line.size() > kMaxBytes) {
            full_ = true;
            if (onFull_)
                onFull_();
            return;
        }
        bytes_ += line.size();
        lines_.append(line);
    });
}

ShellRecording::~ShellRecording()
{
    QObject::disconnect(connection_);
}

}  // namespace tarvo::workflow
