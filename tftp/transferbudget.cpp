#include "transferbudget.h"

#include "sendsession.h"

namespace tarvo::tftp {

namespace {
constexpr int SmallestGrantedBlksize = DefaultBlockSize;

void setOption(QList<Option>* options, const QByteArray& name, int value)
{
    for (Option& o : *options) {
        if (o.name == name)
            o.value = QByteArray::number(value);
    }
}
} // namespace

TransferBudget::TransferBudget(qint64 totalBytes, qint64 perTransferBytes, int maxTransfers)
    : total_(totalBytes), perTransfer_(perTransferBytes), maxTransfers_(maxTransfers)
{
}

qint64 TransferBudget::cost(int blksize, int windowsize, bool sending)
{
    const qint64 packet = blksize + 4;
    if (!sending)
        return Session::ReceiveBufferBytes + packet;
    // The window, plus the read-ahead of SendSession: up to one more window, at most 64 KiB.
    const qint64 readAhead = qMin<qint64>(windowsize, qMax<qint64>(1, SendAheadBytes / blksize));
    return Session::ReceiveBufferBytes + (windowsize + readAhead) * packet;
}

std::optional<qint64> TransferBudget::take(ServerNegotiation* n, bool sending)
{
    TransferParameters& p = n->parameters;
    const int smallest = qMin(p.blksize, SmallestGrantedBlksize);
    const qint64 reserved = qMax(0, maxTransfers_ - active_ - 1) * cost(SmallestGrantedBlksize, 1, true);
    const qint64 available = total_ - used_ - reserved;
    auto fits = [&] {
        return qint64(p.blksize) * p.windowsize <= perTransfer_
               && cost(p.blksize, p.windowsize, sending) <= available;
    };
    while (!fits() && p.windowsize > 1)
        p.windowsize = qMax(1, p.windowsize / 2);
    while (!fits() && p.blksize > smallest)
        p.blksize = qMax(smallest, p.blksize / 2);
    if (cost(p.blksize, p.windowsize, sending) > available)
        return std::nullopt;
    setOption(&n->accepted, "windowsize", p.windowsize);
    setOption(&n->accepted, "blksize", p.blksize);
    const qint64 taken = cost(p.blksize, p.windowsize, sending);
    used_ += taken;
    ++active_;
    return taken;
}

}  // namespace tarvo::tftp
