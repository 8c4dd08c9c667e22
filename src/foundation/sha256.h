#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// SHA-256 in blocks, through OpenSSL: about ten times the speed of Qt's own
// digest here, which made hashing a site's files for the publish record the
// slowest step of a full publish.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(QByteArrayView bytes);
    // The 32-byte digest of everything added; the object is spent afterwards.
    QByteArray result();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
