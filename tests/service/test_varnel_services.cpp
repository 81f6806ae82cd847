// The proxy end to end against a scripted peer: what goes on the wire, and how
// each kind of answer becomes a call status.
#include "scripted_http_peer.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

using namespace quillora::service;
using namespace quillora::testpeers;

namespace {

const QByteArray kEnv = "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>";
const QByteArray kEnvEnd = "</soap:Body></soap:Envelope>";

QByteArray ok200(const QByteArray &wrapper)
{
    return httpResponse(200, {{"Content-Type", "text/xml; charset=utf-8"}}, kEnv + wrapper + kEnvEnd);
}

SiteAddress siteOf(const ScriptedHttpPeer &peer)
{
    return {QStringLiteral("127.0.0.1"), static_cast<quint16>(peer.port())};
}

HttpLimits shortLimits()
{
    HttpLimits l;
    l.connectMs = 2000;
    l.sendMs = 2000;
    l.receiveMs = 400;
    return l;
}

QByteArray headOf(const QByteArray &request)
{
    return request.left(request.indexOf("\r\n\r\n") + 4);
}
QByteArray bodyOf(const QByteArray &request)
{
    return request.mid(request.indexOf("\r\n\r\n") + 4);
}

} // namespace

TEST(VarnelServices, RequestOnTheWire)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(
        ok200("<GetForumPostListByColumnResponse><GetForumPostListByColumnResult>&lt;Posts/&gt;"
              "</GetForumPostListByColumnResult><totalCount>31</totalCount></GetForumPostListByColumnResponse>"))});
    CVarnelServices proxy(siteOf(peer));
    proxy.useServiceAccount(Op::GetForumPostListByColumn);
    QString doc;
    int total = -1;
    ASSERT_EQ(proxy.GetForumPostListByColumn(12, 15, 2, &doc, &total), CallResult::Ok);
    EXPECT_EQ(proxy.callStatus(), StatusSuccess);
    EXPECT_EQ(doc, QStringLiteral("<Posts/>"));
    EXPECT_EQ(total, 31);

    ASSERT_EQ(peer.allRequests().size(), 1u);
    const QByteArray request = peer.allRequests()[0];
    const QByteArray body = bodyOf(request);
    const ServiceAccount account = compiledServiceAccount();
    const QByteArray expectedHead =
        "POST /Varnel/Web/Services/VarnelServices.asmx HTTP/1.1\r\n"
        "Content-Length: " +
        QByteArray::number(body.size()) +
        "\r\n"
        "Content-Type: text/xml; charset=utf-8\r\n"
        "SOAPAction: \"http://127.0.0.1/Services/VarnelServices/GetForumPostListByColumn\"\r\n"
        "Accept: text/xml\r\n"
        "Host: 127.0.0.1\r\n"
        "User-Agent: Quillora-SOAP/3.5\r\n\r\n";
    EXPECT_EQ(headOf(request), expectedHead);
    EXPECT_EQ(body, proxy.lastRequestBody());
    EXPECT_TRUE(body.contains("<Username>" + account.username.toLatin1() + "</Username><Password>" +
                              account.password.toLatin1() + "</Password>"));
    EXPECT_TRUE(body.contains("<GetForumPostListByColumn xmlns=\"http://127.0.0.1/Services/VarnelServices\">"
                              "<forumColumnID>12</forumColumnID><pageSize>15</pageSize>"
                              "<currentPageIndex>2</currentPageIndex></GetForumPostListByColumn>"));
}

TEST(VarnelServices, HeaderValuesArePerOperation)
{
    ScriptedHttpPeer peer({PeerScript()
                               .readRequest()
                               .send(ok200("<R><SetUserOfflineResult>false</SetUserOfflineResult></R>"))
                               .readRequest()
                               .send(ok200("<R/>"))});
    CVarnelServices proxy(siteOf(peer));
    proxy.setCredentialHeader(Op::SetUserOffline, {QStringLiteral("a&b"), QString()});
    bool result = true;
    // A false result is still a successful call.
    ASSERT_EQ(proxy.SetUserOffline(3, &result), CallResult::Ok);
    EXPECT_FALSE(result);
    ASSERT_EQ(proxy.Authenticate(3), CallResult::Ok);
    const auto requests = peer.allRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].contains("<Username>a&amp;b</Username><Password xsi:nil=\"1\"/>"));
    // The header of an operation never set is sent as nil.
    EXPECT_TRUE(requests[1].contains("<Username xsi:nil=\"1\"/><Password xsi:nil=\"1\"/>"));
    // Both calls went over one connection.
    EXPECT_EQ(peer.connectionCount(), 1);
}

TEST(VarnelServices, NullOutPointerIsRefusedBeforeSending)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(ok200("<R/>"))});
    CVarnelServices proxy(siteOf(peer), shortLimits());
    int total = 0;
    EXPECT_EQ(proxy.GetUserListOnline(20, 1, nullptr, &total), CallResult::InvalidPointer);
    QString doc;
    EXPECT_EQ(proxy.GetUserListOnline(20, 1, &doc, nullptr), CallResult::InvalidPointer);
    EXPECT_TRUE(proxy.lastRequestBody().isEmpty());
    EXPECT_EQ(peer.connectionCount(), 0);
}

TEST(VarnelServices, EachAnswerMapsToItsCallStatus)
{
    const QByteArray fault = kEnv +
                             "<soap:Fault><faultcode>soap:Client</faultcode><faultstring>Unknown account"
                             "</faultstring></soap:Fault>" +
                             kEnvEnd;
    struct Row {
        const char *name;
        QByteArray answer;
        int status;
    } rows[] = {
        {"fault", httpResponse(500, {{"Content-Type", "text/xml"}}, fault), StatusSoapFault},
        {"500 html", httpResponse(500, {{"Content-Type", "text/html"}}, "<html>oops</html>"), StatusFaultUnreadable},
        {"404", httpResponse(404, {}, "not here"), StatusHttpFailed},
        {"401", httpResponse(401, {{"WWW-Authenticate", "Basic realm=x"}}), StatusHttpFailed},
        {"204", httpResponse(204), StatusHttpNotOk},
        {"206", httpResponse(206, {}, "x"), StatusHttpNotOk},
        {"200 empty", httpResponse(200), StatusResponseUnreadable},
        {"200 garbage", httpResponse(200, {}, "<html/>"), StatusParseFailed},
        {"200 missing totalCount", ok200("<R><GetUserListOnlineResult>d</GetUserListOnlineResult></R>"),
         StatusParseFailed},
        {"bad status line", "HTTP/1.1 OK\r\n\r\n", StatusHttpFailed},
        {"silence then close", QByteArray(), StatusHttpFailed},
    };
    for (const Row &r : rows) {
        PeerScript script;
        script.readRequest();
        if (!r.answer.isEmpty())
            script.send(r.answer);
        ScriptedHttpPeer peer({script});
        CVarnelServices proxy(siteOf(peer), shortLimits());
        proxy.useServiceAccount(Op::GetUserListOnline);
        QString doc = QStringLiteral("untouched");
        int total = -5;
        EXPECT_EQ(proxy.GetUserListOnline(20, 1, &doc, &total), CallResult::Failed) << r.name;
        EXPECT_EQ(proxy.callStatus(), r.status) << r.name;
        // Out-parameters are stored only on success.
        EXPECT_EQ(doc, QStringLiteral("untouched")) << r.name;
        EXPECT_EQ(total, -5) << r.name;
        if (r.status == StatusSoapFault) {
            EXPECT_EQ(proxy.lastFault().code, FaultCode::Client);
            EXPECT_EQ(proxy.lastFault().faultString, QStringLiteral("Unknown account"));
        }
    }
}

TEST(VarnelServices, StatusAndFaultAreClearedByTheNextCall)
{
    const QByteArray fault =
        kEnv + "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>x</faultstring></soap:Fault>" + kEnvEnd;
    ScriptedHttpPeer peer({PeerScript()
                               .readRequest()
                               .send(httpResponse(500, {}, fault))
                               .readRequest()
                               .send(ok200("<R><GetUserListOnlineResult xsi:nil=\"true\" "
                                           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"/>"
                                           "<totalCount>4</totalCount></R>"))});
    CVarnelServices proxy(siteOf(peer), shortLimits());
    QString doc = QStringLiteral("x");
    int total = 0;
    ASSERT_EQ(proxy.GetUserListOnline(20, 1, &doc, &total), CallResult::Failed);
    EXPECT_EQ(proxy.callStatus(), StatusSoapFault);
    // A 500 leaves the connection open (no close header), so the next call reuses it.
    ASSERT_EQ(proxy.GetUserListOnline(20, 1, &doc, &total), CallResult::Ok);
    EXPECT_EQ(proxy.callStatus(), StatusSuccess);
    EXPECT_EQ(proxy.lastFault().code, FaultCode::None);
    EXPECT_TRUE(proxy.lastFault().faultString.isNull());
    // A null document still gives the caller totalCount.
    EXPECT_TRUE(doc.isNull());
    EXPECT_EQ(total, 4);
}

TEST(VarnelServices, AcceptedWithoutBodyKeepsClearedResults)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(httpResponse(202))});
    CVarnelServices proxy(siteOf(peer), shortLimits());
    bool exists = true;
    ASSERT_EQ(proxy.IsUserExistsByName(QStringLiteral("someone"), &exists), CallResult::Ok);
    EXPECT_FALSE(exists);
}

TEST(VarnelServices, UnreachableServerFailsAtTheTransport)
{
    int port = 0;
    {
        ScriptedHttpPeer closed({});
        port = closed.port();
    } // nothing listens there any more
    CVarnelServices proxy({QStringLiteral("127.0.0.1"), static_cast<quint16>(port)}, shortLimits());
    bool exists = true;
    EXPECT_EQ(proxy.IsUserExistsByName(QStringLiteral("x"), &exists), CallResult::Failed);
    EXPECT_EQ(proxy.callStatus(), StatusHttpFailed);
    EXPECT_TRUE(exists);
}

TEST(VarnelServices, SlowServerTimesOut)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().wait(1500).send(ok200("<R/>"))});
    CVarnelServices proxy(siteOf(peer), shortLimits());
    EXPECT_EQ(proxy.Authenticate(1), CallResult::Failed);
    EXPECT_EQ(proxy.callStatus(), StatusHttpFailed);
}

// A site that no call could reach is named at start-up, not discovered
// through a failed call each time.
TEST(SiteConfiguration, ProblemsWithTheConfiguredSiteAreNamed)
{
    const QByteArray saved = qgetenv("QUILLORA_SITE");
    struct Row {
        const char *value;
        bool usable;
        const char *endpoint = nullptr; // where the service calls go
    };
    const Row rows[] = {
        {"", true},
        {"127.0.0.1:8080", true, "http://127.0.0.1:8080/Varnel/Web/Services/VarnelServices.asmx"},
        {"community.example", true, "http://community.example/Varnel/Web/Services/VarnelServices.asmx"},
        {"[::1]:8080", true, "http://[::1]:8080/Varnel/Web/Services/VarnelServices.asmx"},
        {"https://community.example", true, "https://community.example/Varnel/Web/Services/VarnelServices.asmx"},
        {"HTTPS://[::1]:8443/", true, "https://[::1]:8443/Varnel/Web/Services/VarnelServices.asmx"},
        {"https://h.example:443", true, "https://h.example/Varnel/Web/Services/VarnelServices.asmx"},
        {"http://h.example:80/", true, "http://h.example/Varnel/Web/Services/VarnelServices.asmx"},
        {"host:99999", false},       // not host[:port]: would fall back to the compiled-in site unseen
        {"host:", false},            //
        {"exa$mple:8080", false},    // taken as host:port, but no URL can hold that host
        {"caf\xc3\xa9.test", false}, // the transport takes ASCII host names only
        {"ftp://h.example", false},  // no other scheme: the transport would not take it
        {"https://h.example/x", false},
    };
    for (const Row &r : rows) {
        qputenv("QUILLORA_SITE", r.value);
        const QString problem = siteEnvironmentProblem();
        EXPECT_EQ(problem.isEmpty(), r.usable) << r.value << ": " << problem.toStdString();
        if (!r.usable && r.value[0] != '\0') {
            EXPECT_TRUE(problem.contains(QString::fromUtf8(r.value))) << problem.toStdString();
        }
        if (r.endpoint) {
            EXPECT_EQ(CVarnelServices().endpointUrl(), QString::fromUtf8(r.endpoint)) << r.value;
        }
    }
    // Every TLS call would fail on an authority file that cannot be read.
    qputenv("QUILLORA_SITE", "https://community.example");
    qputenv("QUILLORA_CA_FILE", "/nonexistent/ca.pem");
    EXPECT_TRUE(siteEnvironmentProblem().contains(QStringLiteral("/nonexistent/ca.pem")));
    EXPECT_EQ(siteFromEnvironment().caFile, QStringLiteral("/nonexistent/ca.pem"));
    qunsetenv("QUILLORA_CA_FILE");
    if (saved.isNull())
        qunsetenv("QUILLORA_SITE");
    else
        qputenv("QUILLORA_SITE", saved);

    // A proxy made for such a site fails its calls at the transport.
    CVarnelServices proxy({QStringLiteral("exa$mple"), 8080}, shortLimits());
    bool exists = false;
    EXPECT_EQ(proxy.IsUserExistsByName(QStringLiteral("x"), &exists), CallResult::Failed);
    EXPECT_EQ(proxy.callStatus(), StatusHttpFailed);
}
