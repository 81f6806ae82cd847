// The small brace tag language of announcement titles, and its line layout.
//
//   {b} {strong}  bold          {em} {i}  italic       {u}  underline
//   {sup}         superscript   {sub}     subscript
//   {br}          new line      {p}       new paragraph (1.5 lines down)
//   {font color=#RRGGBB} ... {/font}      text colour, on a stack of 8
//
// Tag names match case-insensitively by prefix ({big} is {b}, {pre} is {p});
// an opening tag that is unknown or badly formed is drawn as a word, braces
// included; an unknown closing tag is dropped.
//
// Tokenising and layout are kept apart from painting: the layout places every
// word against a small font-metrics interface, so the painter (src/ui) only
// draws what the layout placed, and measuring needs no screen.
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace quillora::forum::markup {

// Style bits; one font per combination.
enum StyleBit : int {
    Bold = 1,
    Italic = 2,
    Underline = 4,
    Superscript = 8,
    Subscript = 16,
};
inline constexpr int kStyleCount = 32;
inline constexpr int kColorStackDepth = 8;

// 0xRRGGBB; an unset colour means the colour the drawing started with.
using Color = std::optional<unsigned int>;

struct Token {
    enum Kind {
        Word,      // text (may be a malformed tag drawn literally)
        StyleOn,   // style = the bit
        StyleOff,  // style = the bit
        LineBreak, // {br}
        Paragraph, // {p}
        PushColor, // color = the colour to set
        PopColor,  // {/font}
        Nothing,   // a closing tag with no effect ({/br}, {/p})
    };
    Kind kind = Word;
    QString text;             // the word
    int style = 0;            // for StyleOn/StyleOff
    unsigned int color = 0;   // for PushColor
    bool spaceBefore = false; // white space precedes this word (words only)
};

// Splits the text into tokens and settles the white space: a word carries
// spaceBefore when white space separated it from the previous word, counted
// once across tags, and never right after {br} or {p}.
QList<Token> tokenize(QStringView text);

// The colour stack: up to eight saved colours. A push when full sets the
// colour without saving it; a pop from an empty stack gives back the colour
// that was saved first (the starting colour when nothing was ever saved).
class ColorStack {
  public:
    explicit ColorStack(Color start = {}) : m_current(start), m_start(start) {}
    void push(unsigned int rgb);
    void pop();
    Color current() const { return m_current; }
    int depth() const { return m_depth; }

  private:
    Color m_saved[kColorStackDepth];
    int m_depth = 0;
    bool m_everSaved = false;
    Color m_current;
    Color m_start;
};

// What the layout needs to know of fonts. Widths are in the font of the given
// style, derived from the starting font.
class FontMetricsSource {
  public:
    virtual ~FontMetricsSource() = default;
    // Height of a line in the starting font (of the text "Åy").
    virtual int lineHeight() const = 0;
    virtual int textWidth(const QString &text, int style) const = 0;
};

struct LayoutOptions {
    int availableWidth = 0;
    bool wordBreak = false;
    bool singleLine = false; // {br} and {p} are ignored, words never wrap
};

struct PlacedWord {
    QString text;
    int style = 0;
    Color color;
    int x = 0; // from the left of the drawing area
    int y = 0; // top of the word's line
    int width = 0;
    // An underlined blank drawn right before the word, so that the underline
    // runs on across the gap between two underlined words.
    bool underlinedSpace = false;
    int spaceWidth = 0;
};

struct MarkupLayout {
    QList<PlacedWord> words;
    int lineHeight = 0;
    int lastLineOffset = 0; // y of the last line: total height minus one line
    int widest = 0;         // the widest line
    int availableWidth = 0; // as grown by words that did not fit

    int height() const { return lastLineOffset + lineHeight; }
};

MarkupLayout layoutMarkup(QStringView text, const FontMetricsSource &metrics, const LayoutOptions &options);

// The plain text of a markup string, tags removed and each run of white space
// kept as one blank (for accessibility names and tooltips).
QString plainText(QStringView text);

} // namespace quillora::forum::markup
