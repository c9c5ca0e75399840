#include "window/link_view.h"

#include "workflow/operator_texts.h"

namespace tarvo::window {

using workflow::OperatorTexts;

void showLinkInWindow(link::ControllerLink& link, platform::Controls& controls)
{
    QObject::connect(&link, &link::ControllerLink::textReceived, &link,
                     [&controls](const QString& text) { controls.appendLog(text); });
    QObject::connect(&link, &link::ControllerLink::connectionChanged, &link, [&controls](bool connected) {
        controls.setLinkState(connected ? OperatorTexts::linkConnected() : OperatorTexts::linkDisconnected());
    });
    QObject::connect(&link, &link::ControllerLink::socketErrorOccurred, &link, [&controls](const QString& text) {
        controls.appendLog(QStringLiteral("\r\n") + OperatorTexts::socketError(text));
    });
}

}  // namespace tarvo::window
