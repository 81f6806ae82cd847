#include "soap_response.h"

#include "soap_writer.h"

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

} // namespace

QByteArray writeResponse(const qs::OperationDescriptor &op, const QString &serviceNamespace,
                         std::span<const qs::SoapValue> outValues)
{
    QByteArray out;
    out.reserve(512);
    out.append(kDeclaration);
    out.append(kEnvelopeStart);
    out.append("<soap:Body><");
    const std::string response = op.responseName();
    out.append(response.data(), static_cast<qsizetype>(response.size()));
    out.append(" xmlns=\"");
    QByteArray ns;
    qs::appendEscapedText(ns, serviceNamespace);
    out.append(ns.replace("\"", "&quot;"));
    out.append("\">");
    size_t next = 0;
    for (const qs::ParamDescriptor &p : op.params) {
        if (p.direction != qs::Direction::Out)
            continue;
        qs::SoapValue value = next < outValues.size() ? outValues[next] : qs::SoapValue::cleared(p.type);
        ++next;
        value.type = p.type;
        qs::appendValueElement(out, p.name, value);
    }
    out.append("</");
    out.append(response.data(), static_cast<qsizetype>(response.size()));
    out.append("></soap:Body></soap:Envelope>");
    return out;
}

QByteArray writeFault(qs::FaultCode code, const QString &message)
{
    QByteArray out;
    out.append(kDeclaration);
    out.append(kEnvelopeStart);
    out.append("<soap:Body><soap:Fault><faultcode>");
    out.append(faultCodeName(code));
    out.append("</faultcode><faultstring>");
    qs::appendEscapedText(out, message);
    out.append("</faultstring></soap:Fault></soap:Body></soap:Envelope>");
    return out;
}

DocumentWriter::DocumentWriter(const char *root) : m_root(root)
{
    m_out.append('<').append(m_root).append('>');
}

DocumentWriter &DocumentWriter::beginRecord(const char *tag)
{
    m_record = tag;
    m_out.append('<').append(m_record).append('>');
    return *this;
}

DocumentWriter &DocumentWriter::field(const char *name, const QString &text)
{
    m_out.append('<').append(name).append('>');
    qs::appendEscapedText(m_out, text);
    m_out.append("</").append(name).append('>');
    return *this;
}

DocumentWriter &DocumentWriter::field(const char *name, const std::string &utf8)
{
    return field(name, QString::fromStdString(utf8));
}

DocumentWriter &DocumentWriter::field(const char *name, long long number)
{
    m_out.append('<').append(name).append('>').append(QByteArray::number(number)).append("</").append(name).append('>');
    return *this;
}

DocumentWriter &DocumentWriter::endRecord()
{
    m_out.append("</").append(m_record).append('>');
    return *this;
}

QString DocumentWriter::finish()
{
    m_out.append("</").append(m_root).append('>');
    return QString::fromLatin1(m_out); // escaped text is 7-bit ASCII
}

} // namespace varnel
