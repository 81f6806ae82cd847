// Small HTML helpers of the community site: escaping, the markup of
// announcement titles, and the page frame every site page shares.
#pragma once

#include <string>
#include <string_view>

namespace varnel::site {

// Text made safe for element content and for double-quoted attribute values.
// Invalid UTF-8 bytes are replaced by U+FFFD, control characters other than
// tab and line breaks are dropped.
std::string escapeHtml(std::string_view text);

// Member text with its line breaks kept: escaped, every line break a <br>.
std::string escapeMultiline(std::string_view text);

// The brace tag language of announcement titles ({b}, {i}, {u}, {sup}, {sub},
// {br}, {p}, {font color=#RRGGBB}) rendered as well-formed, safe HTML: every
// word is escaped and wrapped in a span of its style, unknown tags are shown
// as text, so stored titles can never inject markup. With singleLine, {br}
// and {p} are ignored.
std::string markupToHtml(std::string_view markup, bool singleLine = false);

// The same title as plain text (for <title> and link captions).
std::string markupToPlain(std::string_view markup);

// A URL path or query value percent-encoded (unreserved characters kept).
std::string percentEncode(std::string_view text);

struct PageFrame {
    std::string title;    // document title, plain text
    std::string zoneName; // shown in the header band; empty: "Community"
    std::string body;     // HTML of the main area
};

// A whole HTML5 document: header band with "Quillora" and the zone name, the
// main area, a footer, and the shared style sheet.
std::string renderPage(const PageFrame &frame);

// Path of the shared style sheet and its text.
inline constexpr char kStyleSheetPath[] = "/Varnel/Web/site.css";
std::string_view styleSheet();

} // namespace varnel::site
