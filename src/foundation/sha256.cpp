#include "foundation/sha256.h"

#include "foundation/errors.h"

#include <openssl/evp.h>

struct Sha256::Context {
    EVP_MD_CTX *md = nullptr;
    ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>())
{
    m_context->md = EVP_MD_CTX_new();
    if (!m_context->md || EVP_DigestInit_ex(m_context->md, EVP_sha256(), nullptr) != 1)
        throw AppError(QStringLiteral("SHA-256 is not available from OpenSSL"));
}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView bytes)
{
    if (!bytes.isEmpty() &&
        EVP_DigestUpdate(m_context->md, bytes.data(), size_t(bytes.size())) != 1)
        throw AppError(QStringLiteral("SHA-256 failed in OpenSSL"));
}

QByteArray Sha256::result()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context->md, digest, &length) != 1)
        throw AppError(QStringLiteral("SHA-256 failed in OpenSSL"));
    return QByteArray(reinterpret_cast<const char *>(digest), int(length));
}
