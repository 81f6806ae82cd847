// What one caller may make the store do with the question lists and searches
// that no rendered answer serves. Each address (its limitGroup()) has a
// budget of milliseconds of such work: it fills at a steady rate up to
// kBurstSeconds of that rate, and every read that reaches the store spends
// what it took (at least a millisecond). An address whose budget is spent is
// refused until it has filled again, so one caller cannot keep the store busy
// by changing the page or the keyword of each call, while members, even many
// behind one address, never meet the limit. Measured work rather than a count
// of calls: a title search over every column costs what it costs, a page of
// a column next to nothing.
//
// Each server keeps its own budgets, in memory, for a bounded number of
// addresses (past that, new addresses share one budget until old ones have
// filled up again and are forgotten).
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace varnel {

class ReadBudget {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kBurstSeconds = 30;
    static constexpr size_t kMaxAddresses = 100000;

    // `msPerSecond` 0: no limit.
    explicit ReadBudget(int msPerSecond) : m_rate(msPerSecond) {}

    // Nothing when `group` may read now; else the whole seconds until it may.
    std::optional<std::int64_t> admit(const std::string &group, Clock::time_point now = Clock::now());
    // `group` had the store work for `spent`.
    void spend(const std::string &group, Clock::duration spent, Clock::time_point now = Clock::now());

    size_t addresses() const;

  private:
    struct Budget {
        double ms = 0; // below 0 when the last read took more than was left
        Clock::time_point filled;
    };
    double capacity() const { return static_cast<double>(m_rate) * kBurstSeconds; }
    Budget &budgetOf(const std::string &group, Clock::time_point now);
    void forgetFull(Clock::time_point now);

    const int m_rate;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Budget> m_budgets;
    Clock::time_point m_lastSweep;
};

} // namespace varnel
