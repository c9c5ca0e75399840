#pragma once

#include "packet.h"

#include <QString>

#include <optional>

namespace tarvo::tftp {

constexpr int DefaultBlockSize = 512;
constexpr int MinBlockSize = 8;        // RFC 2348
constexpr int MaxBlockSize = 65464;    // RFC 2348
constexpr int MinTimeoutSeconds = 1;   // RFC 2349
constexpr int MaxTimeoutSeconds = 255; // RFC 2349
constexpr int MaxWindowSize = 65535;   // RFC 7440

// What a transfer runs with once the options are settled.
struct TransferParameters {
    int blksize = DefaultBlockSize;
    int windowsize = 1;
    int timeoutSeconds = 0;  // 0: the side's own retry policy
    qint64 tsize = -1;       // -1: not negotiated
};

// The server's own bounds on what a client may ask for.
struct ServerOptionLimits {
    int maxBlksize = MaxBlockSize;
    int maxWindowsize = 64;
};

struct ServerNegotiation {
    QList<Option> accepted;   // for the OACK; empty means no OACK
    TransferParameters parameters;
    qint64 requestedTsize = -1;  // the tsize a WRQ announced
};

// Parses a decimal option value strictly: digits only, no sign, bounded.
std::optional<qint64> parseOptionNumber(const QByteArray& value);

// The server's answer to the options of a request. Options it does not know
// or whose values are out of range are left out, as RFC 2347 allows.
// fileSize is the size of the file to send (RRQ), or -1.
ServerNegotiation negotiateServerOptions(const QList<Option>& requested, Opcode request,
                                         Mode mode, qint64 fileSize,
                                         const ServerOptionLimits& limits);

// The client's check of an OACK against what it asked for. Anything it did
// not ask for, or a value it did not allow, is an error (code 8 to send).
std::optional<TransferParameters> acceptOack(const QList<Option>& oack, const QList<Option>& asked,
                                             QString* error);

}  // namespace tarvo::tftp
