#include "credential_cipher.h"

#include "session_config.h"

namespace quillora::session {

CipherKeyMaterial CipherKeyMaterial::compiled()
{
    CipherKeyMaterial m;
    m.keyText = QByteArrayLiteral(QUILLORA_CFG_CIPHER_KEY_TEXT);
    m.keyBlock = QUILLORA_CFG_CIPHER_KEY_BLOCK;
    m.counterBlock = QUILLORA_CFG_CIPHER_COUNTER_BLOCK;
    m.keyOffset = QUILLORA_CFG_CIPHER_KEY_OFFSET;
    m.counterIncrement = QUILLORA_CFG_CIPHER_COUNTER_INCREMENT;
    m.counterDecrement = QUILLORA_CFG_CIPHER_COUNTER_DECREMENT;
    return m;
}

namespace {

uint32_t readLe32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void writeLe32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

CredentialCipher::CredentialCipher(const CipherKeyMaterial &material) : m_material(material)
{
    // Fold the key text into the initial key block: byte (i mod 8) takes the
    // character, raised by its round through the block and by the key offset.
    m_key = m_material.keyBlock;
    for (qsizetype i = 0; i < m_material.keyText.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(m_material.keyText.at(i));
        m_key[size_t(i % 8)] ^= uint8_t((c + unsigned(i / 8) + m_material.keyOffset) & 0xff);
    }
    // nettle ignores the parity bits and builds the schedule even for a weak key;
    // the return value only tells whether the key is weak.
    m_strong = des_set_key(&m_schedule, m_key.data()) == 1;
}

void CredentialCipher::step(Block &counter) const
{
    writeLe32(counter.data(), readLe32(counter.data()) + m_material.counterIncrement);
    writeLe32(counter.data() + 4, readLe32(counter.data() + 4) - m_material.counterDecrement);
}

CredentialCipher::Block CredentialCipher::encryptBlock(const Block &in) const
{
    Block out;
    des_encrypt(&m_schedule, DES_BLOCK_SIZE, out.data(), in.data());
    return out;
}

CredentialCipher::Block CredentialCipher::decryptBlock(const Block &in) const
{
    Block out;
    des_decrypt(&m_schedule, DES_BLOCK_SIZE, out.data(), in.data());
    return out;
}

QByteArray CredentialCipher::encipher(const QByteArray &text) const
{
    QByteArray out(text.size() + 8, Qt::Uninitialized);
    const Block header = encryptBlock(m_material.counterBlock);
    for (int i = 0; i < 8; ++i)
        out[i] = char(header[size_t(i)]);

    Block counter = m_material.counterBlock;
    Block keystream{};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i % 8 == 0) {
            step(counter);
            keystream = encryptBlock(counter);
        }
        out[8 + i] = char(uint8_t(text.at(i)) ^ keystream[size_t(i % 8)]);
    }
    return out;
}

QByteArray CredentialCipher::decipher(const QByteArray &bytes) const
{
    if (bytes.size() < 8)
        return QByteArray();
    Block header;
    for (int i = 0; i < 8; ++i)
        header[size_t(i)] = uint8_t(bytes.at(i));
    Block counter = decryptBlock(header);

    QByteArray out(bytes.size() - 8, Qt::Uninitialized);
    Block keystream{};
    for (qsizetype i = 8; i < bytes.size(); ++i) {
        if (i % 8 == 0) {
            step(counter);
            keystream = encryptBlock(counter);
        }
        out[i - 8] = char(uint8_t(bytes.at(i)) ^ keystream[size_t(i % 8)]);
    }
    return out;
}

} // namespace quillora::session
