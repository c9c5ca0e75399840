#pragma once
// Plays a long command's output out over the time the command takes, as a
// busy controller prints it, then finishes the command.

#include "simulator/invocation.h"

#include <vector>

namespace tarvo::simulator {

struct PacedLine {
    QByteArray text;  // without the line end
    bool toConsole = false;  // error output (never redirected)
};

void playOut(const Invocation& inv, std::vector<PacedLine> lines, int durationMs, int status);

}  // namespace tarvo::simulator
