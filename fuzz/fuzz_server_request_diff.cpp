// Request bodies into varnel-server's request reader and into the reference
// reader on Qt's XML stream reader: they must read the same request (the
// operation, the credential, every value) or refuse with the same fault code;
// the server's reader may only be stricter about what is well-formed XML.
// The server's reader takes every body up to 1 MiB within the per-input time
// limit; the reference, on Qt's reader (slow on many namespace declarations),
// only those of up to 64 KiB.
#include "request_reader_diff.h"
#include "site_config.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString ns = quillora::service::serviceNamespace(QStringLiteral("127.0.0.1"));
    const QByteArray body(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (size > 64 * 1024) {
        varnel::readSoapRequest(body, ns);
        return 0;
    }
    if (const auto diff = varnel::testing::disagreement(body, ns)) {
        std::fprintf(stderr, "%s\n", diff->c_str());
        __builtin_trap();
    }
    return 0;
}
