#include "sign_in_guard.h"

#include <algorithm>
#include <cctype>

namespace varnel {

namespace {
constexpr std::int64_t kDay = 24 * 3600;
constexpr char kAddressKind[] = "signin-fail";
constexpr char kAccountKind[] = "account-fail";
} // namespace

std::string tryAgainIn(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 1);
    if (seconds < 120)
        return "try again in " + std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
    return "try again in " + std::to_string((seconds + 59) / 60) + " minutes";
}

std::int64_t SignInGuard::accountDelay(int failures, int free)
{
    if (free <= 0 || failures < free)
        return 0;
    const int step = std::min(failures - free, 9);
    return std::min<std::int64_t>(std::int64_t{2} << step, 900);
}

std::string SignInGuard::accountKey(const std::string &userName)
{
    // User names compare ignoring ASCII case; blanks around are not part of them.
    const auto first = userName.find_first_not_of(" \t\r\n");
    const auto last = userName.find_last_not_of(" \t\r\n");
    std::string key = first == std::string::npos ? std::string() : userName.substr(first, last - first + 1);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

std::optional<SignInGuard::Refusal> SignInGuard::check(const std::string &address, const std::string &userName,
                                                       Timestamp now) const
{
    if (m_limits.failuresPerAddress > 0) {
        const EventCount byAddress = m_store.countEvents(kAddressKind, address, now - m_limits.windowSeconds);
        if (byAddress.count >= m_limits.failuresPerAddress)
            return Refusal{true, byAddress.oldest + m_limits.windowSeconds - now};
    }
    if (m_limits.freeFailuresPerAccount > 0) {
        const EventCount byAccount = m_store.countEvents(kAccountKind, accountKey(userName), now - kDay);
        const std::int64_t wait =
            byAccount.newest + accountDelay(byAccount.count, m_limits.freeFailuresPerAccount) - now;
        if (byAccount.count >= m_limits.freeFailuresPerAccount && wait > 0)
            return Refusal{false, wait};
    }
    return std::nullopt;
}

void SignInGuard::failed(const std::string &address, const std::string &userName) const
{
    if (m_limits.failuresPerAddress > 0)
        m_store.recordEvent(kAddressKind, address);
    if (m_limits.freeFailuresPerAccount > 0)
        m_store.recordEvent(kAccountKind, accountKey(userName));
}

void SignInGuard::succeeded(const std::string &userName) const
{
    if (m_limits.freeFailuresPerAccount > 0)
        m_store.clearEvents(kAccountKind, accountKey(userName));
}

} // namespace varnel
