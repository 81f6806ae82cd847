// The engine on a PostgreSQL database shared by several servers.
//
// Writes run at SERIALIZABLE and run again when they lose a race with
// another server (serialization failure, deadlock), so closing, paying and
// delivering stay exactly-once across servers. Reads see one consistent
// snapshot (REPEATABLE READ, read only). Presence, bindings and rate events
// are UNLOGGED tables in the schema `live` of the same database, written at
// READ COMMITTED. Each connection prepares a statement text once.
//
// listGeneration: a write that changed rows sends NOTIFY varnel_lists in its
// transaction; a connection of each server LISTENs on a thread of its own and
// moves the generation when any server's write commits.
#pragma once

#include "sql_engine.h"

#include <chrono>
#include <memory>
#include <string>

namespace varnel::sql {

struct PostgresOptions {
    // A postgresql:// or postgres:// address, as libpq reads it. Without an
    // sslmode or gssencmode of its own, neither is tried (a loopback or
    // private network is assumed; say sslmode=require otherwise).
    std::string url;
    bool durable = true; // synchronous_commit stays on
    // How long a writer keeps trying (waiting for a connection, for a lock,
    // or running again after lost races) before it gives up unchanged.
    std::chrono::milliseconds writerPatience{9000};
    // Connections this server opens at most (besides its listener).
    int connectionLimit = 16;
};

// true for the addresses that select this engine.
bool isPostgresUrl(const std::string &db);

// Connects once to check the address; nullptr with `error` set when that fails.
std::unique_ptr<Engine> openPostgresEngine(const PostgresOptions &options, std::string &error);

} // namespace varnel::sql
