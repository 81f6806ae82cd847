// The message board's transcript as the program keeps it: the header and body
// pieces in the order they were appended, the web addresses found in them,
// and the RTF form that "Save Message" writes. The widget shows the same
// pieces; keeping them here lets the saved file and the tests read the
// conversation without a window.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace quillora::presence {

enum class TranscriptPart { Header, Body };

struct TranscriptPiece {
    QString text; // exactly as appended, "\r\n" line breaks included
    TranscriptPart part = TranscriptPart::Body;
};

// A web address in a piece of text: where it stands and what opening it means.
struct TranscriptLink {
    qsizetype start = 0;
    qsizetype length = 0;
    QString address; // "www.x.org" becomes "http://www.x.org"
};

// The addresses in `text`: http://, https://, ftp://, mailto: and www.
// forms, ending before white space, quotes and angle brackets, without
// trailing sentence punctuation.
std::vector<TranscriptLink> findLinks(const QString &text);

// A link's text comes from another member: only web pages and mail
// addresses are opened (http, https, mailto), never local files or other
// handlers.
bool isOpenableLink(const QString &address);
// What a click on the link opens: the address itself for a web page, a mail
// address with only its subject and body kept (other fields such as attach=
// have made mail programs attach local files or add recipients), or nothing
// (an empty text) for anything isOpenableLink refuses.
QString linkToOpen(const QString &address);

// Header and body look: Arial 9.5 pt (19 half-points), headers red, bodies black.
inline constexpr char kTranscriptFont[] = "Arial";
inline constexpr int kTranscriptHalfPoints = 19;

// The whole transcript as an RTF document: a font table (Arial), a colour
// table (red headers, black bodies, blue links), sizes in half-points, text
// escaped (characters beyond ASCII as \uN), line breaks as paragraphs and
// addresses as HYPERLINK fields.
QByteArray transcriptToRtf(const std::vector<TranscriptPiece> &pieces);

// Escapes one text for RTF (backslash, braces, \uN\'3f for non-ASCII, \tab).
QByteArray rtfEscape(const QString &text);

} // namespace quillora::presence
