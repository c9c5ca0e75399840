#include "simulator/pacedrelay.h"

#include <QTimer>

#include <algorithm>

namespace tarvo::simulator {

namespace {

constexpr quint16 opData = 3;
constexpr quint16 opOack = 6;
// A get whose server announces no size stalls after this much.
constexpr qint64 stallWithoutSize = 8192;

quint16 opcode(const QByteArray& d)
{
    return d.size() >= 2 ? quint16((quint8(d[0]) << 8) | quint8(d[1])) : 0;
}

qint64 dataBytes(const QByteArray& d)
{
    return opcode(d) == opData && d.size() >= 4 ? d.size() - 4 : 0;
}

// The tsize an OACK announces, or -1.
qint64 announcedSize(const QByteArray& d)
{
    const QList<QByteArray> fields = d.mid(2).split('\0');
    for (int i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].toLower() == "tsize") {
            bool ok = false;
            const qint64 n = fields[i + 1].toLongLong(&ok);
            return ok ? n : -1;
        }
    }
    return -1;
}

}  // namespace

PacedRelay::PacedRelay(const QHostAddress& local, const QHostAddress& server, quint16 serverPort,
                       qint64 bytesPerSecond, bool stallHalfway, qint64 putSize, QObject* parent)
    : QObject(parent),
      server_(server),
      serverPort_(serverPort),
      rate_(bytesPerSecond),
      stallHalfway_(stallHalfway),
      stallAfter_(stallHalfway && putSize >= 0 ? putSize / 2 : -1)
{
    const QHostAddress inside = local.isNull() ? QHostAddress(QHostAddress::LocalHost) : local;
    const QHostAddress outside = local.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : local;
    open_ = inner_.bind(inside, 0) && outer_.bind(outside, 0);
    connect(&inner_, &QUdpSocket::readyRead, this, &PacedRelay::fromSession);
    connect(&outer_, &QUdpSocket::readyRead, this, &PacedRelay::fromServer);
    clock_.start();
}

bool PacedRelay::cross(const QByteArray& datagram)
{
    if (stalled_)
        return false;
    if (stallHalfway_ && stallAfter_ < 0 && opcode(datagram) == opOack) {
        const qint64 size = announcedSize(datagram);
        stallAfter_ = size > 0 ? size / 2 : stallWithoutSize;
    }
    crossed_ += dataBytes(datagram);
    const qint64 limit = stallAfter_ >= 0 ? stallAfter_ : (stallHalfway_ ? stallWithoutSize : -1);
    if (limit >= 0 && crossed_ > limit) {
        // Hung: from here on nothing crosses, in either direction.
        stalled_ = true;
        queue_.clear();
        return false;
    }
    return true;
}

void PacedRelay::pace(const QByteArray& datagram)
{
    if (rate_ <= 0)
        return;
    // Time lost to the round trips is made up, up to a short burst, so that
    // the rate holds over the whole transfer.
    constexpr qint64 catchUpUs = 20'000;
    const qint64 now = clock_.nsecsElapsed() / 1000;
    nextFreeUs_ = std::max(now - catchUpUs, nextFreeUs_) + dataBytes(datagram) * 1'000'000 / rate_;
}

void PacedRelay::fromSession()
{
    while (inner_.hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        QByteArray d(int(std::max<qint64>(0, inner_.pendingDatagramSize())), '\0');
        d.resize(int(inner_.readDatagram(d.data(), d.size(), &from, &fromPort)));
        session_ = from;
        sessionPort_ = fromPort;
        // A repeat of what still waits its turn is the same packet.
        if (std::find(queue_.begin(), queue_.end(), d) != queue_.end())
            continue;
        queue_.push_back(d);
    }
    release();
}

void PacedRelay::release()
{
    while (!queue_.empty()) {
        const qint64 now = clock_.nsecsElapsed() / 1000;
        // Within half a millisecond is on time: the timers count whole ones.
        if (rate_ > 0 && nextFreeUs_ - now > 500) {
            if (!releasing_) {
                releasing_ = true;
                QTimer::singleShot(int((nextFreeUs_ - now + 500) / 1000), Qt::PreciseTimer, this, [this] {
                    releasing_ = false;
                    release();
                });
            }
            return;
        }
        const QByteArray d = queue_.front();
        queue_.pop_front();
        if (!cross(d))
            return;
        pace(d);
        outer_.writeDatagram(d, server_, serverPort_);
    }
}

void PacedRelay::fromServer()
{
    while (outer_.hasPendingDatagrams()) {
        QHostAddress from;
        quint16 fromPort = 0;
        QByteArray d(int(std::max<qint64>(0, outer_.pendingDatagramSize())), '\0');
        d.resize(int(outer_.readDatagram(d.data(), d.size(), &from, &fromPort)));
        // The server answers from its transfer port: the rest goes there.
        if (from.isEqual(server_, QHostAddress::TolerantConversion))
            serverPort_ = fromPort;
        if (sessionPort_ == 0 || !cross(d))
            continue;
        pace(d);
        inner_.writeDatagram(d, session_, sessionPort_);
    }
}

}  // namespace tarvo::simulator
