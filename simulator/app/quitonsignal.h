#pragma once
// Ends the event loop on SIGINT and SIGTERM, so that temporary cards are
// cleaned up when the controller is stopped from outside.

namespace tarvo::simulator {

void quitOnTerminationSignals();

}  // namespace tarvo::simulator
