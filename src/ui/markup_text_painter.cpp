#include "markup_text_painter.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPoint>
#include <QRect>

namespace quillora::ui {

using namespace forum::markup;

const QFont &MarkupFonts::font(int style)
{
    std::optional<QFont> &slot = m_fonts[size_t(style & (kStyleCount - 1))];
    if (!slot) {
        QFont font = m_base;
        font.setWeight((style & Bold) ? QFont::Bold : QFont::Normal);
        font.setItalic(style & Italic);
        font.setUnderline(style & Underline);
        if (style & (Superscript | Subscript)) {
            if (m_base.pixelSize() > 0)
                font.setPixelSize(std::max(1, m_base.pixelSize() * 7 / 10));
            else
                font.setPointSizeF(m_base.pointSizeF() * 7 / 10);
        }
        slot = font;
    }
    return *slot;
}

int QtMarkupMetrics::lineHeight() const
{
    const QFontMetrics metrics = m_device ? QFontMetrics(m_fonts.base(), m_device) : QFontMetrics(m_fonts.base());
    // A line is as high as a text of the starting font reaching from the top
    // of "Å" to the tail of "y": the font's ascent plus descent.
    return metrics.height();
}

int QtMarkupMetrics::textWidth(const QString &text, int style) const
{
    const QFont &font = m_fonts.font(style);
    const QFontMetrics metrics = m_device ? QFontMetrics(font, m_device) : QFontMetrics(font);
    return metrics.horizontalAdvance(text);
}

namespace {

int drawAt(QPainter *painter, const QString &text, int length, const QPoint &origin, int width, QRect *rect,
           unsigned format)
{
    const QString source = length < 0 ? text : text.left(length);
    MarkupFonts fonts(painter->font());
    QtMarkupMetrics metrics(fonts, painter->device());
    LayoutOptions options;
    options.availableWidth = width;
    options.wordBreak = format & MarkupWordBreak;
    options.singleLine = format & MarkupSingleLine;
    const MarkupLayout layout = layoutMarkup(source, metrics, options);

    if (format & MarkupCalcRect) {
        if (rect) {
            rect->setWidth(layout.widest);
            rect->setHeight(layout.height());
        }
        return layout.lastLineOffset;
    }

    painter->save();
    const QColor start = painter->pen().color();
    for (const PlacedWord &word : layout.words) {
        painter->setFont(fonts.font(word.style));
        painter->setPen(word.color ? QColor::fromRgb(QRgb(0xFF000000u | *word.color)) : start);
        const int top = origin.y() + word.y;
        const int left = origin.x() + word.x;
        const Qt::Alignment vertical =
            (word.style & Subscript) || (format & MarkupBottom) ? Qt::AlignBottom : Qt::AlignTop;
        // Not clipped to the word's box: an italic glyph leans past its
        // advance, and the next word never starts inside that overhang.
        const int flags = int(Qt::AlignLeft | vertical | Qt::TextSingleLine | Qt::TextDontClip);
        if (word.underlinedSpace)
            painter->drawText(QRect(left - word.spaceWidth, top, word.spaceWidth, layout.lineHeight), flags,
                              QStringLiteral(" "));
        painter->drawText(QRect(left, top, word.width + 1, layout.lineHeight), flags, word.text);
    }
    painter->restore();
    return layout.lastLineOffset;
}

} // namespace

int DrawMarkupText(QPainter *painter, const QString &text, int length, QRect *rect, unsigned format)
{
    if (!rect) {
        return DrawMarkupText(painter, text, length, QPoint(0, 0), format);
    }
    return drawAt(painter, text, length, rect->topLeft(), rect->width(), rect, format);
}

int DrawMarkupText(QPainter *painter, const QString &text, int length, const QPoint &position, unsigned format)
{
    const int deviceWidth = painter->device() ? painter->device()->width() : 0;
    return drawAt(painter, text, length, position, deviceWidth - position.x(), nullptr, format);
}

int MeasureMarkupText(const QFont &font, QPaintDevice *device, const QString &text, int width, unsigned format)
{
    MarkupFonts fonts(font);
    QtMarkupMetrics metrics(fonts, device);
    LayoutOptions options;
    options.availableWidth = width;
    options.wordBreak = format & MarkupWordBreak;
    options.singleLine = format & MarkupSingleLine;
    return layoutMarkup(text, metrics, options).height();
}

} // namespace quillora::ui
