// Bytes as a server or proxy sends them into the trace's credential filter.
// Every line survives (the same count of line ends), and the text after the
// name of a credential header never reaches the output unchanged.
#include "varnel_call.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view in(reinterpret_cast<const char *>(data), size);
    const std::string out = quillora::tools::redactCredentials(in);
    if (std::count(in.begin(), in.end(), '\n') != std::count(out.begin(), out.end(), '\n'))
        __builtin_trap();
    if (in.rfind("Authorization: Basic secret", 0) == 0 &&
        out.substr(0, out.find('\n')).find("secret") != std::string::npos)
        __builtin_trap();
    return 0;
}
