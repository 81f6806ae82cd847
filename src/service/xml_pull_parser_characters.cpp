// XmlPullParser's characters: the response's bytes decoded to text, the
// characters XML allows where, and the references that stand for one.
#include "xml_pull_parser.h"

#include <QStringDecoder>

namespace quillora::service {

namespace {

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

} // namespace

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

} // namespace quillora::service
