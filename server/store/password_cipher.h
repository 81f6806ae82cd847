// Members' passwords at rest: AES-256-GCM with a key kept in a file beside
// the database. The protocol hands a password back to its owner on sign-in,
// so it is encrypted rather than hashed; a stolen database file alone gives
// nothing away.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace varnel {

class PasswordCipher {
  public:
    static constexpr size_t kKeySize = 32;
    using Key = std::array<std::uint8_t, kKeySize>;

    explicit PasswordCipher(const Key &key) : m_key(key) {}

    // Reads the key file, or creates it (owner read/write only, never
    // following a link) with a fresh random key when it does not exist.
    // nullptr with `error` set when the file cannot be read or made, or
    // holds something other than a key.
    static std::unique_ptr<PasswordCipher> fromKeyFile(const std::string &path, std::string &error);

    // "$gcm1$" and base64 of nonce, cipher text and tag; a fresh nonce each time.
    std::string seal(const std::string &plain) const;
    // The password, or nothing when `sealed` was not sealed with this key.
    std::optional<std::string> open(const std::string &sealed) const;

    static bool isSealed(const std::string &text);

  private:
    Key m_key;
};

// Compares without stopping at the first difference.
bool sameSecret(const std::string &a, const std::string &b);

} // namespace varnel
