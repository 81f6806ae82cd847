#include "read_budget.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {
// Addresses past the limit share this budget.
const std::string kOverflow = "(others)";
} // namespace

ReadBudget::Budget &ReadBudget::budgetOf(const std::string &group, Clock::time_point now)
{
    auto it = m_budgets.find(group);
    if (it == m_budgets.end()) {
        if (m_budgets.size() >= kMaxAddresses)
            forgetFull(now);
        const std::string &key = m_budgets.size() >= kMaxAddresses ? kOverflow : group;
        it = m_budgets.try_emplace(key, Budget{capacity(), now}).first;
    }
    Budget &b = it->second;
    const double seconds = std::chrono::duration<double>(now - b.filled).count();
    if (seconds > 0)
        b.ms = std::min(capacity(), b.ms + seconds * m_rate);
    b.filled = std::max(b.filled, now);
    return b;
}

// Forgets the addresses whose budgets are full again (they would start full
// anyway); at most once a second, so that a crowd of addresses in debt does
// not make every new one pay for a look over all of them.
void ReadBudget::forgetFull(Clock::time_point now)
{
    if (now - m_lastSweep < std::chrono::seconds(1))
        return;
    m_lastSweep = now;
    for (auto it = m_budgets.begin(); it != m_budgets.end();) {
        const double seconds = std::chrono::duration<double>(now - it->second.filled).count();
        if (it->second.ms + seconds * m_rate >= capacity())
            it = m_budgets.erase(it);
        else
            ++it;
    }
}

std::optional<std::int64_t> ReadBudget::admit(const std::string &group, Clock::time_point now)
{
    if (m_rate <= 0)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    const Budget &b = budgetOf(group, now);
    if (b.ms > 0)
        return std::nullopt;
    // Until the budget is above nothing again.
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(-b.ms / m_rate)));
}

void ReadBudget::spend(const std::string &group, Clock::duration spent, Clock::time_point now)
{
    if (m_rate <= 0)
        return;
    const double ms = std::max(1.0, std::chrono::duration<double, std::milli>(spent).count());
    std::lock_guard lock(m_mutex);
    Budget &b = budgetOf(group, now);
    // A debt is kept to at most one burst, so that a single dear read does
    // not shut the address out for longer than a burst takes to fill.
    b.ms = std::max(-capacity(), b.ms - ms);
}

size_t ReadBudget::addresses() const
{
    std::lock_guard lock(m_mutex);
    return m_budgets.size();
}

} // namespace varnel
