#include "sql_engine.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace varnel::sql {

Query Connection::query(const std::string &sql)
{
    const auto it = m_cache.find(sql);
    if (it != m_cache.end() && !it->second->inUse)
        return Query(it->second.get(), nullptr);
    std::unique_ptr<Statement> statement = prepare(sql);
    if (it == m_cache.end() && m_cache.size() < kCacheLimit) {
        Statement *kept = statement.get();
        m_cache.emplace(sql, std::move(statement));
        return Query(kept, nullptr);
    }
    statement->transient = true;
    Statement *borrowed = statement.get();
    return Query(borrowed, std::move(statement));
}

namespace {

bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Length of a quoted part starting at `i` ('text', "name" or $$body$$), or 0.
size_t quotedLength(const std::string &sql, size_t i)
{
    const char c = sql[i];
    if (c == '\'' || c == '"') {
        size_t j = i + 1;
        while (j < sql.size()) {
            if (sql[j] == c) {
                if (j + 1 < sql.size() && sql[j + 1] == c) {
                    j += 2; // a doubled quote stays inside
                    continue;
                }
                return j + 1 - i;
            }
            ++j;
        }
        return sql.size() - i;
    }
    if (c == '$' && i + 1 < sql.size() && sql[i + 1] == '$') {
        const size_t end = sql.find("$$", i + 2);
        return end == std::string::npos ? sql.size() - i : end + 2 - i;
    }
    return 0;
}

bool wordAt(const std::string &sql, size_t i, const char *word)
{
    const size_t n = std::strlen(word);
    if (sql.compare(i, n, word) != 0)
        return false;
    if (i > 0 && isWordChar(sql[i - 1]))
        return false;
    return i + n >= sql.size() || !isWordChar(sql[i + n]);
}

// Reads a parameter at `i` ('?' with optional digits); returns its number
// and moves `i` past it.
int readParameter(const std::string &sql, size_t &i, int &highest)
{
    ++i;
    int number = 0;
    bool digits = false;
    while (i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i]))) {
        number = number * 10 + (sql[i] - '0');
        digits = true;
        ++i;
    }
    if (!digits)
        number = highest + 1;
    highest = std::max(highest, number);
    return number;
}

} // namespace

std::vector<bool> parametersUsed(const std::string &sql)
{
    std::vector<bool> used(1, false);
    int highest = 0;
    for (size_t i = 0; i < sql.size();) {
        if (const size_t quoted = quotedLength(sql, i)) {
            i += quoted;
        } else if (sql[i] == '?') {
            const int number = readParameter(sql, i, highest);
            if (used.size() <= static_cast<size_t>(number))
                used.resize(static_cast<size_t>(number) + 1, false);
            used[static_cast<size_t>(number)] = true;
        } else {
            ++i;
        }
    }
    return used;
}

std::string translate(const std::string &sql, Dialect dialect)
{
    std::string out;
    out.reserve(sql.size() + 16);
    // Closing parentheses of NOCASE( that SQLite drops, by nesting depth.
    std::vector<bool> dropClose;
    int highest = 0;
    for (size_t i = 0; i < sql.size();) {
        if (const size_t quoted = quotedLength(sql, i)) {
            out.append(sql, i, quoted);
            i += quoted;
            continue;
        }
        const char c = sql[i];
        if (wordAt(sql, i, "NOCASE") && i + 6 < sql.size() && sql[i + 6] == '(') {
            // SQLite: the column's own NOCASE collation applies to the bare
            // expression (and keeps its index usable); PostgreSQL: an
            // immutable function folding ASCII letters only, as SQLite does.
            if (dialect == Dialect::Sqlite) {
                dropClose.push_back(true);
            } else {
                out += "ascii_lower(";
                dropClose.push_back(false);
            }
            i += 7;
            continue;
        }
        if (c == '(') {
            dropClose.push_back(false);
        } else if (c == ')') {
            const bool drop = !dropClose.empty() && dropClose.back();
            if (!dropClose.empty())
                dropClose.pop_back();
            if (drop) {
                ++i;
                continue;
            }
        }
        if (dialect == Dialect::Postgres) {
            if (c == '?') {
                out += '$';
                out += std::to_string(readParameter(sql, i, highest));
                continue;
            }
            if (wordAt(sql, i, "INTEGER")) {
                out += "BIGINT";
                i += 7;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

} // namespace varnel::sql
