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

// A status below 0 never finishes: the command hangs once its lines are out.
constexpr int hangsForever = -1;

// The lines spread evenly over durationMs.
void playOut(const Invocation& inv, std::vector<PacedLine> lines, int durationMs, int status);

// Each line at its own time (ms from the start, in order), the status at
// durationMs.
struct TimedLine {
    PacedLine line;
    qint64 atMs = 0;
};
void playOutTimed(const Invocation& inv, std::vector<TimedLine> lines, qint64 durationMs, int status);

}  // namespace tarvo::simulator
