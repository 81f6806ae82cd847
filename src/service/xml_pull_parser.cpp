#include "xml_pull_parser.h"

#include <QStringDecoder>

namespace quillora::service {
namespace {

const QString kXmlNs = QStringLiteral("http://www.w3.org/XML/1998/namespace");

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Names: ASCII letters, digits and the usual punctuation, and beyond ASCII
// letters (and, after the first character, digits and marks). Astral-plane
// names are refused.
bool isNameStart(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':';
    return !QChar::isSurrogate(c) && QChar::isLetter(c);
}

bool isNameChar(char16_t c)
{
    if (c < 0x80)
        return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    if (QChar::isSurrogate(c))
        return false;
    return c == 0xB7 || QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
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

// Whether two of a start tag's first `count` attributes that `counts` lets in
// are the same by `same`, in time linear in `count`: each is looked up in an
// open-addressing table of `slots` (a power of two, more than twice `count`,
// all free on entry and again on return).
template <typename Counts, typename Hash, typename Same>
bool repeatsIn(size_t count, int *slots, size_t slotCount, std::vector<size_t> &filled, Counts counts, Hash hash,
               Same same)
{
    // A few attributes, the usual case: comparing each pair costs less than hashing.
    constexpr size_t kPairwise = 8;
    if (count <= kPairwise) {
        for (size_t i = 0; i < count; ++i)
            for (size_t j = i + 1; j < count; ++j)
                if (counts(i) && counts(j) && same(i, j))
                    return true;
        return false;
    }
    const size_t mask = slotCount - 1;
    bool repeated = false;
    for (size_t i = 0; i < count && !repeated; ++i) {
        if (!counts(i))
            continue;
        size_t slot = hash(i) & mask;
        for (; slots[slot] != 0; slot = (slot + 1) & mask) {
            if (same(static_cast<size_t>(slots[slot] - 1), i)) {
                repeated = true;
                break;
            }
        }
        if (!repeated) {
            slots[slot] = static_cast<int>(i + 1);
            filled.push_back(slot);
        }
    }
    for (size_t slot : filled)
        slots[slot] = 0;
    filled.clear();
    return repeated;
}

} // namespace

XmlPullParser::XmlPullParser(QStringView text, bool namespaceProcessing) : m_text(text), m_ns(namespaceProcessing)
{
    // A byte-order mark left in decoded text is not content.
    if (!m_text.isEmpty() && m_text[0] == QChar(0xFEFF))
        m_pos = 1;
}

bool XmlPullParser::decode(const QByteArray &bytes, QString &text)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        QStringDecoder d(b[0] == 0xFF ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                         QStringDecoder::Flag::Stateless);
        text = d(bytes.mid(2));
        return !d.hasError();
    }
    qsizetype start = 0;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        start = 3;
    else if (bytes.startsWith("<?xml")) {
        // The declaration is ASCII; look for a non-UTF-8 encoding in it.
        const qsizetype end = bytes.indexOf("?>");
        const QByteArray decl = end > 0 ? bytes.left(end).toLower() : QByteArray();
        const qsizetype enc = decl.indexOf("encoding");
        if (enc >= 0) {
            qsizetype q = enc + 8;
            while (q < decl.size() && (decl[q] == ' ' || decl[q] == '=' || decl[q] == '\t'))
                ++q;
            if (q < decl.size() && (decl[q] == '"' || decl[q] == '\'')) {
                const char quote = decl[q];
                const qsizetype close = decl.indexOf(quote, q + 1);
                const QByteArray name = close > q ? decl.mid(q + 1, close - q - 1) : QByteArray();
                if (name == "iso-8859-1" || name == "latin1" || name == "latin-1") {
                    text = QString::fromLatin1(bytes);
                    return true;
                }
                if (name != "utf-8" && name != "utf8" && name != "us-ascii" && name != "ascii")
                    return false;
            }
        }
    }
    QStringDecoder d(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = d(QByteArrayView(bytes).sliced(start));
    return !d.hasError();
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

bool XmlPullParser::splitName(QStringView qname, QStringView &prefix, QStringView &local) const
{
    qsizetype colon = -1;
    if (m_ns) {
        for (qsizetype i = 0; i < qname.size(); ++i) {
            if (qname[i] == u':') {
                colon = i;
                break;
            }
        }
    }
    if (colon < 0) {
        prefix = QStringView();
        local = qname;
        return true;
    }
    prefix = qname.left(colon);
    local = qname.mid(colon + 1);
    // One colon, with a name on each side.
    return !prefix.isEmpty() && !local.isEmpty() && !local.contains(QLatin1Char(':')) &&
           isNameStart(local[0].unicode());
}

bool XmlPullParser::isCharAllowed(char16_t c, qsizetype at) const
{
    if (c >= 0x20 && c < 0xD800)
        return true;
    if (c == 0x9 || c == 0xA || c == 0xD)
        return true;
    if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
        return false;
    if (c >= 0xD800 && c <= 0xDBFF)
        return at + 1 < m_text.size() && m_text[at + 1].isLowSurrogate();
    if (c >= 0xDC00 && c <= 0xDFFF)
        return at > 0 && m_text[at - 1].isHighSurrogate();
    return true;
}

// At '&': appends the character it stands for.
bool XmlPullParser::readReference(QString &out)
{
    const qsizetype semi = m_text.indexOf(QLatin1Char(';'), m_pos);
    if (semi < 0 || semi - m_pos > 12)
        return false;
    const QStringView ref = m_text.mid(m_pos + 1, semi - m_pos - 1);
    m_pos = semi + 1;
    if (ref == u"lt")
        out.append(QLatin1Char('<'));
    else if (ref == u"gt")
        out.append(QLatin1Char('>'));
    else if (ref == u"amp")
        out.append(QLatin1Char('&'));
    else if (ref == u"quot")
        out.append(QLatin1Char('"'));
    else if (ref == u"apos")
        out.append(QLatin1Char('\''));
    else if (ref.size() >= 2 && ref[0] == u'#') {
        const bool hex = ref[1] == u'x';
        const QStringView digits = ref.mid(hex ? 2 : 1);
        if (digits.isEmpty())
            return false;
        char32_t value = 0;
        for (QChar ch : digits) {
            const char16_t c = ch.unicode();
            int d;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (hex && c >= u'a' && c <= u'f')
                d = c - u'a' + 10;
            else if (hex && c >= u'A' && c <= u'F')
                d = c - u'A' + 10;
            else
                return false;
            value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
            if (value > 0x10FFFF)
                return false;
        }
        if (!isXmlChar(value))
            return false;
        if (value >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(value)));
            out.append(QChar(QChar::lowSurrogate(value)));
        } else {
            out.append(QChar(static_cast<char16_t>(value)));
        }
    } else {
        return false; // no other entity can be declared here
    }
    return true;
}

QStringView XmlPullParser::resolvePrefix(QStringView prefix) const
{
    const Binding *found = nullptr;
    // A few bindings in scope, the usual case: a look along them costs less than hashing.
    constexpr size_t kScanned = 8;
    if (m_bindings.size() <= kScanned) {
        for (auto it = m_bindings.rbegin(); it != m_bindings.rend() && !found; ++it)
            if (it->prefix == prefix)
                found = &*it;
    } else if (const auto it = m_innermost.constFind(prefix); it != m_innermost.cend()) {
        found = &m_bindings[static_cast<size_t>(*it)];
    }
    if (found)
        return found->uri.isEmpty() && !prefix.isEmpty() ? QStringView() : QStringView(found->uri);
    if (prefix == u"xml")
        return kXmlNs;
    return QStringView();
}

void XmlPullParser::bind(QStringView prefix, QString uri)
{
    const int index = static_cast<int>(m_bindings.size());
    int shadowed = -1;
    if (const auto it = m_innermost.find(prefix); it != m_innermost.end()) {
        shadowed = *it;
        *it = index;
    } else {
        m_innermost.insert(prefix, index);
    }
    m_bindings.push_back({prefix, std::move(uri), shadowed});
}

// Leaves the scope of the bindings past the first `size`.
void XmlPullParser::unbindTo(size_t size)
{
    while (m_bindings.size() > size) {
        const Binding &b = m_bindings.back();
        if (b.shadowed >= 0)
            m_innermost[b.prefix] = b.shadowed;
        else
            m_innermost.remove(b.prefix);
        m_bindings.pop_back();
    }
}

// Two attributes of the current start tag written with the same name.
bool XmlPullParser::hasRepeatedName()
{
    const size_t seed = QHashSeed::globalSeed();
    return repeatsIn(
        m_attributes.size(), m_slots.data(), m_slots.size(), m_filled, [](size_t) { return true; },
        [&](size_t i) { return qHash(m_attributes[i].qname, seed); },
        [&](size_t i, size_t j) { return m_attributes[i].qname == m_attributes[j].qname; });
}

// Two prefixed attributes of the current start tag with one namespace and
// local name (an unprefixed one is in no namespace, so it cannot clash).
bool XmlPullParser::hasRepeatedExpandedName()
{
    const size_t seed = QHashSeed::globalSeed();
    return repeatsIn(
        m_attributes.size(), m_slots.data(), m_slots.size(), m_filled,
        [&](size_t i) { return !m_attributes[i].prefix.isEmpty(); },
        [&](size_t i) { return qHashMulti(seed, m_attributes[i].local, m_attributes[i].nsUri); },
        [&](size_t i, size_t j) {
            return m_attributes[i].local == m_attributes[j].local && m_attributes[i].nsUri == m_attributes[j].nsUri;
        });
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

    // Namespace bindings declared on this element, then its names resolved.
    m_bindingFrames.push_back(m_bindings.size());
    if (m_ns) {
        // Declarations leave the attribute list, which keeps its order.
        size_t kept = 0;
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            const Attribute &a = m_attributes[i];
            QStringView bound;
            bool isDecl = false;
            if (a.qname == u"xmlns") {
                isDecl = true;
            } else if (a.qname.startsWith(u"xmlns:")) {
                isDecl = true;
                bound = a.qname.mid(6);
                if (bound.isEmpty() || bound.contains(QLatin1Char(':')))
                    return false;
            }
            if (!isDecl) {
                if (kept != i)
                    m_attributes[kept] = a;
                ++kept;
                continue;
            }
            QString uri =
                (a.owned >= 0 ? QStringView(m_ownedValues[static_cast<size_t>(a.owned)]) : a.value).toString();
            if (!bound.isEmpty() && uri.isEmpty())
                return false; // a prefix cannot be unbound
            if (bound == u"xmlns" || (bound == u"xml" && uri != kXmlNs))
                return false;
            bind(bound, std::move(uri));
        }
        m_attributes.resize(kept);
        for (Attribute &a : m_attributes) {
            if (!splitName(a.qname, a.prefix, a.local))
                return false;
            if (!a.prefix.isEmpty()) {
                a.nsUri = resolvePrefix(a.prefix);
                if (a.nsUri.isNull())
                    return false;
            }
        }
        // Two attributes may not share a namespace and local name.
        if (hasRepeatedExpandedName())
            return false;
    }

    m_qname = qname;
    if (!splitName(qname, m_prefix, m_local))
        return false;
    if (m_ns) {
        m_nsUri = resolvePrefix(m_prefix);
        if (!m_prefix.isEmpty() && m_nsUri.isNull())
            return false;
    } else {
        m_nsUri = QStringView();
    }
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
