// Result documents from a server, into the one document reader every screen
// uses. Fields must never exceed the reader's count.
#include "result_document.h"

#include <cstddef>
#include <cstdint>

using namespace quillora::service;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    static const struct {
        const char16_t *tag;
        int max, fields;
    } readers[] = {{kUserTag, 1, kSignInUserFields},     {kUserTag, kZoneExpertsMax, kZoneExpertFields},
                   {kForumPostsTag, 100, kPostListFields}, {kMessageTag, kMessagesMax, kMessageFields},
                   {kForumPostTag, 1, 20}};
    for (const auto &r : readers) {
        const DocumentRecords d = readRecords(text, QStringView(r.tag), r.max, r.fields);
        if (static_cast<int>(d.records.size()) > r.max)
            __builtin_trap();
        for (const DocumentRecord &rec : d.records) {
            if (rec.size() > r.fields)
                __builtin_trap();
            int n = 0;
            for (int i = 0; i < r.fields; ++i)
                takeField(rec, i, n);
        }
    }
    DocumentStatus st;
    leadingInt(readFirstElementText(text, u"PKID", &st));
    return 0;
}
