#include "sqlite_community_store.h"

#include "sql/sqlite_engine.h"

namespace varnel {

std::unique_ptr<SqliteCommunityStore> SqliteCommunityStore::open(const std::string &path, CommunitySettings settings,
                                                                 std::string &error)
{
    const std::string keyFile = settings.keyFile.empty() ? path + ".key" : settings.keyFile;
    auto cipher = PasswordCipher::fromKeyFile(keyFile, error);
    if (!cipher)
        return nullptr;
    auto engine = sql::openSqliteEngine({path, settings.durable, settings.writerPatience});
    std::unique_ptr<SqliteCommunityStore> store(
        new SqliteCommunityStore(std::move(engine), std::move(settings), std::move(cipher)));
    if (!store->start(error))
        return nullptr;
    return store;
}

} // namespace varnel
