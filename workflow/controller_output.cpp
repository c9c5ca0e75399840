#include "workflow/controller_output.h"

#include "workflow/operator_texts.h"

namespace tarvo::workflow {

ControllerOutputReader::ControllerOutputReader(std::function<void(const QString&)> showComplaint)
    : showComplaint_(std::move(showComplaint))
{
}

void ControllerOutputReader::read(const QByteArray& line)
{
    if (complained_ || (tarListing_ && (line.startsWith("zel/") || line.startsWith("media/"))))
        return;
    QString text;
    // In this order: a tar line that ends in "Handle" is tar's.
    if (line.startsWith("tar:"))
        text = QString::fromLatin1(line);
    else if (line.endsWith("Handle"))
        text = QString::fromLatin1(line) + QStringLiteral("\r\n") + OperatorTexts::callForService();
    else if (line.startsWith("tftp:"))
        text = QString::fromLatin1(line);
    else
        return;
    complained_ = true;
    showComplaint_(text);
}

}  // namespace tarvo::workflow
