// XmlPullParser's tokens: the markup read from start to end of the document,
// start and end tags with their attributes, character runs, comments,
// processing instructions and the XML declaration.
#include "xml_pull_parser.h"
#include "xml_pull_parser_internal.h"

namespace quillora::service {
namespace {

using xml::isNameChar;
using xml::isNameStart;

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Appends `view`, turning CR LF and lone CR into LF as XML requires.
void appendNormalised(QString &out, QStringView view)
{
    const qsizetype n = view.size();
    qsizetype from = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (view[i] != u'\r')
            continue;
        out.append(view.mid(from, i - from));
        out.append(QLatin1Char('\n'));
        if (i + 1 < n && view[i + 1] == u'\n')
            ++i;
        from = i + 1;
    }
    out.append(view.mid(from));
}

// The inside of an XML declaration, between "<?xml" and "?>":
// version, then optionally encoding and standalone, in that order.
bool isValidDeclaration(QStringView d)
{
    qsizetype i = 0;
    auto spaces = [&] {
        const qsizetype from = i;
        while (i < d.size() && isSpace(d[i].unicode()))
            ++i;
        return i > from;
    };
    auto pseudoAttribute = [&](QStringView name, QStringView &value) {
        const qsizetype save = i;
        if (!spaces() || !d.mid(i).startsWith(name)) {
            i = save;
            return false;
        }
        i += name.size();
        spaces();
        if (i >= d.size() || d[i] != u'=')
            return false;
        ++i;
        spaces();
        if (i >= d.size() || (d[i] != u'"' && d[i] != u'\''))
            return false;
        const QChar quote = d[i++];
        const qsizetype close = d.indexOf(quote, i);
        if (close < 0)
            return false;
        value = d.mid(i, close - i);
        i = close + 1;
        return true;
    };
    QStringView version, encoding, standalone;
    if (!pseudoAttribute(u"version", version))
        return false;
    if (version != u"1.0")
        return false;
    if (pseudoAttribute(u"encoding", encoding)) {
        if (encoding.isEmpty() ||
            !((encoding[0] >= u'a' && encoding[0] <= u'z') || (encoding[0] >= u'A' && encoding[0] <= u'Z')))
            return false;
        for (QChar c : encoding)
            if (!c.isLetterOrNumber() || c.unicode() > 0x7f)
                if (c != u'.' && c != u'_' && c != u'-')
                    return false;
    }
    if (pseudoAttribute(u"standalone", standalone) && standalone != u"yes" && standalone != u"no")
        return false;
    spaces();
    return i == d.size();
}

} // namespace

XmlPullParser::XmlPullParser(QStringView text, bool namespaceProcessing) : m_text(text), m_ns(namespaceProcessing)
{
    // A byte-order mark left in decoded text is not content.
    if (!m_text.isEmpty() && m_text[0] == QChar(0xFEFF))
        m_pos = 1;
}

bool XmlPullParser::refuse(Refusal why)
{
    m_refusal = why;
    return false;
}

XmlPullParser::Token XmlPullParser::fail()
{
    m_token = Error;
    m_textView = QStringView();
    return Error;
}

bool XmlPullParser::startsWith(const char *s) const
{
    qsizetype i = 0;
    for (; s[i]; ++i)
        if (m_pos + i >= m_text.size() || m_text[m_pos + i] != QLatin1Char(s[i]))
            return false;
    return true;
}

bool XmlPullParser::skipSpaces()
{
    const qsizetype before = m_pos;
    while (!atEnd() && isSpace(peek().unicode()))
        ++m_pos;
    return m_pos != before;
}

bool XmlPullParser::readName(QStringView &name)
{
    const qsizetype start = m_pos;
    if (atEnd() || !isNameStart(peek().unicode()))
        return false;
    ++m_pos;
    const char16_t *data = reinterpret_cast<const char16_t *>(m_text.data());
    const qsizetype size = m_text.size();
    while (m_pos < size) {
        const char16_t c = data[m_pos];
        // Plain ASCII name characters without a call; the rest through the full rule.
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
            c == u'-' || c == u'.' || c == u':' || (c >= 0x80 && isNameChar(c)))
            ++m_pos;
        else
            break;
    }
    name = m_text.mid(start, m_pos - start);
    return true;
}

QStringView XmlPullParser::attribute(QStringView nsUri, QStringView local) const
{
    for (const Attribute &a : m_attributes)
        if (a.local == local && a.nsUri == nsUri)
            return valueOf(a);
    return QStringView();
}

QStringView XmlPullParser::attribute(QStringView qualified) const
{
    for (const Attribute &a : m_attributes)
        if (a.qname == qualified)
            return valueOf(a);
    return QStringView();
}

bool XmlPullParser::isWhitespace() const
{
    for (QChar c : m_textView)
        if (!isSpace(c.unicode()))
            return false;
    return true;
}

// At '<' followed by a name.
bool XmlPullParser::readStartTag()
{
    ++m_pos;
    QStringView qname;
    if (!readName(qname))
        return false;
    m_attributes.clear();
    m_ownedValues.clear();
    for (;;) {
        const bool spaced = skipSpaces();
        if (atEnd())
            return false;
        const QChar c = peek();
        if (c == u'>' || c == u'/')
            break;
        Attribute a;
        if (!spaced || !readName(a.qname))
            return false;
        if (m_attributes.size() >= static_cast<size_t>(kMaxAttributes))
            return refuse(Refusal::TooManyAttributes);
        skipSpaces();
        if (atEnd() || peek() != u'=')
            return false;
        ++m_pos;
        skipSpaces();
        if (atEnd() || (peek() != u'"' && peek() != u'\''))
            return false;
        const QChar quote = peek();
        ++m_pos;
        const qsizetype start = m_pos;
        QString rewritten;
        bool rewrite = false;
        qsizetype from = start;
        for (;;) {
            if (atEnd())
                return false;
            const char16_t ch = peek().unicode();
            if (ch == quote.unicode())
                break;
            if (ch == u'<' || !isCharAllowed(ch, m_pos))
                return false;
            if (ch == u'&' || ch == u'\t' || ch == u'\n' || ch == u'\r') {
                if (!rewrite) {
                    rewrite = true;
                    rewritten.reserve(64);
                }
                rewritten.append(m_text.mid(from, m_pos - from));
                if (ch == u'&') {
                    if (!readReference(rewritten))
                        return false;
                } else {
                    // Attribute values turn white-space characters into spaces; CR LF counts once.
                    if (ch == u'\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\n')
                        ++m_pos;
                    rewritten.append(QLatin1Char(' '));
                    ++m_pos;
                }
                from = m_pos;
                continue;
            }
            ++m_pos;
        }
        if (rewrite) {
            rewritten.append(m_text.mid(from, m_pos - from));
            m_ownedValues.push_back(std::move(rewritten));
            a.owned = static_cast<int>(m_ownedValues.size() - 1);
        } else {
            a.value = m_text.mid(start, m_pos - start);
        }
        ++m_pos; // closing quote
        m_attributes.push_back(a);
    }
    if (hasRepeatedName())
        return false; // an attribute may appear once

    bool empty = false;
    if (peek() == u'/') {
        ++m_pos;
        if (atEnd() || peek() != u'>')
            return false;
        empty = true;
    }
    ++m_pos; // '>'

    if (m_openElements.size() >= static_cast<size_t>(kMaxDepth))
        return refuse(Refusal::TooDeep);

    if (!bindAndResolve(qname))
        return false;
    m_openElements.push_back(qname);
    m_depth = static_cast<int>(m_openElements.size());
    m_pendingEnd = empty;
    return true;
}

// At "</".
bool XmlPullParser::readEndTag()
{
    m_pos += 2;
    QStringView qname;
    if (!readName(qname))
        return false;
    skipSpaces();
    if (atEnd() || peek() != u'>')
        return false;
    ++m_pos;
    if (m_openElements.empty() || m_openElements.back() != qname)
        return false;
    m_qname = qname;
    splitName(qname, m_prefix, m_local);
    m_nsUri = m_ns ? resolvePrefix(m_prefix) : QStringView();
    m_depth = static_cast<int>(m_openElements.size());
    return true;
}

// At "<!--" or "<?": passes over a comment or a processing instruction.
bool XmlPullParser::readMisc()
{
    if (startsWith("<!--")) {
        const qsizetype end = m_text.indexOf(u"-->", m_pos + 4);
        if (end < 0)
            return false;
        const QStringView body = m_text.mid(m_pos + 4, end - m_pos - 4);
        if (body.contains(u"--") || body.endsWith(u'-'))
            return false;
        for (qsizetype i = 0; i < body.size(); ++i)
            if (!isCharAllowed(body[i].unicode(), m_pos + 4 + i))
                return false;
        m_pos = end + 3;
        return true;
    }
    // Processing instruction: a target name, then anything up to "?>".
    m_pos += 2;
    QStringView target;
    if (!readName(target) || (m_ns && target.contains(QLatin1Char(':'))))
        return false;
    const qsizetype end = m_text.indexOf(u"?>", m_pos);
    if (end < 0)
        return false;
    if (end > m_pos && !isSpace(m_text[m_pos].unicode()))
        return false;
    for (qsizetype i = m_pos; i < end; ++i)
        if (!isCharAllowed(m_text[i].unicode(), i))
            return false;
    // The XML declaration may only open the document.
    if (target.compare(u"xml", Qt::CaseInsensitive) == 0 &&
        (m_started || target != u"xml" || !isValidDeclaration(m_text.mid(m_pos, end - m_pos))))
        return false;
    m_pos = end + 2;
    return true;
}

// Character data up to the next element tag, merged across CDATA sections,
// references and comments. A run of plain text is reported as a view into the
// input; anything else is assembled in the text buffer.
bool XmlPullParser::readCharacterRun()
{
    m_textBuffer.clear();
    m_textView = QStringView();
    bool owned = false;
    bool sawCr = false;
    qsizetype runStart = m_pos;
    const char16_t *data = reinterpret_cast<const char16_t *>(m_text.data());
    const qsizetype size = m_text.size();

    // Ends the plain piece [runStart, end).
    auto flushPlain = [&](qsizetype end) {
        const QStringView piece = m_text.mid(runStart, end - runStart);
        if (!owned && !sawCr) {
            if (!piece.isEmpty())
                m_textView = piece; // zero-copy while the run is one plain piece
        } else {
            if (!owned) {
                owned = true;
                m_textBuffer.append(m_textView);
            }
            if (sawCr)
                appendNormalised(m_textBuffer, piece);
            else
                m_textBuffer.append(piece);
        }
        sawCr = false;
    };
    auto own = [&]() {
        if (!owned) {
            owned = true;
            m_textBuffer.reserve(m_textView.size() + 256);
            m_textBuffer.append(m_textView);
        }
    };
    auto at = [&](qsizetype i, char16_t c) { return i < size && data[i] == c; };

    while (m_pos < size) {
        const char16_t c = data[m_pos];
        if (c >= 0x20 && c < 0xD800 && c != u'<' && c != u'&' && c != u'>') {
            ++m_pos;
            continue;
        }
        if (c == u'<') {
            if (startsWith("<![CDATA[")) {
                flushPlain(m_pos);
                own();
                const qsizetype end = m_text.indexOf(u"]]>", m_pos + 9);
                if (end < 0)
                    return false;
                for (qsizetype i = m_pos + 9; i < end; ++i)
                    if (!isCharAllowed(data[i], i))
                        return false;
                appendNormalised(m_textBuffer, m_text.mid(m_pos + 9, end - m_pos - 9));
                m_pos = end + 3;
                runStart = m_pos;
                continue;
            }
            if (startsWith("<!--") || startsWith("<?")) {
                flushPlain(m_pos);
                own();
                if (!readMisc())
                    return false;
                runStart = m_pos;
                continue;
            }
            break;
        }
        if (c == u'&') {
            flushPlain(m_pos);
            own();
            // The five predefined entities inline; numeric references and errors below.
            const qsizetype p = m_pos + 1;
            if (at(p, u'l') && at(p + 1, u't') && at(p + 2, u';')) {
                m_textBuffer.append(QLatin1Char('<'));
                m_pos += 4;
            } else if (at(p, u'g') && at(p + 1, u't') && at(p + 2, u';')) {
                m_textBuffer.append(QLatin1Char('>'));
                m_pos += 4;
            } else if (at(p, u'a') && at(p + 1, u'm') && at(p + 2, u'p') && at(p + 3, u';')) {
                m_textBuffer.append(QLatin1Char('&'));
                m_pos += 5;
            } else if (!readReference(m_textBuffer)) {
                return false;
            }
            runStart = m_pos;
            continue;
        }
        if (c == u'>') {
            if (m_pos >= 2 && data[m_pos - 1] == u']' && data[m_pos - 2] == u']')
                return false; // "]]>" may not stand in text
            ++m_pos;
            continue;
        }
        if (c == u'\r')
            sawCr = true;
        else if (!isCharAllowed(c, m_pos))
            return false;
        ++m_pos;
    }
    flushPlain(m_pos);
    if (owned)
        m_textView = m_textBuffer;
    return true;
}

XmlPullParser::Token XmlPullParser::next()
{
    if (m_token == Error || m_token == EndDocument)
        return m_token;
    if (m_pendingEnd) {
        // The end of an empty-element tag.
        m_pendingEnd = false;
        m_attributes.clear();
        m_depth = static_cast<int>(m_openElements.size());
        m_token = EndElement;
        return m_token;
    }
    if (m_token == EndElement && !m_openElements.empty() && m_depth == static_cast<int>(m_openElements.size())) {
        // Leave the scope of the element that just ended.
        m_openElements.pop_back();
        unbindTo(m_bindingFrames.back());
        m_bindingFrames.pop_back();
        if (m_openElements.empty())
            m_rootClosed = true;
    }
    m_textView = QStringView();

    for (;;) {
        if (atEnd()) {
            if (!m_rootClosed || !m_openElements.empty())
                return fail();
            m_token = EndDocument;
            return m_token;
        }
        if (m_openElements.empty()) {
            // Prolog or epilogue: white space, comments and processing instructions only.
            if (skipSpaces()) {
                m_started = true;
                continue;
            }
            if (startsWith("<!--") || startsWith("<?")) {
                if (!readMisc())
                    return fail();
                m_started = true;
                continue;
            }
            if (startsWith("<!"))
                return fail(); // DOCTYPE and anything like it
            if (m_rootClosed || peek() != u'<' || m_pos + 1 >= m_text.size() ||
                !isNameStart(m_text[m_pos + 1].unicode()))
                return fail();
            m_started = true;
            if (!readStartTag())
                return fail();
            m_token = StartElement;
            return m_token;
        }
        m_started = true;
        if (startsWith("</")) {
            if (!readEndTag())
                return fail();
            m_token = EndElement;
            return m_token;
        }
        if (peek() == u'<' && m_pos + 1 < m_text.size() && isNameStart(m_text[m_pos + 1].unicode())) {
            if (!readStartTag())
                return fail();
            m_token = StartElement;
            return m_token;
        }
        if (peek() == u'<' && !startsWith("<![CDATA[") && !startsWith("<!--") && !startsWith("<?"))
            return fail();
        if (!readCharacterRun())
            return fail();
        if (m_textView.isEmpty())
            continue; // only comments or empty CDATA: nothing to report
        m_token = Characters;
        return m_token;
    }
}

bool XmlPullParser::skipCurrentElement()
{
    if (m_token != StartElement)
        return true;
    int level = 1;
    while (level > 0) {
        switch (next()) {
        case StartElement:
            ++level;
            break;
        case EndElement:
            --level;
            break;
        case Error:
        case EndDocument:
            return false;
        case Characters:
            break;
        }
    }
    return true;
}

} // namespace quillora::service
