// The two kinds of shell step that backup and restore are made of, and
// their error reporting.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

std::int16_t Workflow::statusStep(const QByteArray& command)
{
    return link_.runCommand(command, kTransferStatusSeconds, kTransferProgress);
}

void Workflow::plainStep(const QByteArray& command)
{
    link_.sendLine(command);
    link_.waitMs(500);
}

void Workflow::showError(const QString& text)
{
    showMessage(text, platform::MessageIcon::Critical);
}

}  // namespace tarvo::workflow
