// Answers of the question lists, kept rendered: many clients ask for the same
// pages of the same columns, and between two writes every one of them gets
// the same bytes. An answer is good while the store's list generation is the
// one it was rendered at and for a short lifetime after that, which bounds how
// long a question can still show "Open" after the clock made it overdue (no
// write marks that moment).
#pragma once

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace varnel {

class ListAnswerCache {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ListAnswerCache(size_t capacity = 256,
                             std::chrono::milliseconds lifetime = std::chrono::milliseconds(1000),
                             size_t largestAnswer = 256 * 1024);

    // The answer kept for `key`, if it was rendered at `generation` and has
    // not outlived its lifetime.
    std::optional<QByteArray> find(const std::string &key, std::uint64_t generation);

    // `generation` must have been read before the store was asked for the
    // rows: a write that lands in between then makes the answer stale at once
    // instead of hiding that write.
    void keep(const std::string &key, std::uint64_t generation, const QByteArray &answer);

    size_t size() const;

  private:
    struct Entry {
        std::uint64_t generation = 0;
        Clock::time_point expires;
        QByteArray answer;
    };

    const size_t m_capacity;
    const std::chrono::milliseconds m_lifetime;
    const size_t m_largestAnswer;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
};

} // namespace varnel
