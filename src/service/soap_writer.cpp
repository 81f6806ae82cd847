#include "soap_writer.h"

#include <cstdio>

namespace quillora::service {
namespace {

constexpr char kEnvelopeStart[] =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
static_assert(sizeof(kEnvelopeStart) - 1 == 227, "the envelope start is 227 characters");

void appendHexReference(QByteArray &out, char32_t value, int digits)
{
    char buffer[16];
    const int n = std::snprintf(buffer, sizeof buffer, "&#x%0*X;", digits, static_cast<unsigned>(value));
    out.append(buffer, n);
}

void appendName(QByteArray &out, std::string_view name)
{
    out.append(name.data(), static_cast<qsizetype>(name.size()));
}

// Namespaces come from configuration: written as escaped text, they can never
// break out of the attribute whatever the host name holds.
void appendAttribute(QByteArray &out, const char *name, const QString &value)
{
    out.append(' ');
    out.append(name);
    out.append("=\"");
    QByteArray escaped;
    appendEscapedText(escaped, value);
    escaped.replace("\"", "&quot;");
    out.append(escaped);
    out.append('"');
}

} // namespace

void appendEscapedText(QByteArray &out, QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == 0)
            return; // the text ends at its first zero character
        switch (c) {
        case u'&':
            out.append("&amp;");
            continue;
        case u'<':
            out.append("&lt;");
            continue;
        case u'>':
            out.append("&gt;");
            continue;
        default:
            break;
        }
        if (c >= 0x20 && c <= 0x7e) {
            out.append(static_cast<char>(c));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            appendHexReference(out, QChar::surrogateToUcs4(c, text[i + 1].unicode()), 6);
            ++i;
        } else {
            appendHexReference(out, c, 4);
        }
    }
}

void appendValueElement(QByteArray &out, std::string_view name, const SoapValue &value)
{
    if (value.type == ParamType::String && value.string.isNull()) {
        out.append('<');
        appendName(out, name);
        out.append(" xsi:nil=\"1\"/>");
        return;
    }
    out.append('<');
    appendName(out, name);
    out.append('>');
    switch (value.type) {
    case ParamType::String:
        appendEscapedText(out, value.string);
        break;
    case ParamType::Int:
        out.append(QByteArray::number(value.integer));
        break;
    case ParamType::Boolean:
        out.append(value.boolean ? "true" : "false");
        break;
    }
    out.append("</");
    appendName(out, name);
    out.append('>');
}

QByteArray writeRequestEnvelope(const OperationDescriptor &op, const QString &serviceNs, const CredentialHeader &header,
                                std::span<const SoapValue> inValues)
{
    QByteArray out;
    out.reserve(640 + 64 * static_cast<qsizetype>(inValues.size()));
    out.append(kEnvelopeStart);

    out.append("<soap:Header");
    appendAttribute(out, "xmlns", serviceNs);
    out.append("><snp:CredentialSoapHeader");
    appendAttribute(out, "xmlns:snp", serviceNs);
    out.append('>');
    appendValueElement(out, "Username", SoapValue::ofString(header.username));
    appendValueElement(out, "Password", SoapValue::ofString(header.password));
    out.append("</snp:CredentialSoapHeader></soap:Header>");

    out.append("<soap:Body><");
    appendName(out, op.name);
    appendAttribute(out, "xmlns", serviceNs);
    out.append('>');
    size_t next = 0;
    for (const ParamDescriptor &p : op.params) {
        if (p.direction != Direction::In)
            continue;
        const SoapValue value = next < inValues.size() ? inValues[next] : SoapValue::cleared(p.type);
        ++next;
        SoapValue typed = value;
        typed.type = p.type;
        appendValueElement(out, p.name, typed);
    }
    out.append("</");
    appendName(out, op.name);
    out.append("></soap:Body></soap:Envelope>");
    return out;
}

} // namespace quillora::service
