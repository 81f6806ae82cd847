// The server's configuration file: one option a line, "key = value", the
// same options as the command line without their leading dashes. Blank lines
// and lines starting with '#' or ';' are ignored. "key = yes" (or true, on)
// turns on a switch such as "demo"; "key = no" (false, off) leaves it off.
//
//     # /etc/varnel-server/varnel-server.conf
//     listen = 127.0.0.1
//     port = 8080
//     db = /var/lib/varnel-server/community.db
//
// `--config FILE` on the command line reads such a file in place: options
// after it override the file's, options before it are overridden by them.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace varnel::config {

// The file's options as command-line words ("--port", "8080", "--demo").
// False with a message naming the line when a line is not "key = value".
bool readConfigArguments(std::istream &in, std::vector<std::string> &words, std::string &error);

// argv[1..] with every "--config FILE" replaced by the file's options. False
// with a message when a file cannot be read or has a bad line.
bool expandConfigFiles(int argc, const char *const *argv, std::vector<std::string> &words, std::string &error);

} // namespace varnel::config
