#pragma once
// Shows the controller link in the window: what the controller sends goes
// into the log, the link's state into the status bar, and the socket's own
// error reports into the log.

#include "link/controller_link.h"
#include "platform/controls.h"

namespace tarvo::window {

void showLinkInWindow(link::ControllerLink& link, platform::Controls& controls);

}  // namespace tarvo::window
