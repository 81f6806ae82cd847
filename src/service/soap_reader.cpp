#include "soap_reader.h"

#include <QXmlStreamReader>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace quillora::service {
namespace {

const QString kEnvelopeNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString kXsiNs = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

bool isTrueText(QStringView v)
{
    return v == u"true" || v == u"1";
}

// Reads to the end of the current element, ignoring what it holds.
bool skipElement(QXmlStreamReader &xml)
{
    xml.skipCurrentElement();
    return !xml.hasError();
}

// Signed decimal with optional leading white space and sign; nothing may
// follow, and the value must fit in 32 bits.
bool parseStrictInt(QStringView text, int &value)
{
    QByteArray ascii;
    ascii.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
        ascii.append(static_cast<char>(c.unicode()));
    }
    const char *begin = ascii.constData();
    const char *p = begin;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    const char *digits = p;
    if (*digits == '+' || *digits == '-')
        ++digits;
    if (*digits < '0' || *digits > '9')
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(p, &end, 10);
    if (errno == ERANGE || end != begin + ascii.size() || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

class ResponseParser {
  public:
    ResponseParser(const OperationDescriptor &op, SoapValues &out, FaultRecord &fault) : m_out(out), m_fault(fault)
    {
        for (const ParamDescriptor &p : op.params)
            if (p.direction == Direction::Out)
                m_outParams.push_back(&p);
        m_out.assign(m_outParams.size(), SoapValue{});
        for (size_t i = 0; i < m_outParams.size(); ++i)
            m_out[i] = SoapValue::cleared(m_outParams[i]->type);
        m_seen.assign(m_outParams.size(), false);
    }

    bool parse(const QByteArray &body)
    {
        QXmlStreamReader xml(body);
        xml.setNamespaceProcessing(true);
        if (!nextElement(xml))
            return false;
        if (xml.tokenType() != QXmlStreamReader::StartElement || xml.name() != u"Envelope" ||
            xml.namespaceUri() != kEnvelopeNs)
            return false;
        return readEnvelope(xml);
    }

  private:
    // Advances to the next start or end element; false on an error or a DTD.
    static bool nextElement(QXmlStreamReader &xml)
    {
        while (!xml.atEnd()) {
            const auto t = xml.readNext();
            if (t == QXmlStreamReader::DTD || t == QXmlStreamReader::EntityReference)
                return false;
            if (t == QXmlStreamReader::StartElement || t == QXmlStreamReader::EndElement)
                return true;
        }
        return false;
    }

    bool readEnvelope(QXmlStreamReader &xml)
    {
        // Children of Envelope until Body: Header is read, other envelope
        // elements are passed over, anything else fails.
        int depth = 0; // depth of transparent envelope elements we are inside
        while (nextElement(xml)) {
            if (xml.tokenType() == QXmlStreamReader::EndElement) {
                if (depth == 0)
                    return false; // Envelope ended without a Body
                --depth;
                continue;
            }
            if (xml.namespaceUri() != kEnvelopeNs)
                return false;
            if (xml.name() == u"Header") {
                if (depth != 0 || !readHeader(xml))
                    return false;
            } else if (xml.name() == u"Body") {
                if (depth != 0)
                    return false;
                return readBody(xml);
            } else {
                ++depth;
            }
        }
        return false;
    }

    bool readHeader(QXmlStreamReader &xml)
    {
        while (nextElement(xml)) {
            if (xml.tokenType() == QXmlStreamReader::EndElement)
                return true; // end of Header
            const QStringView mu = xml.attributes().value(kEnvelopeNs, QStringLiteral("mustUnderstand"));
            if (isTrueText(mu)) {
                m_fault.code = FaultCode::MustUnderstand;
                return false;
            }
            if (!skipElement(xml))
                return false;
        }
        return false;
    }

    bool readBody(QXmlStreamReader &xml)
    {
        bool wrapperSeen = false;
        while (nextElement(xml)) {
            if (xml.tokenType() == QXmlStreamReader::EndElement)
                return finish(xml); // end of Body
            if (!wrapperSeen) {
                wrapperSeen = true;
                if (!readWrapper(xml))
                    return false;
            } else if (!readParam(xml)) {
                // An element after the wrapper is taken as one more result.
                return false;
            }
        }
        return false;
    }

    bool finish(QXmlStreamReader &xml)
    {
        // The rest of the document must still be well-formed.
        while (!xml.atEnd()) {
            const auto t = xml.readNext();
            if (t == QXmlStreamReader::DTD || t == QXmlStreamReader::EntityReference)
                return false;
        }
        return !xml.hasError();
    }

    bool readWrapper(QXmlStreamReader &xml)
    {
        while (nextElement(xml)) {
            if (xml.tokenType() == QXmlStreamReader::EndElement)
                return requiredSeen();
            if (!readParam(xml))
                return false;
        }
        return false;
    }

    bool requiredSeen() const
    {
        for (size_t i = 0; i < m_outParams.size(); ++i)
            if (!m_outParams[i]->nullable() && !m_seen[i])
                return false;
        return true;
    }

    bool readParam(QXmlStreamReader &xml)
    {
        const QStringView name = xml.name();
        size_t index = m_outParams.size();
        for (size_t i = 0; i < m_outParams.size(); ++i) {
            if (name ==
                QLatin1String(m_outParams[i]->name.data(), static_cast<qsizetype>(m_outParams[i]->name.size()))) {
                index = i;
                break;
            }
        }
        if (index == m_outParams.size() || m_seen[index])
            return false;
        m_seen[index] = true;
        const ParamDescriptor &p = *m_outParams[index];
        const bool nil = isTrueText(xml.attributes().value(kXsiNs, QStringLiteral("nil")));

        QString text;
        bool hasContent = false;
        while (!xml.atEnd()) {
            const auto t = xml.readNext();
            if (t == QXmlStreamReader::Characters) {
                text += xml.text();
                hasContent = true;
            } else if (t == QXmlStreamReader::EndElement) {
                break;
            } else if (t == QXmlStreamReader::Comment || t == QXmlStreamReader::ProcessingInstruction) {
                continue;
            } else {
                return false; // nested elements, entities, errors
            }
        }
        if (xml.hasError())
            return false;
        if (nil)
            return p.nullable(); // a nil string stays null; nil is not allowed elsewhere

        SoapValue &v = m_out[index];
        switch (p.type) {
        case ParamType::String:
            if (hasContent)
                v.string = text;
            return true;
        case ParamType::Int:
            return !hasContent || parseStrictInt(text, v.integer);
        case ParamType::Boolean:
            if (text == u"true" || text == u"1")
                v.boolean = true;
            else if (text == u"false" || text == u"0")
                v.boolean = false;
            else
                return false;
            return true;
        }
        return false;
    }

    SoapValues &m_out;
    FaultRecord &m_fault;
    std::vector<const ParamDescriptor *> m_outParams;
    std::vector<bool> m_seen;
};

// Namespace declarations in scope, innermost last, for resolving the prefix
// of the faultcode QName.
class NamespaceScope {
  public:
    void push(const QXmlStreamNamespaceDeclarations &decls)
    {
        m_frames.push_back(m_bindings.size());
        for (const auto &d : decls)
            m_bindings.push_back({d.prefix().toString(), d.namespaceUri().toString()});
    }
    void pop()
    {
        if (m_frames.empty())
            return;
        m_bindings.resize(m_frames.back());
        m_frames.pop_back();
    }
    QString resolve(QStringView prefix) const
    {
        for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it)
            if (it->first == prefix)
                return it->second;
        return QString();
    }

  private:
    std::vector<std::pair<QString, QString>> m_bindings;
    std::vector<size_t> m_frames;
};

} // namespace

bool readResponseEnvelope(const QByteArray &body, const OperationDescriptor &op, SoapValues &out, FaultRecord &fault)
{
    ResponseParser parser(op, out, fault);
    if (parser.parse(body))
        return true;
    // Nothing half-read survives a failed parse.
    for (SoapValue &v : out)
        v = SoapValue::cleared(v.type);
    return false;
}

bool readFaultEnvelope(const QByteArray &body, FaultRecord &fault)
{
    fault = FaultRecord{};
    QXmlStreamReader xml(body);
    xml.setNamespaceProcessing(true);
    NamespaceScope scope;

    enum class Stage { Document, Envelope, Body, Fault, Done };
    Stage stage = Stage::Document;
    bool anyField = false;
    bool seenCode = false, seenString = false, seenActor = false, seenDetail = false;

    while (!xml.atEnd()) {
        const auto t = xml.readNext();
        if (t == QXmlStreamReader::DTD || t == QXmlStreamReader::EntityReference)
            return false;
        if (t == QXmlStreamReader::EndElement) {
            scope.pop();
            if (stage == Stage::Fault)
                stage = Stage::Done; // Fault has ended
            continue;
        }
        if (t != QXmlStreamReader::StartElement)
            continue;
        scope.push(xml.namespaceDeclarations());
        const QStringView name = xml.name();
        const bool envNs = xml.namespaceUri() == kEnvelopeNs;
        switch (stage) {
        case Stage::Document:
            if (!envNs || name != u"Envelope")
                return false;
            stage = Stage::Envelope;
            break;
        case Stage::Envelope:
            if (!envNs || name != u"Body")
                return false; // a Header, or anything else, makes the fault unreadable
            stage = Stage::Body;
            break;
        case Stage::Body:
            if (!envNs || name != u"Fault")
                return false;
            stage = Stage::Fault;
            break;
        case Stage::Fault: {
            bool *seen = nullptr;
            if (name == u"faultcode")
                seen = &seenCode;
            else if (name == u"faultstring")
                seen = &seenString;
            else if (name == u"faultactor")
                seen = &seenActor;
            else if (name == u"detail")
                seen = &seenDetail;
            if (!seen) {
                if (!anyField)
                    return false;
                xml.skipCurrentElement();
                scope.pop();
                break;
            }
            if (*seen)
                return false;
            *seen = true;
            anyField = true;
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
            if (xml.hasError())
                return false;
            if (name == u"faultcode") {
                const qsizetype colon = text.indexOf(QLatin1Char(':'));
                if (colon <= 0)
                    return false;
                const QString prefix = text.left(colon).trimmed();
                if (scope.resolve(prefix) != kEnvelopeNs)
                    return false;
                const QString local = text.mid(colon + 1).trimmed();
                fault.codeText = text;
                if (local == u"VersionMismatch")
                    fault.code = FaultCode::VersionMismatch;
                else if (local == u"MustUnderstand")
                    fault.code = FaultCode::MustUnderstand;
                else if (local == u"Client")
                    fault.code = FaultCode::Client;
                else if (local == u"Server")
                    fault.code = FaultCode::Server;
                else
                    fault.code = FaultCode::None;
            } else if (name == u"faultstring") {
                fault.faultString = text;
            } else if (name == u"faultactor") {
                fault.faultActor = text;
            } else {
                fault.detail = text;
            }
            scope.pop();
            break;
        }
        case Stage::Done:
            xml.skipCurrentElement();
            scope.pop();
            break;
        }
    }
    if (xml.hasError() || stage != Stage::Done)
        return false;
    return true;
}

} // namespace quillora::service
