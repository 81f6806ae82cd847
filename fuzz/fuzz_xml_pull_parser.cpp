// Differential check of the pull parser against Qt's XML reader: whatever our
// parser accepts, Qt's must accept too, with the same tokens and attributes.
// (Ours refuses more: DTDs, for one.) Ours reads every input, up to the 1 MiB
// an answer may be, within the per-input time limit; Qt's reader, which looks
// namespaces up along all declarations in scope, is asked only about inputs
// of up to 64 KiB, so that its own slowness is no finding.
#include "../tests/service/xml_token_dump.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

using namespace quillora::service::testing;

namespace {
constexpr size_t kComparedUpTo = 64 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool ns = data[0] & 1;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    const QString ours = dumpOurs(text, ns);
    if (ours == QStringLiteral("ERROR") || !ns || size > kComparedUpTo)
        return 0;
    const QString qt = dumpQt(text);
    if (qt != ours) {
        std::fprintf(stderr, "ours:\n%s\nqt:\n%s\n", qPrintable(ours), qPrintable(qt));
        __builtin_trap();
    }
    return 0;
}
