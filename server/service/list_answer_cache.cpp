#include "list_answer_cache.h"

namespace varnel {

ListAnswerCache::ListAnswerCache(size_t capacity, std::chrono::milliseconds lifetime, size_t largestAnswer)
    : m_capacity(capacity), m_lifetime(lifetime), m_largestAnswer(largestAnswer)
{
}

std::optional<QByteArray> ListAnswerCache::find(const std::string &key, std::uint64_t generation)
{
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return std::nullopt;
    if (it->second.generation != generation || now >= it->second.expires) {
        m_entries.erase(it);
        return std::nullopt;
    }
    return it->second.answer; // shares the bytes, copies nothing
}

void ListAnswerCache::keep(const std::string &key, std::uint64_t generation, const QByteArray &answer)
{
    if (m_capacity == 0 || static_cast<size_t>(answer.size()) > m_largestAnswer)
        return;
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    if (m_entries.size() >= m_capacity && !m_entries.contains(key)) {
        // Full: drop what can no longer be served, and if that frees nothing,
        // everything (the hot pages come back with the next calls).
        std::erase_if(m_entries,
                      [&](const auto &e) { return e.second.generation != generation || now >= e.second.expires; });
        if (m_entries.size() >= m_capacity)
            m_entries.clear();
    }
    Entry &e = m_entries[key];
    // An answer rendered at an older generation never replaces a newer one.
    if (!e.answer.isNull() && e.generation > generation)
        return;
    e.generation = generation;
    e.expires = now + m_lifetime;
    e.answer = answer;
}

size_t ListAnswerCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

} // namespace varnel
