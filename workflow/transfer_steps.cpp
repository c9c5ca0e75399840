// The two kinds of shell step that backup and restore are made of, and
// their error reporting.
#include "workflow/workflow.h"

#include "workflow/names.h"

namespace tarvo::workflow {

std::int16_t Workflow::statusStep(const QByteArray& command)
{
    return link_.Send_Command_With_Response(command, kTransferStatusSeconds, kTransferProgress);
}

void Workflow::plainStep(const QByteArray& command)
{
    link_.Send_Device_Command(command);
    link_.Delay_ms(500);
}

void Workflow::showError(const QString& text)
{
    link_.Show_Message(text, platform::vbCritical);
}

QString Workflow::codeText() const
{
    return QString::number(link_.Command_Return_Value);
}

}  // namespace tarvo::workflow
