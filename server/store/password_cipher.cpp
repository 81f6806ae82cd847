#include "password_cipher.h"

#include <nettle/base64.h>
#include <nettle/gcm.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace varnel {

namespace {

constexpr char kPrefix[] = "$gcm1$";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kNonceSize = 12;

bool fillRandom(std::uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t got = getrandom(data, size, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

std::string base64(const std::vector<std::uint8_t> &bytes)
{
    std::string out(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    base64_encode_raw(out.data(), bytes.size(), bytes.data());
    return out;
}

std::optional<std::vector<std::uint8_t>> unbase64(const std::string &text)
{
    std::vector<std::uint8_t> out(BASE64_DECODE_LENGTH(text.size()));
    base64_decode_ctx ctx;
    base64_decode_init(&ctx);
    size_t length = out.size();
    if (!base64_decode_update(&ctx, &length, out.data(), text.size(), text.data()) || !base64_decode_final(&ctx))
        return std::nullopt;
    out.resize(length);
    return out;
}

} // namespace

bool sameSecret(const std::string &a, const std::string &b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned char>(x ^ y);
    }
    return diff == 0;
}

bool PasswordCipher::isSealed(const std::string &text)
{
    return text.compare(0, kPrefixLength, kPrefix) == 0;
}

std::unique_ptr<PasswordCipher> PasswordCipher::fromKeyFile(const std::string &path, std::string &error)
{
    Key key{};
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        if (!fillRandom(key.data(), key.size())) {
            error = "no random numbers for a new key";
            return nullptr;
        }
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd < 0) {
            error = "cannot create key file " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        const bool written = ::write(fd, key.data(), key.size()) == static_cast<ssize_t>(key.size());
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!written || !synced) {
            ::unlink(path.c_str());
            error = "cannot write key file " + path;
            return nullptr;
        }
        return std::make_unique<PasswordCipher>(key);
    }
    if (fd < 0) {
        error = "cannot open key file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(kKeySize)) {
        ::close(fd);
        error = "key file " + path + " does not hold a key of " + std::to_string(kKeySize) + " bytes";
        return nullptr;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        error = "key file " + path + " may be read by others; make it owner-only (chmod 600)";
        return nullptr;
    }
    const ssize_t got = ::read(fd, key.data(), key.size());
    ::close(fd);
    if (got != static_cast<ssize_t>(key.size())) {
        error = "cannot read key file " + path;
        return nullptr;
    }
    return std::make_unique<PasswordCipher>(key);
}

std::string PasswordCipher::seal(const std::string &plain) const
{
    std::vector<std::uint8_t> out(kNonceSize + plain.size() + GCM_DIGEST_SIZE);
    if (!fillRandom(out.data(), kNonceSize))
        throw std::runtime_error("no random numbers for a nonce");
    gcm_aes256_ctx ctx;
    gcm_aes256_set_key(&ctx, m_key.data());
    gcm_aes256_set_iv(&ctx, kNonceSize, out.data());
    gcm_aes256_encrypt(&ctx, plain.size(), out.data() + kNonceSize,
                       reinterpret_cast<const std::uint8_t *>(plain.data()));
    gcm_aes256_digest(&ctx, GCM_DIGEST_SIZE, out.data() + kNonceSize + plain.size());
    return kPrefix + base64(out);
}

std::optional<std::string> PasswordCipher::open(const std::string &sealed) const
{
    if (!isSealed(sealed))
        return std::nullopt;
    const auto bytes = unbase64(sealed.substr(kPrefixLength));
    if (!bytes || bytes->size() < kNonceSize + GCM_DIGEST_SIZE)
        return std::nullopt;
    const size_t length = bytes->size() - kNonceSize - GCM_DIGEST_SIZE;
    std::string plain(length, '\0');
    gcm_aes256_ctx ctx;
    gcm_aes256_set_key(&ctx, m_key.data());
    gcm_aes256_set_iv(&ctx, kNonceSize, bytes->data());
    gcm_aes256_decrypt(&ctx, length, reinterpret_cast<std::uint8_t *>(plain.data()), bytes->data() + kNonceSize);
    std::uint8_t tag[GCM_DIGEST_SIZE];
    gcm_aes256_digest(&ctx, GCM_DIGEST_SIZE, tag);
    unsigned char diff = 0;
    for (size_t i = 0; i < GCM_DIGEST_SIZE; ++i)
        diff |= static_cast<unsigned char>(tag[i] ^ (*bytes)[kNonceSize + length + i]);
    if (diff != 0)
        return std::nullopt;
    return plain;
}

} // namespace varnel
