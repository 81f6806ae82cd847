// The server's settings, read from its command line (after every
// "--config FILE" was replaced by the file's options): what it serves, where,
// and under which limits. Each option has a sound default; a value out of its
// range is refused rather than clamped.
#pragma once

#include "community_rules.h"
#include "connection.h"
#include "varnel_service.h"

#include <ostream>
#include <string>

namespace varnel::config {

struct ServerOptions {
    std::string listen = "127.0.0.1";
    int port = 8080;
    std::string host; // default: the listen address
    std::string db;
    std::string files;
    std::string log;
    std::string account; // NAME:SECRET
    std::string latestVersion = "3.5.0.1";
    bool demo = false;
    bool remoteDemo = false; // --demo on an address others can reach
    std::string keyFile;
    GuardSettings guard;
    ConnectionLimits connections;
    std::string tlsCert;
    std::string tlsKey;
    int redirectPort = -1; // none
    CommunitySettings settings;
};

// The usage text, for --help and after a bad command line.
void printUsage(std::ostream &out);

// Fills `o` from argv[1..]; false with `error` on a bad command line.
// --help and --version print their text and end the process.
bool parseServerOptions(int argc, char **argv, ServerOptions &o, std::string &error);

} // namespace varnel::config
