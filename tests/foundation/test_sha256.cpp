// The digest the publish record keeps: the standard's values, and the same
// digest however the bytes are cut into blocks.

#include "foundation/sha256.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>

namespace {
QByteArray digestInBlocks(const QByteArray &bytes, qsizetype block)
{
    Sha256 sha;
    for (qsizetype at = 0; at < bytes.size(); at += block)
        sha.addData(QByteArrayView(bytes.constData() + at, std::min(block, bytes.size() - at)));
    return sha.result();
}
} // namespace

TEST(Sha256, KnownValuesAndAnyCuttingOfTheBytes)
{
    EXPECT_EQ(Sha256().result().toHex(),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestInBlocks("abc", 1).toHex(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    QByteArray bytes(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    const QByteArray expected = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    for (const qsizetype block : {qsizetype(1) << 20, qsizetype(4096), qsizetype(63)})
        EXPECT_EQ(digestInBlocks(bytes, block), expected) << block;
}
