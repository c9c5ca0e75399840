#include "tftp/sha256.h"

#ifdef TARVO_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#else
#include <QCryptographicHash>
#endif

namespace tarvo::tftp {

#ifdef TARVO_HAVE_LIBCRYPTO
struct Sha256::Context {
    Context() : digest(EVP_MD_CTX_new())
    {
        if (digest && EVP_DigestInit_ex(digest, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(digest);
            digest = nullptr;
        }
    }
    ~Context() { EVP_MD_CTX_free(digest); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    // Null when libcrypto could not set up a digest: the result is then
    // empty, which matches no upload's record.
    EVP_MD_CTX* digest;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView data)
{
    if (context_->digest && !data.isEmpty()
        && EVP_DigestUpdate(context_->digest, data.data(), std::size_t(data.size())) != 1) {
        EVP_MD_CTX_free(context_->digest);
        context_->digest = nullptr;
    }
}

QByteArray Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    if (!context_->digest
        || EVP_DigestFinal_ex(context_->digest, reinterpret_cast<unsigned char*>(digest.data()), &length) != 1)
        return {};
    digest.truncate(int(length));
    return digest;
}
#else
struct Sha256::Context {
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView data)
{
    context_->hash.addData(data);
}

QByteArray Sha256::result()
{
    return context_->hash.result();
}
#endif

}  // namespace tarvo::tftp
