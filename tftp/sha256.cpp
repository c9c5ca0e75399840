#include "sha256.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tarvo::tftp {

namespace {
constexpr std::uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

std::uint32_t loadBigEndian(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8)
           | std::uint32_t(p[3]);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TARVO_SHA_INSTRUCTIONS 1

bool processorHasShaInstructions()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = c & (1u << 9);
    const bool sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    const bool sha = b & (1u << 29);
    return ssse3 && sse41 && sha;
}

// Four rounds a step on the two halves of the state the instructions use
// (A B E F and C D G H); the message schedule four words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) void compressWithShaInstructions(
    std::uint32_t* state, const unsigned char* chunks, std::size_t count)
{
    const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (std::size_t c = 0; c < count; ++c, chunks += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i w[4];
        for (int i = 0; i < 16; ++i) {
            __m128i words;
            if (i < 4) {
                words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chunks + 16 * i)),
                                         byteOrder);
            } else {
                const __m128i w16 = w[i % 4], w12 = w[(i + 1) % 4], w8 = w[(i + 2) % 4], w4 = w[(i + 3) % 4];
                words = _mm_sha256msg2_epu32(
                    _mm_add_epi32(_mm_sha256msg1_epu32(w16, w12), _mm_alignr_epi8(w4, w8, 4)), w4);
            }
            w[i % 4] = words;
            __m128i wk = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(RoundConstants + 4 * i)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            wk = _mm_shuffle_epi32(wk, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}
#endif
} // namespace

Sha256::Sha256(Engine engine)
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19}
{
#ifdef TARVO_SHA_INSTRUCTIONS
    static const bool available = processorHasShaInstructions();
    useShaInstructions_ = engine == Engine::Fastest && available;
#else
    Q_UNUSED(engine);
#endif
}

void Sha256::compress(const unsigned char* chunks, std::size_t count)
{
#ifdef TARVO_SHA_INSTRUCTIONS
    if (useShaInstructions_) {
        compressWithShaInstructions(state_.data(), chunks, count);
        return;
    }
#endif
    compressPortable(chunks, count);
}

void Sha256::compressPortable(const unsigned char* chunks, std::size_t count)
{
    std::uint32_t w[64];
    for (std::size_t c = 0; c < count; ++c, chunks += 64) {
        for (int i = 0; i < 16; ++i)
            w[i] = loadBigEndian(chunks + 4 * i);
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state_[0], b = state_[1], c2 = state_[2], d = state_[3];
        std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t s1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
            const std::uint32_t choice = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + choice + RoundConstants[i] + w[i];
            const std::uint32_t s0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
            const std::uint32_t majority = (a & b) ^ (a & c2) ^ (b & c2);
            const std::uint32_t t2 = s0 + majority;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c2;
            c2 = b;
            b = a;
            a = t1 + t2;
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c2;
        state_[3] += d;
        state_[4] += e;
        state_[5] += f;
        state_[6] += g;
        state_[7] += h;
    }
}

void Sha256::addData(QByteArrayView data)
{
    auto in = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t size = std::size_t(data.size());
    totalBytes_ += size;
    if (pendingBytes_ > 0) {
        const std::size_t take = std::min(size, pending_.size() - pendingBytes_);
        std::memcpy(pending_.data() + pendingBytes_, in, take);
        pendingBytes_ += take;
        in += take;
        size -= take;
        if (pendingBytes_ < pending_.size())
            return;
        compress(pending_.data(), 1);
        pendingBytes_ = 0;
    }
    const std::size_t whole = size / 64;
    compress(in, whole);
    in += whole * 64;
    size -= whole * 64;
    std::memcpy(pending_.data(), in, size);
    pendingBytes_ = size;
}

QByteArray Sha256::result()
{
    const std::uint64_t bits = totalBytes_ * 8;
    unsigned char tail[128] = {};
    std::memcpy(tail, pending_.data(), pendingBytes_);
    tail[pendingBytes_] = 0x80;
    const std::size_t tailBytes = pendingBytes_ < 56 ? 64 : 128;
    for (int i = 0; i < 8; ++i)
        tail[tailBytes - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    compress(tail, tailBytes / 64);
    pendingBytes_ = 0;
    QByteArray digest(32, Qt::Uninitialized);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = char(state_[i] >> 24);
        digest[4 * i + 1] = char(state_[i] >> 16);
        digest[4 * i + 2] = char(state_[i] >> 8);
        digest[4 * i + 3] = char(state_[i]);
    }
    return digest;
}

}  // namespace tarvo::tftp
