#include "soap_request.h"

#include "xml_pull_parser.h"

#include <QLatin1StringView>
#include <array>

namespace varnel {

namespace {

using quillora::service::XmlPullParser;

constexpr QStringView kEnvelopeNs = u"http://schemas.xmlsoap.org/soap/envelope/";
constexpr QStringView kXsiNs = u"http://www.w3.org/2001/XMLSchema-instance";

// The most in-parameters an operation of the table has, with room to spare.
constexpr size_t kMaxInParams = 16;

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

QLatin1StringView latin1(std::string_view name)
{
    return QLatin1StringView(name.data(), static_cast<qsizetype>(name.size()));
}

// Reads the envelope in one pass with the project's strict pull parser: it
// takes UTF-8 (or UTF-16 with a byte-order mark, or Latin-1 when the XML
// declaration says so), refuses any document type declaration, so no entity
// can be declared, and never reads beyond the body it is given.
class Reader {
  public:
    // `mentionsDoctype`: the body holds "<!DOCTYPE", which names the refusal.
    Reader(QStringView text, const QString &ns, bool mentionsDoctype)
        : m_xml(text), m_ns(ns), m_mentionsDoctype(mentionsDoctype)
    {
    }

    SoapRequest read()
    {
        if (!nextStartElement())
            failWith(QStringLiteral("The request is not a SOAP envelope."));
        m_rootSeen = true;
        if (m_xml.localName() != u"Envelope")
            failWith(QStringLiteral("The request is not a SOAP envelope."));
        if (m_xml.namespaceUri() != kEnvelopeNs)
            failWith(QStringLiteral("Only SOAP 1.1 envelopes (namespace %1) are understood.").arg(kEnvelopeNs),
                     qs::FaultCode::VersionMismatch);

        bool seenHeader = false;
        bool seenBody = false;
        while (nextStartElement()) {
            const bool envelopeNs = m_xml.namespaceUri() == kEnvelopeNs;
            if (envelopeNs && m_xml.localName() == u"Header" && !seenHeader && !seenBody) {
                seenHeader = true;
                readHeader();
            } else if (envelopeNs && m_xml.localName() == u"Body" && !seenBody) {
                seenBody = true;
                readBody();
            } else {
                failWith(QStringLiteral("Unexpected element %1 in the envelope.").arg(echo(m_xml.qualifiedName())));
            }
        }
        // Nothing may follow the envelope but comments and white space (the
        // parser refuses anything else after the root element).
        while (m_xml.next() != XmlPullParser::EndDocument) {
            if (m_xml.hasError())
                malformed();
        }
        if (!seenBody)
            failWith(QStringLiteral("The envelope has no Body."));
        return std::move(m_request);
    }

    const QString &operationName() const { return m_operationName; }

  private:
    [[noreturn]] void malformed()
    {
        // The parser refuses a document type declaration like any other
        // malformed input; say which it was, as that one is refused on purpose.
        // A declaration can only stand before the root element.
        if (m_mentionsDoctype && !m_rootSeen)
            failWith(QStringLiteral("Document type declarations are not accepted in SOAP messages."));
        switch (m_xml.refusal()) {
        case XmlPullParser::Refusal::TooManyAttributes:
            failWith(QStringLiteral("Malformed XML: an element carries more than %1 attributes.")
                         .arg(XmlPullParser::kMaxAttributes));
        case XmlPullParser::Refusal::TooDeep:
            failWith(
                QStringLiteral("Malformed XML: elements are nested more than %1 deep.").arg(XmlPullParser::kMaxDepth));
        case XmlPullParser::Refusal::Malformed:
            break;
        }
        failWith(QStringLiteral("Malformed XML: the request is not well-formed XML text."));
    }

    // Moves to the next child start element; false at the end of the current
    // element. Text between elements may only be white space.
    bool nextStartElement()
    {
        for (;;) {
            switch (m_xml.next()) {
            case XmlPullParser::StartElement:
                return true;
            case XmlPullParser::EndElement:
            case XmlPullParser::EndDocument:
                return false;
            case XmlPullParser::Characters:
                if (!m_xml.isWhitespace())
                    failWith(QStringLiteral("Unexpected text between elements."));
                break;
            case XmlPullParser::Error:
                malformed();
            }
        }
    }

    void skipElement()
    {
        if (!m_xml.skipCurrentElement())
            malformed();
    }

    void readHeader()
    {
        while (nextStartElement()) {
            if (m_xml.localName() == u"CredentialSoapHeader") {
                if (m_xml.namespaceUri() != m_ns)
                    failWith(QStringLiteral("CredentialSoapHeader is in namespace '%1'; this service expects '%2'.")
                                 .arg(echo(m_xml.namespaceUri()), m_ns));
                if (m_request.credential)
                    failWith(QStringLiteral("More than one CredentialSoapHeader."));
                readCredential();
                continue;
            }
            if (isTrue(m_xml.attribute(kEnvelopeNs, u"mustUnderstand")))
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
            const bool isUser = m_xml.localName() == u"Username";
            const bool isPassword = m_xml.localName() == u"Password";
            if (!inParameterNamespace() || (!isUser && !isPassword) || (isUser && seenUser) ||
                (isPassword && seenPassword))
                failWith(
                    QStringLiteral("Unexpected element %1 in CredentialSoapHeader.").arg(echo(m_xml.qualifiedName())));
            QString value = readString(isUser ? QLatin1StringView("Username") : QLatin1StringView("Password"));
            (isUser ? credential.username : credential.password) = std::move(value);
            (isUser ? seenUser : seenPassword) = true;
        }
        m_request.credential = std::move(credential);
    }

    // The current element's text: null for xsi:nil, and an error for child
    // elements. Comments and processing instructions inside are passed over.
    QString readString(QLatin1StringView what)
    {
        if (isTrue(m_xml.attribute(kXsiNs, u"nil"))) {
            // A nil element must be empty.
            if (nextStartElement())
                failWith(QStringLiteral("Element %1 is nil but has content.").arg(what));
            return QString();
        }
        QString text = QLatin1String(""); // present but empty: an empty, non-null string
        for (;;) {
            switch (m_xml.next()) {
            case XmlPullParser::Characters:
                text.append(m_xml.text());
                break;
            case XmlPullParser::EndElement:
                return text;
            case XmlPullParser::StartElement:
                failWith(QStringLiteral("Element %1 must hold text only.").arg(what));
            case XmlPullParser::EndDocument:
            case XmlPullParser::Error:
                malformed();
            }
        }
    }

    void readBody()
    {
        if (!nextStartElement())
            failWith(QStringLiteral("The Body holds no operation."));
        const QStringView name = m_xml.localName();
        if (m_xml.namespaceUri() != m_ns)
            failWith(QStringLiteral("Operation %1 is in namespace '%2'; this service expects '%3'.")
                         .arg(echo(name), echo(m_xml.namespaceUri()), m_ns));
        const QByteArray utf8 = name.toUtf8();
        const qs::OperationDescriptor *op = qs::findOperation(std::string_view(utf8.constData(), utf8.size()));
        if (!op)
            failWith(QStringLiteral("Unknown operation %1.").arg(echo(name)));
        m_operationName = name.toString();
        m_request.operation = op;
        readParameters(*op);
        if (nextStartElement())
            failWith(QStringLiteral("The Body must hold exactly one operation."));
    }

    void readParameters(const qs::OperationDescriptor &op)
    {
        std::array<const qs::ParamDescriptor *, kMaxInParams> inParams{};
        size_t inCount = 0;
        for (const qs::ParamDescriptor &p : op.params) {
            if (p.direction == qs::Direction::In && inCount < kMaxInParams)
                inParams[inCount++] = &p;
        }
        std::array<std::optional<qs::SoapValue>, kMaxInParams> values;
        while (nextStartElement()) {
            const QStringView local = m_xml.localName();
            size_t index = 0;
            while (index < inCount && latin1(inParams[index]->name) != local)
                ++index;
            if (index == inCount || !inParameterNamespace())
                failWith(QStringLiteral("%1 has no parameter %2.").arg(m_operationName, echo(m_xml.qualifiedName())));
            if (values[index])
                failWith(QStringLiteral("Parameter %1 occurs twice.").arg(echo(local)));
            values[index] = readValue(*inParams[index]);
        }
        m_request.inValues.reserve(inCount);
        for (size_t i = 0; i < inCount; ++i) {
            if (!values[i])
                failWith(
                    QStringLiteral("Parameter %1 of %2 is missing.").arg(latin1(inParams[i]->name), m_operationName));
            m_request.inValues.push_back(std::move(*values[i]));
        }
    }

    qs::SoapValue readValue(const qs::ParamDescriptor &p)
    {
        const QLatin1StringView name = latin1(p.name);
        if (p.type != qs::ParamType::String && isTrue(m_xml.attribute(kXsiNs, u"nil")))
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
            const QStringView t = QStringView(text).trimmed();
            if (t == u"true" || t == u"1")
                return qs::SoapValue::ofBool(true);
            if (t == u"false" || t == u"0")
                return qs::SoapValue::ofBool(false);
            failWith(QStringLiteral("Parameter %1 must be a boolean.").arg(name));
        }
        }
        failWith(QStringLiteral("Parameter %1 has an unknown type.").arg(name));
    }

    XmlPullParser m_xml;
    const QString &m_ns;
    SoapRequest m_request;
    QString m_operationName;
    bool m_mentionsDoctype;
    bool m_rootSeen = false;
};

// Whether "<!DOCTYPE" stands before anything that looks like an element's
// start tag: only there is it a document type declaration.
bool doctypeBeforeRoot(const QByteArray &body)
{
    const qsizetype doctype = body.indexOf("<!DOCTYPE");
    if (doctype < 0)
        return false;
    for (qsizetype i = 0; i + 1 < doctype; ++i) {
        const char c = body[i + 1];
        if (body[i] == '<' && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c & 0x80)))
            return false;
    }
    return true;
}

} // namespace

std::optional<int> parseStrictInt(QStringView text)
{
    text = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(value);
}

RequestReadResult readSoapRequest(const QByteArray &body, const QString &serviceNamespace)
{
    RequestReadResult result;
    QString text;
    if (!XmlPullParser::decode(body, text)) {
        result.fault =
            RequestFault{qs::FaultCode::Client,
                         QStringLiteral("Malformed XML: the request is not UTF-8, UTF-16 or Latin-1 text."), QString()};
        return result;
    }
    Reader reader(text, serviceNamespace, doctypeBeforeRoot(body));
    try {
        result.request = reader.read();
    } catch (const Failure &f) {
        result.fault = RequestFault{f.code, f.message, reader.operationName()};
    }
    return result;
}

} // namespace varnel
