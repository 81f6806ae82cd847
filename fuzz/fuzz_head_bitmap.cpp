// Downloaded head pictures into the check that decides whether the bytes may
// become a cached picture. An accepted file must hold its whole pixel data.
#include "session/head_images.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (quillora::session::isCustomFaceBitmap(bytes) && (bytes.size() < 26 || !bytes.startsWith("BM")))
        __builtin_trap();
    return 0;
}
