#include "credential_cipher.h"

#include <gtest/gtest.h>

#include <nettle/des.h>

using quillora::session::CipherKeyMaterial;
using quillora::session::CredentialCipher;

namespace {

CipherKeyMaterial sampleMaterial()
{
    CipherKeyMaterial m;
    m.keyText = QByteArrayLiteral("ABCDEFGHIJKLMNO");
    m.keyBlock = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe};
    m.counterBlock = {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00};
    m.keyOffset = 200;
    m.counterIncrement = 2;
    m.counterDecrement = 1;
    return m;
}

std::array<uint8_t, 8> desEncrypt(const std::array<uint8_t, 8> &key, std::array<uint8_t, 8> block)
{
    des_ctx ctx;
    des_set_key(&ctx, key.data());
    std::array<uint8_t, 8> out;
    des_encrypt(&ctx, 8, out.data(), block.data());
    return out;
}

} // namespace

TEST(CredentialCipher, KeyFoldsTheTextIntoTheBlockWithRoundAndOffset)
{
    // Characters 0-7 go in with round 0, characters 8-14 with round 1; the
    // offset 200 makes 'A' + 200 wrap past 255.
    const CredentialCipher cipher(sampleMaterial());
    const std::array<uint8_t, 8> expected = {
        uint8_t(0x10 ^ uint8_t('A' + 200) ^ uint8_t('I' + 201)),
        uint8_t(0x32 ^ uint8_t('B' + 200) ^ uint8_t('J' + 201)),
        uint8_t(0x54 ^ uint8_t('C' + 200) ^ uint8_t('K' + 201)),
        uint8_t(0x76 ^ uint8_t('D' + 200) ^ uint8_t('L' + 201)),
        uint8_t(0x98 ^ uint8_t('E' + 200) ^ uint8_t('M' + 201)),
        uint8_t(0xba ^ uint8_t('F' + 200) ^ uint8_t('N' + 201)),
        uint8_t(0xdc ^ uint8_t('G' + 200) ^ uint8_t('O' + 201)),
        uint8_t(0xfe ^ uint8_t('H' + 200)),
    };
    EXPECT_EQ(cipher.derivedKey(), expected);
}

TEST(CredentialCipher, KnownAnswerWithCounterSteppedPerBlockAndCarryingInBothHalves)
{
    const CipherKeyMaterial m = sampleMaterial();
    const CredentialCipher cipher(m);
    const std::array<uint8_t, 8> key = cipher.derivedKey();
    const QByteArray text = QByteArrayLiteral("0123456789"); // two keystream blocks

    // Header: E(counter). Block 1 counter: first half 0xffffffff + 2 wraps to 1,
    // second half 0 - 1 wraps to 0xffffffff. Block 2: 3 and 0xfffffffe.
    const auto header = desEncrypt(key, m.counterBlock);
    const auto ks1 = desEncrypt(key, {0x01, 0, 0, 0, 0xff, 0xff, 0xff, 0xff});
    const auto ks2 = desEncrypt(key, {0x03, 0, 0, 0, 0xfe, 0xff, 0xff, 0xff});
    QByteArray expected;
    for (uint8_t b : header)
        expected.append(char(b));
    for (int i = 0; i < text.size(); ++i)
        expected.append(char(uint8_t(text[i]) ^ (i < 8 ? ks1[size_t(i)] : ks2[size_t(i - 8)])));

    EXPECT_EQ(cipher.encipher(text).toHex(), expected.toHex());
    EXPECT_EQ(cipher.decipher(expected), text);
}

TEST(CredentialCipher, DeterministicWithCommonHeaderAndOneBytePerPasswordByte)
{
    const CredentialCipher cipher;
    const QByteArray a = cipher.encipher("secret99");
    EXPECT_EQ(a, CredentialCipher().encipher("secret99"));
    const QByteArray b = cipher.encipher("another-password");
    EXPECT_EQ(a.left(8), b.left(8));
    EXPECT_EQ(cipher.encipher(QByteArray()).size(), 8);
    EXPECT_EQ(b.size(), 16 + 8); // a 16-character password: two keystream blocks
    EXPECT_NE(a.mid(8), QByteArray("secret99"));
}

TEST(CredentialCipher, RoundTripsEveryLengthAndAllByteValues)
{
    const CredentialCipher cipher;
    QByteArray text;
    for (int n = 0; n <= 40; ++n) {
        EXPECT_EQ(cipher.decipher(cipher.encipher(text)), text) << "length " << n;
        text.append(char(n * 37 + 11));
    }
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    EXPECT_EQ(cipher.decipher(cipher.encipher(all)), all);
}

TEST(CredentialCipher, ShortInputsDecipherToNothing)
{
    const CredentialCipher cipher;
    for (int n = 0; n < 8; ++n)
        EXPECT_TRUE(cipher.decipher(QByteArray(n, 'x')).isEmpty()) << n;
    EXPECT_TRUE(cipher.decipher(cipher.encipher(QByteArray())).isEmpty());
}

TEST(CredentialCipher, DifferentKeyMaterialGivesDifferentBytes)
{
    CipherKeyMaterial other = CipherKeyMaterial::compiled();
    other.keyOffset = uint8_t(other.keyOffset + 1);
    EXPECT_NE(CredentialCipher(other).encipher("password1"), CredentialCipher().encipher("password1"));
    CipherKeyMaterial steps = CipherKeyMaterial::compiled();
    steps.counterIncrement += 1;
    const QByteArray a = CredentialCipher(steps).encipher("password1");
    const QByteArray b = CredentialCipher().encipher("password1");
    EXPECT_EQ(a.left(8), b.left(8)); // the header depends on the key and the counter block only
    EXPECT_NE(a.mid(8), b.mid(8));
}

TEST(CredentialCipher, CompiledKeyIsNotAWeakDesKey)
{
    EXPECT_TRUE(CredentialCipher().keyIsStrong());
}
