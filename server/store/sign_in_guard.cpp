#include "sign_in_guard.h"

#include "client_address.h"

#include <algorithm>
#include <cctype>

namespace varnel {

namespace {
constexpr std::int64_t kDay = 24 * 3600;
constexpr char kAddressKind[] = "signin-fail";
constexpr char kAccountKind[] = "account-fail";
constexpr char kPagesKind[] = "page-fail";
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

SignInGuard::Account SignInGuard::Account::byUserName(const std::string &userName)
{
    const auto first = userName.find_first_not_of(" \t\r\n");
    const auto last = userName.find_last_not_of(" \t\r\n");
    std::string key = first == std::string::npos ? std::string() : userName.substr(first, last - first + 1);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return {kAccountKind, key};
}

SignInGuard::Account SignInGuard::Account::memberPages(int userID)
{
    return {kPagesKind, std::to_string(userID)};
}

std::optional<SignInGuard::Refusal> SignInGuard::begin(const std::string &address, const Account &account,
                                                       const std::function<bool()> &ownAddress)
{
    m_group = limitGroup(address);
    m_account = account;
    m_addressTaken.reset();
    m_exempt = false;
    if (m_limits.failuresPerAddress > 0) {
        const EventCount byAddress =
            m_store.takeAllowance(kAddressKind, m_group, m_limits.failuresPerAddress, m_limits.windowSeconds);
        if (!byAddress.taken)
            return Refusal{true, byAddress.oldest + m_limits.windowSeconds - byAddress.now};
        m_addressTaken = byAddress.newest;
    }
    const int free = m_limits.freeFailuresPerAccount;
    if (free > 0) {
        const EventCount byAccount =
            m_store.takeEventIf(account.kind, account.key, kDay, [free](const EventCount &counted, Timestamp now) {
                return counted.count < free || counted.newest + accountDelay(counted.count, free) <= now;
            });
        if (!byAccount.taken) {
            if (ownAddress && ownAddress()) {
                m_exempt = true;
                return std::nullopt;
            }
            // A try refused for the account's wait is no failure of the address.
            if (m_addressTaken)
                m_store.dropEvent(kAddressKind, m_group, *m_addressTaken);
            m_addressTaken.reset();
            return Refusal{false, byAccount.newest + accountDelay(byAccount.count, free) - byAccount.now};
        }
    }
    return std::nullopt;
}

void SignInGuard::succeeded()
{
    if (m_addressTaken)
        m_store.dropEvent(kAddressKind, m_group, *m_addressTaken);
    m_addressTaken.reset();
    if (m_limits.freeFailuresPerAccount > 0 && !m_exempt)
        m_store.clearEvents(m_account.kind, m_account.key);
}

} // namespace varnel
