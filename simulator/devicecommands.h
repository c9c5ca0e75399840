#pragma once
// Commands that act on the controller itself: killall, mount, sync, ps.

#include "simulator/invocation.h"

#include <QMap>

namespace tarvo::simulator {

void addDeviceCommands(QMap<QByteArray, CommandFunction>& table);

}  // namespace tarvo::simulator
