// Seeds an empty store with a lively, deterministic community for
// demonstrations and tests: members with known passwords, star experts who
// stay online, questions in all 41 columns (enough in some to need paging),
// answers, closed and overdue questions, announcements with markup in every
// zone, and messages waiting for the first member.
#pragma once

#include "community_store.h"

#include <functional>
#include <string>
#include <vector>

namespace varnel::demo {

struct DemoAccount {
    std::string userName;
    std::string password;
    std::string description; // "member", "star expert (Software)", "moderator"...
};

// `setNow` moves the store's clock; seeding walks it from 60 days before
// `now` up to `now`, so dates, overdue questions and presence look real.
// `siteUrl` is the site's base address ("http://host:port"), used by link
// announcements. Returns the accounts to print.
std::vector<DemoAccount> seedDemoCommunity(CommunityStore &store, const std::function<void(Timestamp)> &setNow,
                                           Timestamp now, const std::string &siteUrl);

// Columns that get enough questions to span several pages of 15.
inline constexpr int kBusyColumns[] = {1, 10, 20, 31};
inline constexpr int kMinQuestionsInBusyColumn = 44;
inline constexpr int kMinQuestionsInOtherColumn = 4;
// Messages waiting for the first demo member (more than one poll's worth).
inline constexpr int kMessagesForFirstMember = 12;

} // namespace varnel::demo
