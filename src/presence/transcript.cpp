#include "transcript.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace quillora::presence {

std::vector<TranscriptLink> findLinks(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"((?:https?://|ftp://|mailto:|www\.)[^\s<>"'\x{3000}]+)"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::UseUnicodePropertiesOption);
    std::vector<TranscriptLink> links;
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        QString found = m.captured(0);
        // A sentence that ends with an address keeps its full stop, comma or
        // closing bracket outside the link.
        while (!found.isEmpty() && QStringLiteral(".,;:!?)]}").contains(found.back()))
            found.chop(1);
        const bool bare = found.startsWith(QLatin1String("www."), Qt::CaseInsensitive);
        if (found.size() <= (bare ? 4 : found.indexOf(QLatin1Char(':')) + 1))
            continue; // a scheme or "www." alone
        const QString address = bare ? QStringLiteral("http://") + found : found;
        links.push_back({m.capturedStart(0), found.size(), address});
    }
    return links;
}

bool isOpenableLink(const QString &address)
{
    const QString lower = address.trimmed().toLower();
    for (const char *scheme : {"http://", "https://", "mailto:"}) {
        const QLatin1String s(scheme);
        if (lower.startsWith(s) && lower.size() > s.size())
            return true;
    }
    return false;
}

QString linkToOpen(const QString &address)
{
    if (!isOpenableLink(address))
        return QString();
    const QString link = address.trimmed();
    if (!link.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return link;
    const qsizetype query = link.indexOf(QLatin1Char('?'));
    if (query < 0)
        return link;
    QStringList kept;
    for (const QString &field : link.mid(query + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString name = QUrl::fromPercentEncoding(field.section(QLatin1Char('='), 0, 0).toUtf8()).trimmed();
        if (name.compare(QLatin1String("subject"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("body"), Qt::CaseInsensitive) == 0)
            kept << field;
    }
    return link.left(query) + (kept.isEmpty() ? QString() : QLatin1Char('?') + kept.join(QLatin1Char('&')));
}

QByteArray rtfEscape(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += char(u);
        } else if (u == u'\t') {
            out += "\\tab ";
        } else if (u < 0x20) {
            continue; // line breaks are handled by the caller; other controls are dropped
        } else if (u < 0x80) {
            out += char(u);
        } else {
            // RTF takes a signed 16-bit number, followed by the one fallback
            // character (\uc1) that readers without Unicode show, written
            // as a hex escape. Surrogate halves go out one after the other.
            out += "\\u";
            out += QByteArray::number(int(static_cast<qint16>(u)));
            out += "\\'3f";
        }
    }
    return out;
}

namespace {

// Colour table entries (1-based in the document).
constexpr int kRed = 1, kBlack = 2, kBlue = 3;

void appendText(QByteArray &out, const QString &text)
{
    // "\r\n", "\n" and a lone "\r" each end a paragraph.
    qsizetype i = 0;
    qsizetype from = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            out += rtfEscape(text.mid(from, i - from));
            out += "\\par\n";
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            from = i + 1;
        }
        ++i;
    }
    out += rtfEscape(text.mid(from));
}

} // namespace

QByteArray transcriptToRtf(const std::vector<TranscriptPiece> &pieces)
{
    QByteArray out;
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n";
    out += "{\\fonttbl{\\f0\\fswiss\\fcharset0 ";
    out += kTranscriptFont;
    out += ";}}\n";
    out += "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\n";
    out += "\\viewkind4\\pard\\plain\\f0\\fs" + QByteArray::number(kTranscriptHalfPoints) + "\n";
    for (const TranscriptPiece &piece : pieces) {
        const int colour = piece.part == TranscriptPart::Header ? kRed : kBlack;
        out += "\\cf" + QByteArray::number(colour) + "\\b0\\ul0 ";
        qsizetype at = 0;
        for (const TranscriptLink &link : findLinks(piece.text)) {
            appendText(out, piece.text.mid(at, link.start - at));
            QString target = link.address;
            target.replace(QLatin1Char('"'), QStringLiteral("%22"));
            out += "{\\field{\\*\\fldinst{HYPERLINK \"" + rtfEscape(target) + "\"}}{\\fldrslt{\\ul\\cf" +
                   QByteArray::number(kBlue) + " " + rtfEscape(piece.text.mid(link.start, link.length)) + "}}}\\cf" +
                   QByteArray::number(colour) + " ";
            at = link.start + link.length;
        }
        appendText(out, piece.text.mid(at));
    }
    out += "}\n";
    return out;
}

} // namespace quillora::presence
