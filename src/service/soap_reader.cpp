#include "soap_reader.h"

#include "xml_pull_parser.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace quillora::service {
namespace {

constexpr QStringView kEnvelopeNs = u"http://schemas.xmlsoap.org/soap/envelope/";
constexpr QStringView kXsiNs = u"http://www.w3.org/2001/XMLSchema-instance";

using Xml = XmlPullParser;

bool isTrueText(QStringView v)
{
    return v == u"true" || v == u"1";
}

// Advances to the next start or end element, passing over character data.
bool nextElement(Xml &xml)
{
    for (;;) {
        switch (xml.next()) {
        case Xml::StartElement:
        case Xml::EndElement:
            return true;
        case Xml::Characters:
            continue;
        case Xml::EndDocument:
        case Xml::Error:
            return false;
        }
    }
}

// Reads the rest of the document: it must still be well-formed.
bool readToEnd(Xml &xml)
{
    for (;;) {
        const auto t = xml.next();
        if (t == Xml::EndDocument)
            return true;
        if (t == Xml::Error)
            return false;
    }
}

// Signed decimal with optional leading white space and sign; nothing may
// follow, and the value must fit in 32 bits.
bool parseStrictInt(QStringView text, int &value)
{
    QByteArray ascii;
    ascii.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() > 0x7f || c.unicode() == 0)
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
        m_out.clear();
        for (const ParamDescriptor *p : m_outParams)
            m_out.push_back(SoapValue::cleared(p->type));
        m_seen.assign(m_outParams.size(), false);
    }

    bool parse(const QByteArray &body)
    {
        QString text;
        if (!Xml::decode(body, text))
            return false;
        Xml xml(text);
        if (!nextElement(xml) || xml.token() != Xml::StartElement || xml.localName() != u"Envelope" ||
            xml.namespaceUri() != kEnvelopeNs)
            return false;
        return readEnvelope(xml);
    }

  private:
    bool readEnvelope(Xml &xml)
    {
        // Children of Envelope until Body: Header is read, other envelope
        // elements are passed over (their content still counts), anything
        // else fails.
        int transparent = 0;
        while (nextElement(xml)) {
            if (xml.token() == Xml::EndElement) {
                if (transparent == 0)
                    return false; // Envelope ended without a Body
                --transparent;
                continue;
            }
            if (xml.namespaceUri() != kEnvelopeNs)
                return false;
            if (xml.localName() == u"Header") {
                if (transparent != 0 || !readHeader(xml))
                    return false;
            } else if (xml.localName() == u"Body") {
                if (transparent != 0)
                    return false;
                return readBody(xml);
            } else {
                ++transparent;
            }
        }
        return false;
    }

    bool readHeader(Xml &xml)
    {
        while (nextElement(xml)) {
            if (xml.token() == Xml::EndElement)
                return true; // end of Header
            if (isTrueText(xml.attribute(kEnvelopeNs, u"mustUnderstand"))) {
                m_fault.code = FaultCode::MustUnderstand;
                return false;
            }
            if (!xml.skipCurrentElement())
                return false;
        }
        return false;
    }

    bool readBody(Xml &xml)
    {
        bool wrapperSeen = false;
        while (nextElement(xml)) {
            if (xml.token() == Xml::EndElement)
                return readToEnd(xml); // end of Body
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

    bool readWrapper(Xml &xml)
    {
        while (nextElement(xml)) {
            if (xml.token() == Xml::EndElement)
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

    bool readParam(Xml &xml)
    {
        const QStringView name = xml.localName();
        size_t index = m_outParams.size();
        for (size_t i = 0; i < m_outParams.size(); ++i) {
            const std::string_view n = m_outParams[i]->name;
            if (name == QLatin1String(n.data(), static_cast<qsizetype>(n.size()))) {
                index = i;
                break;
            }
        }
        if (index == m_outParams.size() || m_seen[index])
            return false;
        m_seen[index] = true;
        const ParamDescriptor &p = *m_outParams[index];
        const bool nil = isTrueText(xml.attribute(kXsiNs, u"nil"));

        QString text;
        bool hasContent = false;
        for (;;) {
            const auto t = xml.next();
            if (t == Xml::Characters) {
                text += xml.text();
                hasContent = true;
            } else if (t == Xml::EndElement) {
                break;
            } else {
                return false; // nested elements, errors
            }
        }
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

// The text directly inside the current element; child elements and their
// content are passed over. False on an error.
bool readOwnText(Xml &xml, QString &text)
{
    text = QLatin1String("");
    for (;;) {
        switch (xml.next()) {
        case Xml::Characters:
            text += xml.text();
            break;
        case Xml::StartElement:
            if (!xml.skipCurrentElement())
                return false;
            break;
        case Xml::EndElement:
            return true;
        case Xml::EndDocument:
        case Xml::Error:
            return false;
        }
    }
}

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

namespace {

bool readFault(const QString &text, FaultRecord &fault)
{
    Xml xml(text);

    // Envelope, Body and Fault, each the first element inside the one before.
    const QStringView path[] = {u"Envelope", u"Body", u"Fault"};
    for (const QStringView name : path) {
        if (!nextElement(xml) || xml.token() != Xml::StartElement || xml.localName() != name ||
            xml.namespaceUri() != kEnvelopeNs)
            return false; // a Header, or anything else, makes the fault unreadable
    }

    bool anyField = false;
    bool seenCode = false, seenString = false, seenActor = false, seenDetail = false;
    while (nextElement(xml)) {
        if (xml.token() == Xml::EndElement)
            break; // end of Fault
        const QStringView name = xml.localName();
        bool *seen = nullptr;
        QString *target = nullptr;
        if (name == u"faultcode") {
            seen = &seenCode;
            target = &fault.codeText;
        } else if (name == u"faultstring") {
            seen = &seenString;
            target = &fault.faultString;
        } else if (name == u"faultactor") {
            seen = &seenActor;
            target = &fault.faultActor;
        } else if (name == u"detail") {
            seen = &seenDetail;
            target = &fault.detail;
        }
        if (!seen) {
            if (!anyField || !xml.skipCurrentElement())
                return false;
            continue;
        }
        if (*seen)
            return false;
        *seen = true;
        anyField = true;
        if (!readOwnText(xml, *target))
            return false;
        if (seen == &seenCode) {
            // A QName whose prefix is bound to the envelope namespace; the
            // faultcode element's scope is still open at its end tag.
            const QString code = fault.codeText.trimmed();
            const qsizetype colon = code.indexOf(QLatin1Char(':'));
            if (colon <= 0 || xml.resolvePrefix(QStringView(code).left(colon)) != kEnvelopeNs)
                return false;
            const QStringView local = QStringView(code).mid(colon + 1);
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
        }
    }
    if (xml.hasError() || xml.token() != Xml::EndElement)
        return false;
    // Whatever follows the Fault must still be well-formed.
    return readToEnd(xml);
}

} // namespace

bool readFaultEnvelope(const QByteArray &body, FaultRecord &fault)
{
    fault = FaultRecord{};
    QString text;
    if (XmlPullParser::decode(body, text) && readFault(text, fault))
        return true;
    fault = FaultRecord{};
    return false;
}

} // namespace quillora::service
