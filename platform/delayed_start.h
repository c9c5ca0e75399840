#pragma once
// The command line through which a program starts after the tool has
// ended: on Windows the command interpreter pauses, then starts it.

#include <QString>

namespace tarvo::platform {

// The interpreter that runs the delayed start, and its arguments.
inline constexpr char kDelayedStartInterpreter[] = "cmd.exe";
// "/C ping 127.0.0.1 -n N -w MS > Nul & "PROGRAM"": ping sends its echo
// requests a second apart, and the loopback address answers each at once,
// so N requests pause N - 1 whole seconds, delayMs rounded up, whether the
// PC is on a network or not, and nothing leaves it.
QString delayedStartArguments(const QString& program, int delayMs);
// The whole command line: the interpreter, a blank, the arguments.
QString delayedStartCommandLine(const QString& program, int delayMs);

}  // namespace tarvo::platform
