// Limits on guessing passwords, shared by the service's sign-in and the
// moderators' login: failed sign-ins per address per hour, and per account a
// growing wait after the first few failures in a row. The counters are kept
// by the store (its live file), so several servers on one store share them
// and a failure neither queues behind the writers nor waits for the disk.
#pragma once

#include "community_store.h"

#include <cstdint>
#include <optional>
#include <string>

namespace varnel {

struct SignInLimits {
    int failuresPerAddress = 20;       // per hour; 0: no limit
    int freeFailuresPerAccount = 3;    // then a wait from 2 s doubling to 15 min; 0: no wait
    std::int64_t windowSeconds = 3600; // of the per-address count
};

class SignInGuard {
  public:
    SignInGuard(CommunityStore &store, SignInLimits limits) : m_store(store), m_limits(limits) {}

    struct Refusal {
        bool byAddress = false;   // else the account waits
        std::int64_t seconds = 0; // until the next try is taken
    };
    // Nothing when a sign-in from `address` for `userName` may be tried now.
    std::optional<Refusal> check(const std::string &address, const std::string &userName, Timestamp now) const;
    void failed(const std::string &address, const std::string &userName) const;
    void succeeded(const std::string &userName) const;

    // The wait after `failures` failures in a row of one account.
    static std::int64_t accountDelay(int failures, int free);

  private:
    static std::string accountKey(const std::string &userName);

    CommunityStore &m_store;
    SignInLimits m_limits;
};

// "try again in 3 minutes".
std::string tryAgainIn(std::int64_t seconds);

} // namespace varnel
