#include "markup_text.h"

#include <algorithm>

namespace quillora::forum::markup {

namespace {

enum class TagName { Unknown, Bold, Strong, Em, Italic, Underline, Sup, Sub, Br, P, Font };

struct TagEntry {
    const char *name;
    TagName tag;
};

// In table order; matched from the last row to the first so that longer
// names sharing a first letter ("br", "strong", "sub") win over "b" and "s".
constexpr TagEntry kTags[] = {
    {"b", TagName::Bold},      {"strong", TagName::Strong}, {"em", TagName::Em},   {"i", TagName::Italic},
    {"u", TagName::Underline}, {"sup", TagName::Sup},       {"sub", TagName::Sub}, {"br", TagName::Br},
    {"p", TagName::P},         {"font", TagName::Font},
};

bool isBlank(QChar c)
{
    return c.isSpace();
}

TagName matchTagName(QStringView name)
{
    for (int i = int(std::size(kTags)) - 1; i >= 0; --i) {
        if (name.startsWith(QLatin1String(kTags[i].name), Qt::CaseInsensitive))
            return kTags[i].tag;
    }
    return TagName::Unknown;
}

int styleOf(TagName tag)
{
    switch (tag) {
    case TagName::Bold:
    case TagName::Strong:
        return Bold;
    case TagName::Em:
    case TagName::Italic:
        return Italic;
    case TagName::Underline:
        return Underline;
    case TagName::Sup:
        return Superscript;
    case TagName::Sub:
        return Subscript;
    default:
        return 0;
    }
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Reads " color=['"][#]RRGGBB['"]}" at pos (right after the name "font").
// Returns the position after "}" and the colour, or -1.
qsizetype readFontAttributes(QStringView text, qsizetype pos, unsigned int &rgb)
{
    const auto n = text.size();
    if (pos >= n || text[pos] != u' ')
        return -1;
    ++pos;
    const QLatin1String color("color=");
    if (!text.mid(pos).startsWith(color, Qt::CaseInsensitive))
        return -1;
    pos += color.size();
    QChar quote;
    if (pos < n && (text[pos] == u'"' || text[pos] == u'\'')) {
        quote = text[pos];
        ++pos;
    }
    if (pos < n && text[pos] == u'#')
        ++pos;
    unsigned int value = 0;
    for (int i = 0; i < 6; ++i, ++pos) {
        const int digit = pos < n ? hexValue(text[pos]) : -1;
        if (digit < 0)
            return -1;
        value = value * 16 + unsigned(digit);
    }
    if (!quote.isNull() && pos < n && text[pos] == quote)
        ++pos;
    if (pos >= n || text[pos] != u'}')
        return -1;
    rgb = value;
    return pos + 1;
}

// Tries to read a tag at text[pos] == '{'. On success fills the token and
// returns the position after the tag; returns -1 when this is not a tag (the
// text is then a word). An unknown closing tag gives a Nothing token.
qsizetype readTag(QStringView text, qsizetype pos, Token &token)
{
    const auto n = text.size();
    qsizetype p = pos + 1;
    const bool closing = p < n && text[p] == u'/';
    if (closing)
        ++p;
    const qsizetype nameStart = p;
    while (p < n && text[p] != u'}' && text[p] != u'{' && !isBlank(text[p]))
        ++p;
    const QStringView name = text.mid(nameStart, p - nameStart);
    if (name.isEmpty())
        return -1;
    const TagName tag = matchTagName(name);

    if (closing) {
        if (p >= n || text[p] != u'}')
            return -1;
        if (tag == TagName::Font)
            token.kind = Token::PopColor;
        else if (const int style = styleOf(tag)) {
            token.kind = Token::StyleOff;
            token.style = style;
        } else {
            token.kind = Token::Nothing; // {/br}, {/p} and unknown names
        }
        return p + 1;
    }

    if (tag == TagName::Unknown)
        return -1;
    if (tag == TagName::Font) {
        unsigned int rgb = 0;
        const qsizetype end = readFontAttributes(text, p, rgb);
        if (end < 0)
            return -1;
        token.kind = Token::PushColor;
        token.color = rgb;
        return end;
    }
    if (p >= n || text[p] != u'}')
        return -1;
    if (tag == TagName::Br)
        token.kind = Token::LineBreak;
    else if (tag == TagName::P)
        token.kind = Token::Paragraph;
    else {
        token.kind = Token::StyleOn;
        token.style = styleOf(tag);
    }
    return p + 1;
}

qsizetype skipBlanks(QStringView text, qsizetype pos)
{
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    return pos;
}

} // namespace

QList<Token> tokenize(QStringView text)
{
    QList<Token> tokens;
    bool spaceBefore = false;
    qsizetype pos = 0;
    const auto n = text.size();
    while (pos < n) {
        const qsizetype afterBlanks = skipBlanks(text, pos);
        if (afterBlanks > pos)
            spaceBefore = true;
        pos = afterBlanks;
        if (pos >= n)
            break;

        if (text[pos] == u'{') {
            Token tag;
            const qsizetype end = readTag(text, pos, tag);
            if (end >= 0) {
                pos = end;
                if (tag.kind == Token::LineBreak || tag.kind == Token::Paragraph) {
                    spaceBefore = false;
                    pos = skipBlanks(text, pos);
                } else if (spaceBefore) {
                    // The blank before the tag already separates the words.
                    pos = skipBlanks(text, pos);
                }
                if (tag.kind != Token::Nothing)
                    tokens.append(tag);
                continue;
            }
        }

        // A word: up to the next blank or brace; a brace that opens no tag
        // starts a word of its own, drawn with its braces.
        qsizetype end = pos + 1;
        while (end < n && text[end] != u'{' && !isBlank(text[end]))
            ++end;
        Token word;
        word.kind = Token::Word;
        word.text = text.mid(pos, end - pos).toString();
        word.spaceBefore = spaceBefore;
        tokens.append(word);
        spaceBefore = false;
        pos = end;
    }
    return tokens;
}

void ColorStack::push(unsigned int rgb)
{
    if (m_depth < kColorStackDepth) {
        m_saved[m_depth++] = m_current;
        m_everSaved = true;
    }
    m_current = rgb;
}

void ColorStack::pop()
{
    if (m_depth > 0)
        m_current = m_saved[--m_depth];
    else
        m_current = m_everSaved ? m_saved[0] : m_start;
}

MarkupLayout layoutMarkup(QStringView text, const FontMetricsSource &metrics, const LayoutOptions &options)
{
    MarkupLayout layout;
    layout.lineHeight = metrics.lineHeight();
    layout.availableWidth = std::max(0, options.availableWidth);

    int style = 0;
    ColorStack colors;
    int x = 0;
    int y = 0;
    bool atStart = true; // nothing placed and no line moved yet

    for (const Token &token : tokenize(text)) {
        switch (token.kind) {
        case Token::StyleOn:
            style |= token.style;
            break;
        case Token::StyleOff:
            style &= ~token.style;
            break;
        case Token::PushColor:
            colors.push(token.color);
            break;
        case Token::PopColor:
            colors.pop();
            break;
        case Token::LineBreak:
            if (!options.singleLine) {
                y += layout.lineHeight;
                x = 0;
                atStart = false;
            }
            break;
        case Token::Paragraph:
            if (!options.singleLine) {
                if (!atStart)
                    y += layout.lineHeight * 3 / 2;
                x = 0;
                atStart = false;
            }
            break;
        case Token::Nothing:
            break;
        case Token::Word: {
            const int width = metrics.textWidth(token.text, style);
            if (width > layout.availableWidth)
                layout.availableWidth = width;
            int space = 0;
            if (token.spaceBefore) {
                space = metrics.textWidth(QStringLiteral(" "), style);
                x += space;
            }
            bool wrapped = false;
            if (token.spaceBefore && x + width > layout.availableWidth) {
                if (options.wordBreak && !options.singleLine) {
                    y += layout.lineHeight;
                    x = 0;
                    wrapped = true;
                } else {
                    layout.availableWidth = x + width;
                }
            }
            PlacedWord placed;
            placed.text = token.text;
            placed.style = style;
            placed.color = colors.current();
            placed.x = x;
            placed.y = y;
            placed.width = width;
            placed.underlinedSpace = (style & Underline) && token.spaceBefore && !wrapped;
            placed.spaceWidth = space;
            layout.words.append(placed);
            x += width;
            layout.widest = std::max(layout.widest, x);
            atStart = false;
            break;
        }
        }
    }
    layout.lastLineOffset = y;
    return layout;
}

QString plainText(QStringView text)
{
    QString result;
    bool broken = false;
    for (const Token &token : tokenize(text)) {
        if (token.kind == Token::LineBreak || token.kind == Token::Paragraph)
            broken = true;
        if (token.kind != Token::Word)
            continue;
        if ((token.spaceBefore || broken) && !result.isEmpty())
            result += u' ';
        result += token.text;
        broken = false;
    }
    return result;
}

} // namespace quillora::forum::markup
