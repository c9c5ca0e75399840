#pragma once
// busybox's tftp client: "tftp -p -l FILE HOST [PORT]" and
// "tftp -g -r FILE HOST [PORT]", through the controller's TFTP transport.

#include "simulator/invocation.h"

#include <QMap>

namespace tarvo::simulator {

void addTftpCommand(QMap<QByteArray, CommandFunction>& table);

}  // namespace tarvo::simulator
