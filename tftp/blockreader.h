#pragma once

#include "packet.h"

#include <QByteArray>

class QIODevice;

namespace tarvo::tftp {

// Cuts a file into DATA payloads of one block size, converting line ends to
// CR LF (and a bare CR to CR NUL) in netascii mode. The device is read in
// chunks of ReadChunkBytes (the server opens its files unbuffered, so this
// is the only copy), each block then a copy out of the chunk.
class BlockReader
{
public:
    static constexpr qint64 ReadChunkBytes = 16 * 1024;

    BlockReader(QIODevice* device, Mode mode);

    // The next payload; shorter than blockSize only for the last one.
    // Returns false on a read error.
    bool next(int blockSize, QByteArray* block);
    // The next payload as a whole DATA packet, built in place at out (room
    // for 4 + blockSize bytes). Returns the packet's size, -1 on a read error.
    qint64 readPacket(int blockSize, quint16 blockNumber, char* out);
    bool atEnd() const { return finished_; }

private:
    bool fillNetascii(int blockSize, QByteArray* block);
    // Up to size bytes from the chunk, reading the next one when it is used
    // up; fewer only at the end of the device, -1 on a read error.
    qint64 take(char* out, qint64 size);

    QByteArray chunk_;
    qint64 chunkAt_ = 0;
    qint64 chunkEnd_ = 0;
    bool deviceEnded_ = false;

    QIODevice* device_;
    Mode mode_;
    QByteArray carry_;   // netascii bytes that did not fit the previous block
    bool finished_ = false;
};

}  // namespace tarvo::tftp
