// CredentialCipher: the routine that enciphers the remembered password.
// DES in a counter mode of its own: an 8-byte header (the DES encryption of
// the initial counter block) followed by one byte per password byte, each the
// password byte XORed with a keystream made by DES-encrypting the counter,
// which is stepped once per 8 bytes. Deterministic by design: the same
// password always gives the same bytes.
#pragma once

#include <QByteArray>

#include <nettle/des.h>

#include <array>
#include <cstdint>

namespace quillora::session {

struct CipherKeyMaterial {
    QByteArray keyText;                    // 15 printable characters
    std::array<uint8_t, 8> keyBlock{};     // initial key block
    std::array<uint8_t, 8> counterBlock{}; // initial counter block: two 32-bit little-endian halves
    uint8_t keyOffset = 0;
    uint32_t counterIncrement = 0; // added to the first half at each step
    uint32_t counterDecrement = 0; // taken from the second half at each step

    // The material compiled into this build.
    static CipherKeyMaterial compiled();
};

class CredentialCipher {
  public:
    explicit CredentialCipher(const CipherKeyMaterial &material = CipherKeyMaterial::compiled());

    // Header (8 bytes) and body (one byte per input byte).
    QByteArray encipher(const QByteArray &text) const;
    // The text back; empty for fewer than 8 bytes.
    QByteArray decipher(const QByteArray &bytes) const;

    // The DES key derived from the key material.
    const std::array<uint8_t, 8> &derivedKey() const { return m_key; }
    // False when the derived key is one of DES's weak keys.
    bool keyIsStrong() const { return m_strong; }

  private:
    using Block = std::array<uint8_t, 8>;
    void step(Block &counter) const;
    Block encryptBlock(const Block &in) const;
    Block decryptBlock(const Block &in) const;

    CipherKeyMaterial m_material;
    std::array<uint8_t, 8> m_key{};
    des_ctx m_schedule{}; // one DES key schedule serves both directions
    bool m_strong = false;
};

} // namespace quillora::session
