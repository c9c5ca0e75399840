#include "workflow/shell_recording.h"

#include "link/controller_link.h"

namespace tarvo::workflow {

ShellRecording::ShellRecording(link::ControllerLink& link)
    : connection_(QObject::connect(&link, &link::ControllerLink::lineReceived, &link,
                                   [this](const QByteArray& line) { lines_.append(line); }))
{
}

ShellRecording::~ShellRecording()
{
    QObject::disconnect(connection_);
}

}  // namespace tarvo::workflow
