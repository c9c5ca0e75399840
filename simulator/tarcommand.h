#pragma once
// The tar command line: "tar cvzf ARCHIVE MEMBER..." and "tar xvzf ARCHIVE"
// (with or without a leading "-"), timed like a controller's slow card.

#include "simulator/invocation.h"

#include <QMap>

namespace tarvo::simulator {

void addTarCommand(QMap<QByteArray, CommandFunction>& table);

}  // namespace tarvo::simulator
