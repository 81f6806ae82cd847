// Writes the token stream of a document as text, from our parser and from
// QXmlStreamReader, so the two can be compared.
#pragma once

#include "xml_pull_parser.h"

#include <QXmlStreamReader>

namespace quillora::service::testing {

inline void addLine(QString &out, char kind, QStringView ns, QStringView name)
{
    out += QLatin1Char(kind);
    out += QLatin1Char('{');
    out += ns;
    out += QLatin1Char('}');
    out += name;
    out += QLatin1Char('\n');
}

inline void addAttribute(QString &out, QStringView ns, QStringView name, QStringView value)
{
    out += QStringLiteral("@{");
    out += ns;
    out += QLatin1Char('}');
    out += name;
    out += QLatin1Char('=');
    out += value;
    out += QLatin1Char('\n');
}

inline void addText(QString &out, QStringView text)
{
    out += QStringLiteral("T<");
    out += text;
    out += QStringLiteral(">\n");
}

// "S{ns}local" for a start element with its attributes "@{ns}local=value",
// "E{ns}local" for an end, "T<text>" for character data (adjacent runs
// merged), and "ERROR" when the document is not accepted.
inline QString dumpOurs(QStringView text, bool ns = true)
{
    XmlPullParser xml(text, ns);
    QString out;
    for (;;) {
        switch (xml.next()) {
        case XmlPullParser::StartElement:
            addLine(out, 'S', xml.namespaceUri(), ns ? xml.localName() : xml.qualifiedName());
            for (qsizetype i = 0; i < xml.attributeCount(); ++i)
                addAttribute(out, xml.attributeNamespaceUri(i), xml.attributeName(i), xml.attributeValue(i));
            break;
        case XmlPullParser::EndElement:
            addLine(out, 'E', xml.namespaceUri(), ns ? xml.localName() : xml.qualifiedName());
            break;
        case XmlPullParser::Characters:
            addText(out, xml.text());
            break;
        case XmlPullParser::EndDocument:
            return out;
        case XmlPullParser::Error:
            return QStringLiteral("ERROR");
        }
    }
}

inline QString dumpQt(QStringView text)
{
    QXmlStreamReader xml(text.toString());
    QString out;
    QString pending;
    int depth = 0;
    auto flush = [&] {
        if (!pending.isEmpty())
            addText(out, pending);
        pending.clear();
    };
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            flush();
            ++depth;
            addLine(out, 'S', xml.namespaceUri(), xml.name());
            for (const QXmlStreamAttribute &a : xml.attributes())
                addAttribute(out, a.namespaceUri(), a.name(), a.value());
            break;
        case QXmlStreamReader::EndElement:
            flush();
            --depth;
            addLine(out, 'E', xml.namespaceUri(), xml.name());
            break;
        case QXmlStreamReader::Characters:
            if (depth > 0) // text outside the root element is white space, not reported
                pending += xml.text();
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return QStringLiteral("ERROR");
    return out;
}

} // namespace quillora::service::testing
