// The command-line front end of the service proxy, as a function so that the
// argument rules and the output can be tested without a process.
#pragma once

#include "operations.h"
#include "soap_types.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillora::tools {

struct CallRequest {
    std::string endpoint; // empty: the compiled-in (or QUILLORA_SITE) endpoint
    std::optional<std::pair<std::string, std::string>> account;
    int repeat = 0; // 0: one call, results printed
    bool trace = false;
    bool list = false;
    bool help = false;
    bool version = false;
    const service::OperationDescriptor *op = nullptr;
    service::SoapValues in; // one per in-parameter, in wire order
};

// Parses the command line; on error returns nullopt and sets `error` to a
// one-line message.
std::optional<CallRequest> parseCallArguments(const std::vector<std::string> &args, std::string &error);

// The synopsis and options, as --help prints them.
std::string usageText();

// Every operation with its in- and out-parameters, one per line.
std::string operationListing();

// Traced bytes with the credentials of Authorization and Proxy-Authorization
// header lines hidden (the scheme stays, the rest reads "[redacted]"), so a
// trace can be shown to others.
std::string redactCredentials(std::string_view bytes);

// Runs the tool: 0 success, 1 a failed call, 2 bad arguments.
int runVarnelCall(const std::vector<std::string> &args, std::FILE *out, std::FILE *err);

} // namespace quillora::tools
