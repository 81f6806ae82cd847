// CommunityStore on one SQLite file in WAL mode: the community rules of
// SqlCommunityStore over the SQLite engine (see sql/sqlite_engine.h).
// Passwords are sealed with the key in `<db>.key` (or settings.keyFile).
#pragma once

#include "sql_community_store.h"

#include <memory>
#include <string>

namespace varnel {

class SqliteCommunityStore final : public SqlCommunityStore {
  public:
    // Opens or creates the database and brings its schema up to the current
    // version; nullptr with `error` set when that fails.
    static std::unique_ptr<SqliteCommunityStore> open(const std::string &path, CommunitySettings settings,
                                                      std::string &error);

  private:
    using SqlCommunityStore::SqlCommunityStore;
};

} // namespace varnel
