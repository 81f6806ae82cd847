// Limits on guessing passwords, shared by the service's sign-in, the
// moderators' login and the site's pages that take a member's password:
// failed tries per address per hour, and per account a growing wait after
// the first few failures in a row. The counters are kept by the store (its
// live tables), so several servers on one store share them and a failure
// neither queues behind the writers nor waits for the disk.
//
// A try is counted before its password is checked, in the same step as the
// check of the limits, so that tries made at the same moment see each other:
// however many arrive at once, no more passwords are checked than the limits
// allow. A try whose password was right is given back.
#pragma once

#include "community_store.h"

#include <cstdint>
#include <functional>
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

    // The counter an account's failures go to. The pages that take a user ID
    // and password count apart from the sign-in by user name, so that guesses
    // at the pages never make the member's client wait to sign in.
    struct Account {
        std::string kind;
        std::string key;
        // The service's sign-in and the moderators' login (names compare
        // ignoring ASCII case; blanks around are not part of them).
        static Account byUserName(const std::string &userName);
        // The site's pages that act for a member (USRID and USRPSW); 0 for
        // an ID that names nobody.
        static Account memberPages(int userID);
    };

    struct Refusal {
        bool byAddress = false;   // else the account waits
        std::int64_t seconds = 0; // until the next try is taken
    };

    // Takes a try from `address` (counted under its limitGroup()) on
    // `account`: nothing when its password may be checked now. Until
    // succeeded() it stands as a failure. `ownAddress`, asked only when the
    // account would have to wait, tells whether the try comes from where the
    // member is signed in: his own client is not made to wait for strangers'
    // guesses (the address limit still applies).
    std::optional<Refusal> begin(const std::string &address, const Account &account,
                                 const std::function<bool()> &ownAddress = {});
    // The password was right: the try is given back and the account's
    // failures are forgotten (unless the try came from the member's own
    // address past a wait, which strangers' failures must outlast).
    void succeeded();

    // The wait after `failures` failures in a row of one account.
    static std::int64_t accountDelay(int failures, int free);

  private:
    CommunityStore &m_store;
    SignInLimits m_limits;
    std::string m_group;
    Account m_account;
    std::optional<Timestamp> m_addressTaken; // when the try was counted against the address
    bool m_exempt = false;
};

// "try again in 3 minutes".
std::string tryAgainIn(std::int64_t seconds);

} // namespace varnel
