// The engine on one SQLite file in WAL mode.
//
// Each operation borrows a connection from a small pool for its length; a
// write is BEGIN IMMEDIATE, so concurrent writers queue instead of
// interleaving, and with synchronous=FULL a commit is on disk before the call
// returns. Presence, sign-in bindings and rate events live in a companion
// file, `<db>-live`, written without waiting for the disk or for the writers;
// read connections attach it as `live`.
#pragma once

#include "sql_engine.h"

#include <chrono>
#include <memory>
#include <string>

namespace varnel::sql {

struct SqliteOptions {
    std::string path;
    bool durable = true; // synchronous=FULL on the community file
    // How long a writer of this process waits for its turn.
    std::chrono::milliseconds writerPatience{9000};
};

std::unique_ptr<Engine> openSqliteEngine(const SqliteOptions &options);

} // namespace varnel::sql
