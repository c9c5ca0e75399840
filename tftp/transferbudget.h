#pragma once

#include "options.h"

#include <QtGlobal>

#include <optional>

namespace tarvo::tftp {

// The memory all transfers together may hold in buffers. A transfer costs
// its receive buffer plus, when sending, its window and read-ahead. The
// smallest grant stays reserved for every transfer slot still free, so
// greedy early clients cannot starve later ones: a transfer that does not
// fit is granted a smaller windowsize, then a smaller blksize (never below
// 512 or what the client asked), and refused only when even that does not.
class TransferBudget
{
public:
    static constexpr qint64 DefaultTotalBytes = qint64(128) << 20;
    static constexpr qint64 DefaultPerTransferBytes = qint64(4) << 20;

    TransferBudget(qint64 totalBytes, qint64 perTransferBytes, int maxTransfers);

    // Shrinks the negotiated blksize/windowsize (and their OACK values) to
    // fit; the bytes taken, or nullopt if nothing fits.
    std::optional<qint64> take(ServerNegotiation* negotiation, bool sending);
    void give(qint64 bytes)
    {
        used_ -= bytes;
        --active_;
    }
    qint64 used() const { return used_; }

    static qint64 cost(int blksize, int windowsize, bool sending);

private:
    qint64 total_;
    qint64 perTransfer_;
    int maxTransfers_;
    qint64 used_ = 0;
    int active_ = 0;
};

}  // namespace tarvo::tftp
