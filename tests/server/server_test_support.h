// Helpers shared by the varnel-server tests that call the real binary through
// the client's proxy.
#pragma once

#include "result_document.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace servertest {

namespace qs = quillora::service;

// A proxy pointed at the test server, with the service account in every header.
inline std::unique_ptr<qs::CVarnelServices> proxyFor(const quillora::testpeers::VarnelServerProcess &server)
{
    auto proxy = std::make_unique<qs::CVarnelServices>(
        qs::SiteAddress{QString::fromStdString(server.host()), static_cast<quint16>(server.port())});
    for (const qs::OperationDescriptor &op : qs::operations())
        proxy->useServiceAccount(op.id);
    return proxy;
}

inline std::vector<qs::DocumentRecord> records(const QString &document, const char16_t *tag, int fields = 20,
                                               int max = 1000)
{
    const qs::DocumentRecords r = qs::readRecords(document, QStringView(tag), max, fields);
    EXPECT_EQ(r.status, qs::DocumentStatus::Ok) << document.toStdString();
    return r.records;
}

inline int toInt(const QString &text)
{
    return qs::leadingInt(text);
}

// Registers a member and returns the user ID from the sign-in document.
inline int registerMember(qs::CVarnelServices &proxy, const QString &name, const QString &password = QString())
{
    bool ok = false;
    const QString pw = password.isNull() ? name + QStringLiteral("pw") : password;
    EXPECT_TRUE(qs::succeeded(proxy.CreateNewUser(
        name, pw, name + QStringLiteral(" N"), 0, name + QStringLiteral("@example.org"), QStringLiteral("3"),
        QStringLiteral("Real Name"), QString(), QString(), QString(), QStringLiteral("guid-") + name, &ok)));
    EXPECT_TRUE(ok) << name.toStdString();
    QString doc;
    EXPECT_TRUE(qs::succeeded(proxy.GetUserByUserName(name, pw, &doc)));
    qs::DocumentStatus status;
    return toInt(qs::readFirstElementText(doc, u"PKID", &status));
}

// Text for an XML element of a hand-written envelope.
inline std::string xmlEscape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A request envelope as the client writes it, with the service account, for
// calls sent as raw bytes (from a chosen address, with chosen headers).
inline std::string envelope(const std::string &operation, const std::string &params)
{
    const std::string ns = "http://127.0.0.1/Services/VarnelServices";
    const auto account = qs::compiledServiceAccount();
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header><CredentialSoapHeader xmlns=\"" +
           ns + "\"><Username>" + xmlEscape(account.username.toStdString()) + "</Username><Password>" +
           xmlEscape(account.password.toStdString()) + "</Password></CredentialSoapHeader></soap:Header><soap:Body><" +
           operation + " xmlns=\"" + ns + "\">" + params + "</" + operation + "></soap:Body></soap:Envelope>";
}

inline std::string param(const std::string &name, const std::string &value)
{
    return "<" + name + ">" + xmlEscape(value) + "</" + name + ">";
}
inline std::string param(const std::string &name, int value)
{
    return param(name, std::to_string(value));
}

} // namespace servertest
