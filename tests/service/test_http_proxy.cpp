// The bytes the transport sends to a proxy: the request head an HTTP proxy
// gets, its CONNECT for an https site, and the SOCKS 5 handshake, each
// against a scripted peer standing in for the proxy.
// (tests/session/proxy_route_test.cpp runs real proxies.)
#include "http_transport.h"
#include "scripted_http_peer.h"

#include <gtest/gtest.h>

using namespace quillora::service;
using quillora::testpeers::httpResponse;
using quillora::testpeers::PeerScript;
using quillora::testpeers::ScriptedHttpPeer;

namespace {

HttpLimits quickLimits()
{
    HttpLimits limits;
    limits.connectMs = 3000;
    limits.sendMs = 3000;
    limits.receiveMs = 3000;
    return limits;
}

ProxySettings proxyAt(ProxySettings::Mode mode, int port, const char *user = "", const char *password = "")
{
    return {mode,
            QStringLiteral("127.0.0.1"),
            quint16(port),
            QString::fromUtf8(user),
            QString::fromUtf8(password),
            QStringLiteral("R")};
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

TEST(HttpProxy, AbsoluteTargetHostWithoutPortAndBasicCredentials)
{
    ScriptedHttpPeer proxy({PeerScript().readRequest().send(httpResponse(200, {}, "<a/>")),
                            PeerScript().readRequest().send(httpResponse(200, {}, "<b/>"))});
    {
        HttpTransport transport(quickLimits());
        ASSERT_TRUE(transport.setEndpoint("http://site.example:8080/Varnel/svc.asmx?x=1"));
        transport.setProxy(proxyAt(ProxySettings::Mode::Http, proxy.port(), "al", "p:w"));
        const HttpExchange r = transport.post("urn/Op", "<e/>");
        EXPECT_TRUE(r.accepted);
        EXPECT_EQ(r.body, QByteArray("<a/>"));
    }
    {
        // Without a user name no credentials are sent; port 80 is not written.
        HttpTransport transport(quickLimits());
        ASSERT_TRUE(transport.setEndpoint("http://site.example/svc"));
        transport.setProxy(proxyAt(ProxySettings::Mode::Http, proxy.port()));
        EXPECT_TRUE(transport.post("urn/Op", "<e/>").accepted);
    }
    ASSERT_TRUE(proxy.waitForFinishedConnections(2, 5000));
    const auto requests = proxy.allRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], QByteArray("POST http://site.example:8080/Varnel/svc.asmx?x=1 HTTP/1.1\r\n"
                                      "Content-Length: 4\r\n"
                                      "Content-Type: text/xml; charset=utf-8\r\n"
                                      "SOAPAction: \"urn/Op\"\r\n"
                                      "Accept: text/xml\r\n"
                                      "Host: site.example\r\n"
                                      "User-Agent: Quillora-SOAP/3.5\r\n"
                                      "Proxy-Authorization: Basic YWw6cDp3\r\n"
                                      "\r\n<e/>"));
    EXPECT_TRUE(requests[1].startsWith("POST http://site.example/svc HTTP/1.1\r\n"));
    EXPECT_FALSE(requests[1].contains("Proxy-Authorization"));
}

// An https endpoint goes through a CONNECT tunnel: the proxy gets the
// destination and the credentials, never the request. A proxy that does not
// open the tunnel fails the call; nothing goes around it or in clear.
TEST(HttpProxy, HttpsGoesThroughATunnelOrNowhere)
{
    const QByteArray refused = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";
    ScriptedHttpPeer proxy({PeerScript().readRequest().send(refused), PeerScript().readRequest().send(refused)});
    for (const char *endpoint : {"https://site.example/svc", "https://[2001:db8::7]:8443/svc"}) {
        HttpTransport transport(quickLimits());
        ASSERT_TRUE(transport.setEndpoint(endpoint));
        transport.setProxy(proxyAt(ProxySettings::Mode::Http, proxy.port(), "al", "p:w"));
        const HttpExchange r = transport.post("urn/Op", "<e/>");
        EXPECT_FALSE(r.accepted);
        EXPECT_EQ(r.status, -1);
        EXPECT_FALSE(transport.isConnected());
    }
    ASSERT_TRUE(proxy.waitForFinishedConnections(2, 5000));
    const auto requests = proxy.allRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], QByteArray("CONNECT site.example:443 HTTP/1.1\r\n"
                                      "Host: site.example:443\r\n"
                                      "Proxy-Authorization: Basic YWw6cDp3\r\n"
                                      "\r\n"));
    EXPECT_TRUE(requests[1].startsWith("CONNECT [2001:db8::7]:8443 HTTP/1.1\r\n"));
}

TEST(Socks5Proxy, HandshakeThenTheRequestOnTheSameConnection)
{
    // Greeting answered "user name/password", credentials accepted, CONNECT
    // granted (bound address IPv4), then the HTTP exchange.
    const QByteArray answers =
        bytes({0x05, 0x02}) + bytes({0x01, 0x00}) + bytes({0x05, 0x00, 0x00, 0x01, 10, 0, 0, 1, 0x1f, 0x90});
    ScriptedHttpPeer proxy({PeerScript().send(answers).readRequest().send(httpResponse(200, {}, "<ok/>"))});
    HttpTransport transport(quickLimits());
    ASSERT_TRUE(transport.setEndpoint("http://site.example:8080/svc"));
    transport.setProxy(proxyAt(ProxySettings::Mode::Socks5, proxy.port(), "bob", "pw9"));
    const HttpExchange r = transport.post("urn/Op", "<e/>");
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.body, QByteArray("<ok/>"));

    ASSERT_TRUE(proxy.waitForFinishedConnections(1, 5000));
    const QByteArray sent = proxy.allRequests().at(0);
    const QByteArray handshake = bytes({0x05, 0x02, 0x00, 0x02}) + bytes({0x01, 3}) + "bob" + bytes({3}) + "pw9" +
                                 bytes({0x05, 0x01, 0x00, 0x03, 12}) + "site.example" + bytes({0x1f, 0x90});
    EXPECT_EQ(sent.left(handshake.size()), handshake);
    // The request line is the origin form: the proxy only relays bytes.
    EXPECT_TRUE(sent.mid(handshake.size()).startsWith("POST /svc HTTP/1.1\r\n"));
}

TEST(Socks5Proxy, RefusalsFailTheCallWithoutAStatus)
{
    struct Row {
        const char *name;
        QByteArray answers;
    };
    const Row rows[] = {
        {"no acceptable method", bytes({0x05, 0xff})},
        {"credentials refused", bytes({0x05, 0x02, 0x01, 0x01})},
        {"connect refused", bytes({0x05, 0x02, 0x01, 0x00, 0x05, 0x05, 0x00, 0x01, 0, 0, 0, 0, 0, 0})},
        {"not SOCKS 5", QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n")},
        {"closed mid-reply", bytes({0x05, 0x02, 0x01, 0x00, 0x05, 0x00})},
    };
    for (const Row &row : rows) {
        ScriptedHttpPeer proxy({PeerScript().send(row.answers).wait(200)});
        HttpTransport transport(quickLimits());
        ASSERT_TRUE(transport.setEndpoint("http://192.0.2.7/svc"));
        transport.setProxy(proxyAt(ProxySettings::Mode::Socks5, proxy.port(), "bob", "pw9"));
        const HttpExchange r = transport.post("urn/Op", "<e/>");
        EXPECT_FALSE(r.accepted) << row.name;
        EXPECT_EQ(r.status, -1) << row.name;
        EXPECT_FALSE(transport.isConnected()) << row.name;
    }
}
