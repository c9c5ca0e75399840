#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace tarvo::tftp {

// SHA-256 of a stream fed in pieces of any size. An upload is hashed block
// by block as it arrives, so this is on every block's way: it is OpenSSL's
// libcrypto where the build has it (which uses the processor's SHA
// instructions), and Qt's otherwise; the Qt this program is built against
// (6.4) hashes byte by byte, about fifty times slower.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void addData(QByteArrayView data);
    // The digest of everything added; the object is spent afterwards.
    QByteArray result();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace tarvo::tftp
