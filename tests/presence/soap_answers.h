// Canned service answers for a scripted HTTP peer: the 200 response that
// carries one result document, as the service writes it.
#pragma once

#include "scripted_http_peer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillora::presence::test {

inline QByteArray xmlEscaped(const QString &text)
{
    QString t = text;
    t.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    t.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    t.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return t.toUtf8();
}

// `operation`'s response with `document` as its one string result, for a
// client whose site host is 127.0.0.1.
inline QByteArray soapAnswer(const char *operation, const QString &document)
{
    const QByteArray op(operation);
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body><" +
                      op + "Response xmlns=\"http://127.0.0.1/Services/VarnelServices\"><" + op + "Result>" +
                      xmlEscaped(document) + "</" + op + "Result></" + op + "Response></soap:Body></soap:Envelope>";
    return testpeers::httpResponse(200, {{"Content-Type", "text/xml; charset=utf-8"}}, body);
}

// A document of `tag` records, each with the given field texts.
inline QString recordsDocument(const QString &tag, const QList<QStringList> &records)
{
    QString xml = QStringLiteral("<Users>");
    for (const QStringList &fields : records) {
        xml += QLatin1Char('<') + tag + QLatin1Char('>');
        for (int i = 0; i < fields.size(); ++i)
            xml += QStringLiteral("<F%1>%2</F%1>").arg(i).arg(QString::fromUtf8(xmlEscaped(fields[i])));
        xml += QStringLiteral("</") + tag + QLatin1Char('>');
    }
    return xml + QStringLiteral("</Users>");
}

} // namespace quillora::presence::test
