#include "soap_response.h"

#include <charconv>

namespace varnel {

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr char kEnvelopeStart[] =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">";

const char *faultCodeName(qs::FaultCode code)
{
    switch (code) {
    case qs::FaultCode::VersionMismatch:
        return "soap:VersionMismatch";
    case qs::FaultCode::MustUnderstand:
        return "soap:MustUnderstand";
    case qs::FaultCode::Client:
        return "soap:Client";
    case qs::FaultCode::Server:
    case qs::FaultCode::None:
        break;
    }
    return "soap:Server";
}

bool isPlain(char16_t c)
{
    return c >= 0x20 && c <= 0x7e && c != u'&' && c != u'<' && c != u'>';
}

// "&#x" + at least `digits` upper-case hexadecimal digits + ";", each
// ampersand written as `amp` ("&" once escaped, "&amp;" twice).
void appendHexReference(QByteArray &out, const char *amp, char32_t value, int digits)
{
    char hex[8];
    int n = 0;
    do {
        hex[n++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    out.append(amp).append("#x");
    for (int i = n; i < digits; ++i)
        out.append('0');
    while (n > 0)
        out.append(hex[--n]);
    out.append(';');
}

// Character data, escaped once (`amp` = "&") or, for text inside a document
// that is itself a string value, twice (`amp` = "&amp;"). Runs of plain
// characters are copied in one step.
void appendText(QByteArray &out, QStringView text, const char *amp)
{
    const char16_t *p = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype j = i;
        while (j < n && isPlain(p[j]))
            ++j;
        if (j > i) {
            const qsizetype at = out.size();
            out.resize(at + (j - i));
            char *d = out.data() + at;
            for (qsizetype k = i; k < j; ++k)
                *d++ = static_cast<char>(p[k]);
            i = j;
            if (i == n)
                break;
        }
        const char16_t c = p[i];
        if (c == 0)
            return; // the text ends at its first zero character
        switch (c) {
        case u'&':
            out.append(amp).append("amp;");
            break;
        case u'<':
            out.append(amp).append("lt;");
            break;
        case u'>':
            out.append(amp).append("gt;");
            break;
        default:
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                appendHexReference(out, amp, QChar::surrogateToUcs4(c, p[i + 1]), 6);
                ++i;
            } else {
                appendHexReference(out, amp, c, 4);
            }
        }
        ++i;
    }
}

void appendNumber(QByteArray &out, long long number)
{
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, number);
    out.append(digits, r.ptr - digits);
}

void appendName(QByteArray &out, std::string_view name)
{
    out.append(name.data(), static_cast<qsizetype>(name.size()));
}

void appendValueElement(QByteArray &out, std::string_view name, const OutValue &v, qs::ParamType type)
{
    if (!v.escaped.isNull()) {
        out.append('<');
        appendName(out, name);
        out.append('>').append(v.escaped).append("</");
        appendName(out, name);
        out.append('>');
        return;
    }
    if (type == qs::ParamType::String && v.value.string.isNull()) {
        out.append('<');
        appendName(out, name);
        out.append(" xsi:nil=\"1\"/>");
        return;
    }
    out.append('<');
    appendName(out, name);
    out.append('>');
    switch (type) {
    case qs::ParamType::String:
        appendText(out, v.value.string, "&");
        break;
    case qs::ParamType::Int:
        appendNumber(out, v.value.integer);
        break;
    case qs::ParamType::Boolean:
        out.append(v.value.boolean ? "true" : "false");
        break;
    }
    out.append("</");
    appendName(out, name);
    out.append('>');
}

} // namespace

void appendEscaped(QByteArray &out, QStringView text)
{
    appendText(out, text, "&");
}

QByteArray writeResponse(const qs::OperationDescriptor &op, const QString &serviceNamespace,
                         std::span<const OutValue> outValues)
{
    qsizetype size = 512;
    for (const OutValue &v : outValues)
        size += v.escaped.size() + v.value.string.size();
    QByteArray out;
    out.reserve(size);
    out.append(kDeclaration);
    out.append(kEnvelopeStart);
    out.append("<soap:Body><");
    const std::string response = op.responseName();
    out.append(response.data(), static_cast<qsizetype>(response.size()));
    out.append(" xmlns=\"");
    QByteArray ns;
    appendEscaped(ns, serviceNamespace);
    out.append(ns.replace("\"", "&quot;"));
    out.append("\">");
    size_t next = 0;
    static const OutValue kCleared{qs::SoapValue::cleared(qs::ParamType::String)};
    for (const qs::ParamDescriptor &p : op.params) {
        if (p.direction != qs::Direction::Out)
            continue;
        if (next < outValues.size())
            appendValueElement(out, p.name, outValues[next], p.type);
        else
            appendValueElement(out, p.name, kCleared, p.type); // null, 0 or false
        ++next;
    }
    out.append("</");
    out.append(response.data(), static_cast<qsizetype>(response.size()));
    out.append("></soap:Body></soap:Envelope>");
    return out;
}

QByteArray writeFault(qs::FaultCode code, const QString &message)
{
    QByteArray out;
    out.reserve(400 + message.size());
    out.append(kDeclaration);
    out.append(kEnvelopeStart);
    out.append("<soap:Body><soap:Fault><faultcode>");
    out.append(faultCodeName(code));
    out.append("</faultcode><faultstring>");
    appendEscaped(out, message);
    out.append("</faultstring></soap:Fault></soap:Body></soap:Envelope>");
    return out;
}

DocumentWriter::DocumentWriter(const char *root) : m_root(root)
{
    m_out.reserve(2048);
    open(m_root);
}

void DocumentWriter::open(const char *name)
{
    m_out.append("&lt;").append(name).append("&gt;");
}

void DocumentWriter::close(const char *name)
{
    m_out.append("&lt;/").append(name).append("&gt;");
}

DocumentWriter &DocumentWriter::beginRecord(const char *tag)
{
    m_record = tag;
    open(m_record);
    return *this;
}

DocumentWriter &DocumentWriter::field(const char *name, const QString &text)
{
    open(name);
    appendText(m_out, text, "&amp;");
    close(name);
    return *this;
}

DocumentWriter &DocumentWriter::field(const char *name, const std::string &utf8)
{
    bool ascii = true;
    for (const char c : utf8)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii)
        return field(name, QString::fromStdString(utf8));
    // Plain ASCII needs no decoding: each byte is its own character.
    open(name);
    for (const char c : utf8) {
        if (c == 0)
            break;
        const char16_t u = static_cast<unsigned char>(c);
        if (isPlain(u))
            m_out.append(c);
        else
            appendText(m_out, QStringView(&u, 1), "&amp;");
    }
    close(name);
    return *this;
}

DocumentWriter &DocumentWriter::field(const char *name, long long number)
{
    open(name);
    appendNumber(m_out, number);
    close(name);
    return *this;
}

DocumentWriter &DocumentWriter::endRecord()
{
    close(m_record);
    return *this;
}

EscapedDocument DocumentWriter::finish()
{
    close(m_root);
    return {std::move(m_out)};
}

} // namespace varnel
