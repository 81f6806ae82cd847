// varnel-call: calls any VarnelServices operation from the command line,
// through the same proxy as the client.
//
//   varnel-call [--endpoint URL] [--account NAME:SECRET] [--repeat N] [--trace] OPERATION [name=value ...]
//   varnel-call --list
#include "varnel_call.h"

#include <cstdio>

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return quillora::tools::runVarnelCall(args, stdout, stderr);
}
