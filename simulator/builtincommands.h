#pragma once
// The shell's everyday commands: echo, cd, pwd, ls, cat, test/[, true, false.

#include "simulator/invocation.h"

#include <QMap>

namespace tarvo::simulator {

void addBuiltinCommands(QMap<QByteArray, CommandFunction>& table);

// echo's -e escapes; stops at \c (sets *stop).
QByteArray expandEchoEscapes(const QByteArray& text, bool* stop);

}  // namespace tarvo::simulator
