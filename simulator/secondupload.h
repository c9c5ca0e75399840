#pragma once
// The second sender: right after the controller's own upload, another
// program on the controller's address sends a small archive of its own under
// the same remote name, from another port. The PC must not take it for the
// backup.

#include "simulator/tftptransport.h"

#include <QString>

namespace tarvo::simulator {

// A valid gzip'ed tar archive with one member, zel/laser.conf (a default
// configuration of about 150 bytes).
QByteArray smallArchive();

// Sends smallArchive() as remoteName to host:port through tftp, then calls
// done, whatever the outcome: the controller's own command has succeeded.
void sendSecondUpload(TftpTransport& tftp, const QString& host, quint16 port, const QString& remoteName,
                      std::function<void()> done);

}  // namespace tarvo::simulator
