#include "html.h"

#include <array>
#include <cctype>
#include <optional>
#include <vector>

namespace varnel::site {
namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
size_t utf8SequenceLength(std::string_view s, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80)
        return 1;
    size_t len = 0;
    unsigned cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not text.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

enum class TagKind { Bold, Italic, Underline, Sup, Sub, LineBreak, Paragraph, Font };

struct TagName {
    std::string_view name;
    TagKind kind;
};

// Tried from the last row to the first, so "br" wins over "b" and "sub"/"sup"
// over nothing shorter; any name that begins with a row's name counts as it.
constexpr std::array<TagName, 10> kTags = {{
    {"b", TagKind::Bold},
    {"strong", TagKind::Bold},
    {"em", TagKind::Italic},
    {"i", TagKind::Italic},
    {"u", TagKind::Underline},
    {"sup", TagKind::Sup},
    {"sub", TagKind::Sub},
    {"br", TagKind::LineBreak},
    {"p", TagKind::Paragraph},
    {"font", TagKind::Font},
}};

struct Token {
    enum Type { Word, Tag, Dropped } type = Word;
    std::string_view text; // the word
    TagKind kind = TagKind::Bold;
    bool closing = false;
    std::string colour; // "#rrggbb" for an opening font tag
    size_t end = 0;     // index just past the token
};

std::optional<Token> readTag(std::string_view s, size_t pos)
{
    size_t j = pos + 1;
    Token tok;
    tok.type = Token::Tag;
    if (j < s.size() && s[j] == '/') {
        tok.closing = true;
        ++j;
    }
    const size_t nameStart = j;
    while (j < s.size() && std::isalnum(static_cast<unsigned char>(s[j])))
        ++j;
    const std::string_view name = s.substr(nameStart, j - nameStart);
    if (name.empty())
        return std::nullopt;
    const TagName *match = nullptr;
    for (auto it = kTags.rbegin(); it != kTags.rend(); ++it) {
        if (startsWithNoCase(name, it->name)) {
            match = &*it;
            break;
        }
    }
    if (!match) {
        if (tok.closing && j < s.size() && s[j] == '}') {
            tok.type = Token::Dropped;
            tok.end = j + 1;
            return tok;
        }
        return std::nullopt;
    }
    tok.kind = match->kind;
    if (match->kind != TagKind::Font || tok.closing) {
        if (j >= s.size() || s[j] != '}')
            return std::nullopt;
        tok.end = j + 1;
        return tok;
    }
    // {font color=RRGGBB}: one blank, "color=", optional quote, optional '#', six hex digits.
    if (j >= s.size() || s[j] != ' ')
        return std::nullopt;
    ++j;
    if (!startsWithNoCase(s.substr(j), "color="))
        return std::nullopt;
    j += 6;
    char quote = 0;
    if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
        quote = s[j];
        ++j;
    }
    if (j < s.size() && s[j] == '#')
        ++j;
    std::string colour = "#";
    for (int k = 0; k < 6; ++k, ++j) {
        if (j >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[j])))
            return std::nullopt;
        colour += static_cast<char>(std::tolower(static_cast<unsigned char>(s[j])));
    }
    if (quote && j < s.size() && s[j] == quote)
        ++j;
    if (j >= s.size() || s[j] != '}')
        return std::nullopt;
    tok.colour = colour;
    tok.end = j + 1;
    return tok;
}

Token readToken(std::string_view s, size_t pos)
{
    if (s[pos] == '{') {
        if (auto tag = readTag(s, pos))
            return *tag;
    }
    size_t end = pos + 1;
    while (end < s.size() && !isBlank(s[end]) && s[end] != '{')
        ++end;
    Token tok;
    tok.text = s.substr(pos, end - pos);
    tok.end = end;
    return tok;
}

constexpr int kBold = 1, kItalic = 2, kUnderline = 4, kSup = 8, kSub = 16;

struct Style {
    int bits = 0;
    std::string colour; // empty: the page's colour
    bool operator==(const Style &) const = default;
    bool plain() const { return bits == 0 && colour.empty(); }
};

// Walks a markup text the way the title is laid out: style bits, a colour
// stack of eight, white space counted once around tags.
class MarkupWalker {
  public:
    template <typename OnWord, typename OnBreak> void walk(std::string_view s, OnWord onWord, OnBreak onBreak)
    {
        size_t pos = 0;
        bool spaceBefore = false;
        while (pos < s.size()) {
            if (isBlank(s[pos])) {
                spaceBefore = true;
                while (pos < s.size() && isBlank(s[pos]))
                    ++pos;
                continue;
            }
            Token tok = readToken(s, pos);
            pos = tok.end;
            if (tok.type == Token::Word) {
                onWord(tok.text, style_, spaceBefore);
                spaceBefore = false;
                continue;
            }
            if (tok.type == Token::Dropped)
                continue;
            bool skipFollowingSpace = spaceBefore;
            switch (tok.kind) {
            case TagKind::Bold:
                setBit(kBold, !tok.closing);
                break;
            case TagKind::Italic:
                setBit(kItalic, !tok.closing);
                break;
            case TagKind::Underline:
                setBit(kUnderline, !tok.closing);
                break;
            case TagKind::Sup:
                setBit(kSup, !tok.closing);
                break;
            case TagKind::Sub:
                setBit(kSub, !tok.closing);
                break;
            case TagKind::LineBreak:
            case TagKind::Paragraph:
                if (!tok.closing)
                    onBreak(tok.kind == TagKind::Paragraph);
                spaceBefore = false;
                skipFollowingSpace = true;
                break;
            case TagKind::Font:
                if (tok.closing)
                    popColour();
                else
                    pushColour(tok.colour);
                break;
            }
            if (skipFollowingSpace) {
                while (pos < s.size() && isBlank(s[pos]))
                    ++pos;
            }
        }
    }

  private:
    void setBit(int bit, bool on) { style_.bits = on ? (style_.bits | bit) : (style_.bits & ~bit); }
    void pushColour(const std::string &colour)
    {
        if (stack_.size() < 8) {
            if (stack_.empty() && !firstSavedSet_) {
                firstSaved_ = style_.colour;
                firstSavedSet_ = true;
            }
            stack_.push_back(style_.colour);
        }
        style_.colour = colour;
    }
    void popColour()
    {
        if (stack_.empty()) {
            style_.colour = firstSaved_;
            return;
        }
        style_.colour = stack_.back();
        stack_.pop_back();
    }

    Style style_;
    std::vector<std::string> stack_;
    std::string firstSaved_;
    bool firstSavedSet_ = false;
};

std::string openSpan(const Style &style)
{
    std::string classes;
    const auto addClass = [&](const char *c) {
        if (!classes.empty())
            classes += ' ';
        classes += c;
    };
    if (style.bits & kBold)
        addClass("mk-b");
    if (style.bits & kItalic)
        addClass("mk-i");
    if (style.bits & kUnderline)
        addClass("mk-u");
    if (style.bits & kSup)
        addClass("mk-sup");
    else if (style.bits & kSub)
        addClass("mk-sub");
    std::string out = "<span";
    if (!classes.empty())
        out += " class=\"" + classes + "\"";
    if (!style.colour.empty())
        out += " style=\"color:" + style.colour + "\""; // six validated hex digits
    out += '>';
    return out;
}

} // namespace

std::string escapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t i = 0;
    while (i < text.size()) {
        const size_t len = utf8SequenceLength(text, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text.substr(i, len));
            i += len;
            continue;
        }
        const char c = text[i++];
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
                out += c;
            else if (c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
    return out;
}

std::string escapeMultiline(std::string_view text)
{
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        out += escapeHtml(line);
        if (nl == std::string_view::npos)
            break;
        out += "<br>\n";
        start = nl + 1;
    }
    return out;
}

std::string markupToHtml(std::string_view markup, bool singleLine)
{
    std::string out;
    std::optional<Style> open; // style of the span currently open
    bool anything = false;
    const auto closeSpan = [&] {
        if (open && !open->plain())
            out += "</span>";
        open.reset();
    };
    const auto startRun = [&](const Style &style) {
        closeSpan();
        if (!style.plain())
            out += openSpan(style);
        open = style;
    };
    MarkupWalker walker;
    walker.walk(
        markup,
        [&](std::string_view word, const Style &style, bool spaceBefore) {
            if (spaceBefore && anything) {
                // Inside a run the space takes the run's style, so an underline stays continuous.
                if (!open || !(*open == style))
                    closeSpan();
                out += ' ';
            }
            if (!open || !(*open == style))
                startRun(style);
            out += escapeHtml(word);
            anything = true;
        },
        [&](bool paragraph) {
            if (singleLine)
                return;
            closeSpan();
            if (paragraph) {
                if (!anything)
                    return; // no space above the first line
                out += "<span class=\"mk-p\"></span>";
            } else {
                out += "<br>";
            }
            anything = true;
        });
    closeSpan();
    return out;
}

std::string markupToPlain(std::string_view markup)
{
    std::string out;
    MarkupWalker walker;
    walker.walk(
        markup,
        [&](std::string_view word, const Style &, bool spaceBefore) {
            if (spaceBefore && !out.empty())
                out += ' ';
            out.append(word);
        },
        [&](bool) {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        });
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string percentEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string renderPage(const PageFrame &frame)
{
    const std::string zone = frame.zoneName.empty() ? std::string("Community") : frame.zoneName;
    std::string out;
    out.reserve(frame.body.size() + 1024);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           // Member pages carry USRID/USRPSW in their address: never pass it on as a referrer.
           "<meta name=\"referrer\" content=\"no-referrer\">\n<title>";
    out += escapeHtml(frame.title);
    out += " - Quillora</title>\n<link rel=\"stylesheet\" href=\"";
    out += kStyleSheetPath;
    out += "\">\n</head>\n<body>\n<header class=\"band\">\n<a class=\"brand\" href=\"/\">Quillora</a>\n"
           "<span class=\"zone\">";
    out += escapeHtml(zone);
    out += "</span>\n</header>\n<main>\n";
    out += frame.body;
    out += "\n</main>\n<footer>Quillora community &middot; <a href=\"/Quillora/Help.htm\">Help</a> &middot; "
           "<a href=\"/Quillora/Download.htm\">Download</a></footer>\n</body>\n</html>\n";
    return out;
}

} // namespace varnel::site
