#pragma once
// Ends the event loop on SIGINT and SIGTERM, so that temporary cards are
// cleaned up when the controller is stopped from outside.

namespace simulator {

void quitOnTerminationSignals();

}  // namespace simulator
