#include "config_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace varnel::config {
namespace {

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool validKey(const std::string &key)
{
    if (key.empty() || key.front() == '-')
        return false;
    return std::all_of(key.begin(), key.end(),
                       [](unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; });
}

} // namespace

bool readConfigArguments(std::istream &in, std::vector<std::string> &words, std::string &error)
{
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string text = trimmed(line);
        if (text.empty() || text.front() == '#' || text.front() == ';')
            continue;
        const auto where = "line " + std::to_string(number) + ": ";
        const auto eq = text.find('=');
        if (eq == std::string::npos) {
            error = where + "expected key = value";
            return false;
        }
        const std::string key = trimmed(text.substr(0, eq));
        const std::string value = trimmed(text.substr(eq + 1));
        if (!validKey(key)) {
            error = where + "bad key \"" + key + "\"";
            return false;
        }
        // A file naming another file would let one configuration pull in
        // any other the reader can see; keep to one level.
        if (key == "config") {
            error = where + "a configuration file cannot name another";
            return false;
        }
        const std::string flag = lowered(value);
        if (flag == "yes" || flag == "true" || flag == "on") {
            words.push_back("--" + key);
        } else if (flag == "no" || flag == "false" || flag == "off") {
            continue;
        } else if (value.empty()) {
            error = where + "no value for " + key;
            return false;
        } else {
            words.push_back("--" + key);
            words.push_back(value);
        }
    }
    if (in.bad()) {
        error = "read error";
        return false;
    }
    return true;
}

bool expandConfigFiles(int argc, const char *const *argv, std::vector<std::string> &words, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg != "--config") {
            words.push_back(arg);
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value after --config";
            return false;
        }
        const std::string path = argv[++i];
        std::ifstream file(path);
        if (!file) {
            error = "cannot read configuration file " + path;
            return false;
        }
        std::string lineError;
        if (!readConfigArguments(file, words, lineError)) {
            error = path + ": " + lineError;
            return false;
        }
    }
    return true;
}

} // namespace varnel::config
