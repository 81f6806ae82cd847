// Announcement titles come from the server: any bytes into the markup
// tokenizer and layout. Checks that the layout stays consistent.
#include "markup_text.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace quillora::forum::markup;

class FixedMetrics : public FontMetricsSource {
  public:
    int lineHeight() const override { return 13; }
    int textWidth(const QString &text, int style) const override
    {
        return int(text.size()) * ((style & Bold) ? 8 : (style & (Superscript | Subscript)) ? 5 : 7);
    }
};

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int width = data[0] * 4;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    FixedMetrics metrics;
    for (int mode = 0; mode < 3; ++mode) {
        const MarkupLayout layout = layoutMarkup(text, metrics, LayoutOptions{width, mode == 1, mode == 2});
        int lastY = 0;
        int widest = 0;
        for (const PlacedWord &word : layout.words) {
            check(!word.text.isEmpty());
            check(word.x >= 0 && word.y >= lastY);
            check(word.style >= 0 && word.style < kStyleCount);
            check(mode != 2 || word.y == 0);
            lastY = word.y;
            widest = std::max(widest, word.x + word.width);
        }
        check(layout.widest == widest);
        check(layout.lastLineOffset >= lastY);
        check(layout.availableWidth >= width);
    }
    (void)plainText(text);
    return 0;
}
