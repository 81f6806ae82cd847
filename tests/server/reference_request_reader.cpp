// The request reader as it was built on Qt's XML stream reader, kept as the
// reference that the server's own reader is compared with: both must read
// every envelope to the same request, or refuse it with the same fault code.
#include "reference_request_reader.h"

#include <QXmlStreamReader>
#include <vector>

namespace varnel::reference {

using varnel::parseStrictInt;

namespace {

const QString kEnvelopeNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString kXsiNs = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

bool isTrue(QStringView text)
{
    return text == u"true" || text == u"1";
}

// Thrown inside the reader and turned into a RequestFault at its edge.
struct Failure {
    qs::FaultCode code;
    QString message;
};

// A value from the request as a fault text repeats it: at most 64
// characters, so that a fault (and the log line that carries it) never grows
// with what a caller sends.
QString echo(QStringView value)
{
    constexpr qsizetype kMaxEcho = 64;
    return value.size() <= kMaxEcho ? value.toString() : value.left(kMaxEcho).toString() + QStringLiteral("...");
}

[[noreturn]] void failWith(const QString &message, qs::FaultCode code = qs::FaultCode::Client)
{
    throw Failure{code, message};
}

class Reader {
  public:
    Reader(const QByteArray &body, const QString &ns) : m_xml(body), m_ns(ns) {}

    SoapRequest read()
    {
        if (!nextStartElement())
            failWith(QStringLiteral("The request is not a SOAP envelope."));
        if (m_xml.name() != u"Envelope")
            failWith(QStringLiteral("The request is not a SOAP envelope."));
        if (m_xml.namespaceUri() != kEnvelopeNs)
            failWith(QStringLiteral("Only SOAP 1.1 envelopes (namespace %1) are understood.").arg(kEnvelopeNs),
                     qs::FaultCode::VersionMismatch);

        bool seenHeader = false;
        bool seenBody = false;
        while (nextStartElement()) {
            const bool envelopeNs = m_xml.namespaceUri() == kEnvelopeNs;
            if (envelopeNs && m_xml.name() == u"Header" && !seenHeader && !seenBody) {
                seenHeader = true;
                readHeader();
            } else if (envelopeNs && m_xml.name() == u"Body" && !seenBody) {
                seenBody = true;
                readBody();
            } else {
                failWith(QStringLiteral("Unexpected element %1 in the envelope.").arg(echo(m_xml.qualifiedName())));
            }
        }
        // Nothing may follow the envelope but comments and white space.
        while (!m_xml.atEnd()) {
            m_xml.readNext();
            checkToken();
        }
        if (!seenBody)
            failWith(QStringLiteral("The envelope has no Body."));
        return std::move(m_request);
    }

    const QString &operationName() const { return m_operationName; }

  private:
    // Stops on token kinds a SOAP message must not contain, and on malformed XML.
    void checkToken()
    {
        if (m_xml.hasError())
            failWith(QStringLiteral("Malformed XML: %1 (line %2, column %3).")
                         .arg(m_xml.errorString())
                         .arg(m_xml.lineNumber())
                         .arg(m_xml.columnNumber()));
        switch (m_xml.tokenType()) {
        case QXmlStreamReader::DTD:
            failWith(QStringLiteral("Document type declarations are not accepted in SOAP messages."));
        case QXmlStreamReader::EntityReference:
            failWith(QStringLiteral("Undeclared entity reference."));
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace())
                failWith(QStringLiteral("Unexpected text between elements."));
            break;
        default:
            break;
        }
    }

    // Moves to the next child start element; false at the end of the current element.
    bool nextStartElement()
    {
        while (!m_xml.atEnd()) {
            m_xml.readNext();
            checkToken();
            if (m_xml.isStartElement())
                return true;
            if (m_xml.isEndElement())
                return false;
        }
        checkToken();
        return false;
    }

    void skipElement()
    {
        m_xml.skipCurrentElement();
        checkToken();
    }

    void readHeader()
    {
        while (nextStartElement()) {
            if (m_xml.name() == u"CredentialSoapHeader") {
                if (m_xml.namespaceUri() != m_ns)
                    failWith(QStringLiteral("CredentialSoapHeader is in namespace '%1'; this service expects '%2'.")
                                 .arg(echo(m_xml.namespaceUri()), m_ns));
                if (m_request.credential)
                    failWith(QStringLiteral("More than one CredentialSoapHeader."));
                readCredential();
                continue;
            }
            if (isTrue(m_xml.attributes().value(kEnvelopeNs, QStringLiteral("mustUnderstand"))))
                failWith(QStringLiteral("Header %1 is not understood.").arg(echo(m_xml.qualifiedName())),
                         qs::FaultCode::MustUnderstand);
            skipElement();
        }
    }

    bool inParameterNamespace() const
    {
        // Parameters are written without a prefix and fall in the default
        // namespace declared by their parent; accept no namespace too.
        return m_xml.namespaceUri().isEmpty() || m_xml.namespaceUri() == m_ns;
    }

    void readCredential()
    {
        qs::CredentialHeader credential;
        bool seenUser = false;
        bool seenPassword = false;
        while (nextStartElement()) {
            const bool isUser = m_xml.name() == u"Username";
            const bool isPassword = m_xml.name() == u"Password";
            if (!inParameterNamespace() || (!isUser && !isPassword) || (isUser && seenUser) ||
                (isPassword && seenPassword))
                failWith(
                    QStringLiteral("Unexpected element %1 in CredentialSoapHeader.").arg(echo(m_xml.qualifiedName())));
            const QString value = readString(isUser ? QStringLiteral("Username") : QStringLiteral("Password"));
            (isUser ? credential.username : credential.password) = value;
            (isUser ? seenUser : seenPassword) = true;
        }
        m_request.credential = credential;
    }

    // The current element's text: null for xsi:nil, and an error for child elements.
    QString readString(const QString &what)
    {
        if (isTrue(m_xml.attributes().value(kXsiNs, QStringLiteral("nil")))) {
            // A nil element must be empty.
            if (nextStartElement())
                failWith(QStringLiteral("Element %1 is nil but has content.").arg(echo(what)));
            return QString();
        }
        QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            failWith(QStringLiteral("Element %1 must hold text only.").arg(echo(what)));
        if (text.isNull())
            text = QLatin1String(""); // present but empty: an empty, non-null string
        return text;
    }

    void readBody()
    {
        if (!nextStartElement())
            failWith(QStringLiteral("The Body holds no operation."));
        const QString name = m_xml.name().toString();
        if (m_xml.namespaceUri() != m_ns)
            failWith(QStringLiteral("Operation %1 is in namespace '%2'; this service expects '%3'.")
                         .arg(echo(name), echo(m_xml.namespaceUri()), m_ns));
        const QByteArray utf8 = name.toUtf8();
        const qs::OperationDescriptor *op = qs::findOperation(std::string_view(utf8.constData(), utf8.size()));
        if (!op)
            failWith(QStringLiteral("Unknown operation %1.").arg(echo(name)));
        m_operationName = name;
        m_request.operation = op;
        readParameters(*op);
        if (nextStartElement())
            failWith(QStringLiteral("The Body must hold exactly one operation."));
    }

    void readParameters(const qs::OperationDescriptor &op)
    {
        std::vector<const qs::ParamDescriptor *> inParams;
        for (const qs::ParamDescriptor &p : op.params) {
            if (p.direction == qs::Direction::In)
                inParams.push_back(&p);
        }
        std::vector<std::optional<qs::SoapValue>> values(inParams.size());
        while (nextStartElement()) {
            const QByteArray local = m_xml.name().toUtf8();
            const std::string_view localName(local.constData(), local.size());
            size_t index = 0;
            while (index < inParams.size() && inParams[index]->name != localName)
                ++index;
            if (index == inParams.size() || !inParameterNamespace())
                failWith(QStringLiteral("%1 has no parameter %2.").arg(m_operationName, echo(m_xml.qualifiedName())));
            if (values[index])
                failWith(QStringLiteral("Parameter %1 occurs twice.").arg(echo(QString::fromUtf8(local))));
            values[index] = readValue(*inParams[index]);
        }
        m_request.inValues.reserve(inParams.size());
        for (size_t i = 0; i < inParams.size(); ++i) {
            if (!values[i])
                failWith(
                    QStringLiteral("Parameter %1 of %2 is missing.")
                        .arg(QString::fromUtf8(inParams[i]->name.data(), inParams[i]->name.size()), m_operationName));
            m_request.inValues.push_back(*values[i]);
        }
    }

    qs::SoapValue readValue(const qs::ParamDescriptor &p)
    {
        const QString name = QString::fromUtf8(p.name.data(), static_cast<qsizetype>(p.name.size()));
        if (p.type != qs::ParamType::String && isTrue(m_xml.attributes().value(kXsiNs, QStringLiteral("nil"))))
            failWith(QStringLiteral("Parameter %1 may not be nil.").arg(name));
        const QString text = readString(name);
        switch (p.type) {
        case qs::ParamType::String:
            return qs::SoapValue::ofString(text);
        case qs::ParamType::Int:
            if (auto value = parseStrictInt(text))
                return qs::SoapValue::ofInt(*value);
            failWith(QStringLiteral("Parameter %1 must be a 32-bit integer.").arg(name));
        case qs::ParamType::Boolean: {
            const QString t = text.trimmed();
            if (t == u"true" || t == u"1")
                return qs::SoapValue::ofBool(true);
            if (t == u"false" || t == u"0")
                return qs::SoapValue::ofBool(false);
            failWith(QStringLiteral("Parameter %1 must be a boolean.").arg(name));
        }
        }
        failWith(QStringLiteral("Parameter %1 has an unknown type.").arg(name));
    }

    QXmlStreamReader m_xml;
    QString m_ns;
    SoapRequest m_request;
    QString m_operationName;
};

} // namespace

RequestReadResult readSoapRequest(const QByteArray &body, const QString &serviceNamespace)
{
    Reader reader(body, serviceNamespace);
    RequestReadResult result;
    try {
        result.request = reader.read();
    } catch (const Failure &f) {
        result.fault = RequestFault{f.code, f.message, reader.operationName()};
    }
    return result;
}

} // namespace varnel::reference
