// DrawMarkupText: draws the brace tag language of announcement titles
// ({b}, {i}, {u}, {sup}, {sub}, {br}, {p}, {font color=#RRGGBB}) on a QPainter.
// The words are placed by quillora::forum::markup::layoutMarkup (src/forum);
// this file only supplies the fonts and their metrics and paints.
#pragma once

#include "forum/markup_text.h"

#include <QFont>
#include <QString>

#include <array>
#include <optional>

class QPainter;
class QPaintDevice;
class QPoint;
class QRect;

namespace quillora::ui {

// Format flags of DrawMarkupText. Text is always left-aligned and never
// interprets prefix characters.
enum MarkupFormat : unsigned {
    MarkupBottom = 0x08,     // a subscript word sits at the bottom of its line
    MarkupWordBreak = 0x10,  // words that do not fit move to the next line
    MarkupSingleLine = 0x20, // {br} and {p} are ignored, nothing wraps
    MarkupCalcRect = 0x400,  // measure only: nothing is drawn, the rectangle is set to the extent
};

// The fonts of the 32 style combinations, derived from a starting font:
// bold weight for bold, italic and underline as given, 7/10 of the starting
// size for superscript and subscript. Each is made on first use.
class MarkupFonts {
  public:
    explicit MarkupFonts(const QFont &base) : m_base(base) {}
    const QFont &base() const { return m_base; }
    const QFont &font(int style);

  private:
    QFont m_base;
    std::array<std::optional<QFont>, forum::markup::kStyleCount> m_fonts;
};

// QFontMetrics for the layout, on the given paint device's resolution (or the
// screen's when none).
class QtMarkupMetrics : public forum::markup::FontMetricsSource {
  public:
    QtMarkupMetrics(MarkupFonts &fonts, QPaintDevice *device) : m_fonts(fonts), m_device(device) {}
    int lineHeight() const override;
    int textWidth(const QString &text, int style) const override;

  private:
    MarkupFonts &m_fonts;
    QPaintDevice *m_device;
};

// Draws (or with MarkupCalcRect measures) `length` characters of the text (-1:
// all) in the rectangle with the painter's font and pen colour. Returns the
// vertical offset of the last line (total height minus one line); 0 for an
// empty text. With MarkupCalcRect the rectangle's width becomes the widest
// line and its height the whole text's height.
int DrawMarkupText(QPainter *painter, const QString &text, int length, QRect *rect, unsigned format);
// Without a rectangle: from `position`, as wide as the device is to its right.
int DrawMarkupText(QPainter *painter, const QString &text, int length, const QPoint &position, unsigned format);

// Measures without a painter: the height the text takes in `width` pixels.
int MeasureMarkupText(const QFont &font, QPaintDevice *device, const QString &text, int width, unsigned format);

} // namespace quillora::ui
