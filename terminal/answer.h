#pragma once
// The terminal front end's answer to a command line that opens no window.

#include "terminal/command_line.h"

namespace tarvo::terminal {

// Prints the help, the version or the refusal, runs the backups or the
// restore, or starts the demo; returns the exit status. The application
// exists and speaks the operator's language.
int answer(const CommandLine& commandLine);

}  // namespace tarvo::terminal
