#pragma once

#include <QString>

namespace tarvo::tftp {

struct SessionResult {
    bool ok = false;
    bool timedOut = false;
    bool fromPeer = false;   // the peer sent the ERROR
    int errorCode = -1;      // code sent or received, -1 if none
    QString errorText;
    qint64 bytes = 0;        // payload bytes acknowledged or received
    qint64 elapsedMs = 0;
};

}  // namespace tarvo::tftp
