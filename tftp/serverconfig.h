#pragma once

#include "options.h"
#include "retrypolicy.h"
#include "transferbudget.h"

#include <QHostAddress>
#include <QList>
#include <QStringList>

namespace tarvo::tftp {

struct ServerConfig {
    static constexpr quint16 DefaultPort = 69;
    static constexpr qint64 DefaultMaxWriteBytes = qint64(1) << 30;

    QHostAddress bindAddress = QHostAddress(QHostAddress::Any);
    quint16 port = DefaultPort;          // 0: any free port
    QString root;                        // the served folder
    QStringList allowedNames = {QStringLiteral("config.tgz")};
    qint64 maxWriteBytes = DefaultMaxWriteBytes;
    int keepBackups = 20;
    int maxTransfers = 500;
    int dallyMs = 2000;                  // after the last ACK of a write
    qint64 memoryBudgetBytes = TransferBudget::DefaultTotalBytes;         // all transfers' buffers
    qint64 transferBufferBytes = TransferBudget::DefaultPerTransferBytes; // cap on windowsize x blksize
    bool perClient = false;              // each peer address has a folder of its own under root
    // Serves reads only: every write request is refused, so that nothing
    // can change what is served.
    bool readOnly = false;
    // The only peers whose requests are served: a read or write request
    // from any other address is refused (access violation). Empty: anyone.
    QList<QHostAddress> onlyFrom;
    // What the completed uploads of this server's life may add up to: a
    // write request once they reach it, or one announcing more than is
    // left, is refused (disk full), and an upload is cut where the room
    // ends. -1: no limit.
    qint64 maxStoredBytes = -1;
    // How often a PROGRESS line is reported per running transfer; 0: never.
    // A transfer younger than this, or without progress since its last
    // line, is not reported.
    int progressIntervalMs = 0;
    RetryPolicy retry;
    ServerOptionLimits limits;
};

}  // namespace tarvo::tftp
