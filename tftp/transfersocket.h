#pragma once

#include <QHostAddress>
#include <QString>

#include "datagramsocket.h"


namespace tarvo::tftp {

// A fresh socket on an ephemeral port for one transfer (its transfer id).
// local may be a concrete address or null, in which case the wildcard of
// the peer's protocol is used. Returns nullptr with error set on failure.
DatagramSocket* openTransferSocket(const QHostAddress& local, const QHostAddress& peer, QString* error);

}  // namespace tarvo::tftp
