#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

namespace tarvo::tftp {

// SHA-256 (FIPS 180-4) of a stream fed in pieces of any size. An upload is
// hashed block by block as it arrives, so this is on every block's way: it
// works on whole 64-byte chunks straight from the caller's data, with the
// processor's SHA instructions where it has them (x86-64), where the Qt
// this program is built against hashes byte by byte, about fifty times
// slower.
class Sha256
{
public:
    enum class Engine { Fastest, Portable };
    explicit Sha256(Engine engine = Engine::Fastest);

    void addData(QByteArrayView data);
    // The digest of everything added; the object is spent afterwards.
    QByteArray result();

private:
    void compress(const unsigned char* chunks, std::size_t count);
    void compressPortable(const unsigned char* chunks, std::size_t count);

    bool useShaInstructions_ = false;

    std::array<std::uint32_t, 8> state_;
    std::array<unsigned char, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace tarvo::tftp
