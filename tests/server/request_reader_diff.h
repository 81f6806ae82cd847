// Reads one body with the server's request reader and with the reference
// reader on Qt's XML stream reader, and says where they part: the operation,
// the credential, any value, or the fault code. The server's parser is the
// stricter one; the only difference allowed is that it refuses as malformed
// XML a body that Qt's reader takes or refuses for another reason (a legacy
// code page, a name character Qt lets through, or bytes that are not UTF-8
// further on than the first fault Qt meets, as the server decodes the whole
// body before parsing). Whether a well-formed envelope is read at all is the
// differential test's seed check.
#pragma once

#include "reference_request_reader.h"
#include "soap_request.h"

#include <optional>
#include <string>

namespace varnel::testing {

inline std::string describe(const RequestReadResult &r)
{
    if (!r.request)
        return "fault " + std::to_string(static_cast<int>(r.fault.code)) + ": " + r.fault.message.toStdString();
    const SoapRequest &q = *r.request;
    std::string out = q.operation ? std::string(q.operation->name) : std::string("(none)");
    if (q.credential)
        out += " credential[" +
               (q.credential->username.isNull() ? std::string("nil") : q.credential->username.toStdString()) + "|" +
               (q.credential->password.isNull() ? std::string("nil") : q.credential->password.toStdString()) + "]";
    for (const auto &v : q.inValues)
        out += " {" + std::to_string(static_cast<int>(v.type)) + " " +
               (v.string.isNull() ? std::string("nil") : v.string.toStdString()) + " " + std::to_string(v.integer) +
               " " + std::to_string(v.boolean) + "}";
    return out;
}

inline bool sameValues(const SoapRequest &a, const SoapRequest &b)
{
    if (a.operation != b.operation || a.credential.has_value() != b.credential.has_value())
        return false;
    auto same = [](const QString &x, const QString &y) { return x.isNull() == y.isNull() && x == y; };
    if (a.credential && (!same(a.credential->username, b.credential->username) ||
                         !same(a.credential->password, b.credential->password)))
        return false;
    if (a.inValues.size() != b.inValues.size())
        return false;
    for (size_t i = 0; i < a.inValues.size(); ++i) {
        const auto &x = a.inValues[i];
        const auto &y = b.inValues[i];
        if (x.type != y.type || !same(x.string, y.string) || x.integer != y.integer || x.boolean != y.boolean)
            return false;
    }
    return true;
}

// The server's reader refused the body as text its parser does not take
// (a document type declaration among it).
inline bool refusedAsMalformed(const RequestReadResult &r)
{
    return !r.request && (r.fault.message.startsWith(QStringLiteral("Malformed XML")) ||
                          r.fault.message.startsWith(QStringLiteral("Document type declarations")));
}

// Empty when both readers agree; otherwise what each made of the body.
inline std::optional<std::string> disagreement(const QByteArray &body, const QString &ns)
{
    const RequestReadResult ours = readSoapRequest(body, ns);
    const RequestReadResult reference = reference::readSoapRequest(body, ns);
    bool agree;
    if (refusedAsMalformed(ours))
        agree = true; // stricter, or the same refusal found earlier (the whole body is decoded first)
    else if (ours.request && reference.request)
        agree = sameValues(*ours.request, *reference.request);
    else if (!ours.request && !reference.request)
        agree = ours.fault.code == reference.fault.code;
    else
        agree = false;
    if (agree)
        return std::nullopt;
    return "ours: " + describe(ours) + "\nreference: " + describe(reference);
}

} // namespace varnel::testing
