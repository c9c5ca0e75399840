#include "blockreader.h"

#include <QIODevice>

#include <cstring>

namespace tarvo::tftp {

namespace {
constexpr qint64 NetasciiReadChunk = 4096;
}

BlockReader::BlockReader(QIODevice* device, Mode mode)
    : device_(device), mode_(mode)
{
}

bool BlockReader::next(int blockSize, QByteArray* block)
{
    if (mode_ == Mode::Netascii)
        return fillNetascii(blockSize, block);
    block->resize(blockSize);
    const qint64 got = take(block->data(), blockSize);
    if (got < 0)
        return false;
    block->resize(got);
    if (got < blockSize)
        finished_ = true;
    return true;
}

qint64 BlockReader::readPacket(int blockSize, quint16 blockNumber, char* out)
{
    constexpr int HeaderBytes = 4;
    out[0] = 0;
    out[1] = char(Opcode::Data);
    out[2] = char(blockNumber >> 8);
    out[3] = char(blockNumber & 0xff);
    if (mode_ == Mode::Netascii) {
        QByteArray payload;
        if (!fillNetascii(blockSize, &payload))
            return -1;
        std::memcpy(out + HeaderBytes, payload.constData(), size_t(payload.size()));
        return HeaderBytes + payload.size();
    }
    const qint64 got = take(out + HeaderBytes, blockSize);
    if (got < 0)
        return -1;
    if (got < blockSize)
        finished_ = true;
    return HeaderBytes + got;
}

qint64 BlockReader::take(char* out, qint64 size)
{
    qint64 got = 0;
    while (got < size) {
        if (chunkAt_ == chunkEnd_) {
            if (deviceEnded_)
                break;
            if (chunk_.isEmpty())
                chunk_.resize(ReadChunkBytes);
            const qint64 n = device_->read(chunk_.data(), ReadChunkBytes);
            if (n < 0)
                return -1;
            deviceEnded_ = n == 0;
            chunkAt_ = 0;
            chunkEnd_ = n;
            continue;
        }
        const qint64 n = qMin(size - got, chunkEnd_ - chunkAt_);
        std::memcpy(out + got, chunk_.constData() + chunkAt_, size_t(n));
        chunkAt_ += n;
        got += n;
    }
    return got;
}

bool BlockReader::fillNetascii(int blockSize, QByteArray* block)
{
    QByteArray out = carry_;
    carry_.clear();
    char chunk[NetasciiReadChunk];
    while (out.size() < blockSize) {
        const qint64 n = take(chunk, qMin<qint64>(NetasciiReadChunk, blockSize));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        for (qint64 i = 0; i < n; ++i) {
            if (chunk[i] == '\n') {
                out.append("\r\n", 2);
            } else if (chunk[i] == '\r') {
                out.append("\r\0", 2);
            } else {
                out.append(chunk[i]);
            }
        }
    }
    if (out.size() > blockSize) {
        carry_ = out.mid(blockSize);
        out.truncate(blockSize);
    }
    if (out.size() < blockSize)
        finished_ = true;
    *block = out;
    return true;
}

}  // namespace tarvo::tftp
