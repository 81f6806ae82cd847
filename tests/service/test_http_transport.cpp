// The HTTP transport against a scripted loopback peer (exact bytes on the
// wire, plain and over TLS) and, where a failure must be injected or the send
// pattern observed, against an in-memory connection.
#include "http_response.h"
#include "http_transport.h"
#include "http_url.h"
#include "scripted_http_peer.h"
#include "test_certificates.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <deque>
#include <new>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quillora::service;
using namespace quillora::testpeers;

namespace {

const std::string kAction = "http://127.0.0.1/Services/VarnelServices/IsUserExistsByName";
const QByteArray kEnvelope = "<soap:Envelope><soap:Body><x/></soap:Body></soap:Envelope>";

HttpLimits testLimits()
{
    HttpLimits limits;
    limits.connectMs = 2000;
    limits.sendMs = 2000;
    limits.receiveMs = 1000;
    limits.maxBodyBytes = 1024;
    return limits;
}

QByteArray expectedRequest(const std::string &path, const QByteArray &body, const std::string &host = "127.0.0.1")
{
    return "POST " + QByteArray::fromStdString(path) + " HTTP/1.1\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + "Content-Type: text/xml; charset=utf-8\r\n" +
           "SOAPAction: \"" + QByteArray::fromStdString(kAction) + "\"\r\n" + "Accept: text/xml\r\n" +
           "Host: " + QByteArray::fromStdString(host) + "\r\n" + "User-Agent: Quillora-SOAP/3.5\r\n" + "\r\n" + body;
}

QByteArray okResponse(const QByteArray &body = "<ok/>")
{
    return httpResponse(200, {{"Content-Type", "text/xml"}}, body);
}

// An in-memory connection: hands out canned bytes in small pieces, records
// what was sent and in which pieces, and can fail a send on demand.
struct Wire {
    std::deque<char> incoming;
    QByteArray sent;
    std::vector<qsizetype> sendSizes;
    int failSendNumber = -1; // index of the sendAll call that fails
    int connects = 0;
    std::vector<std::string> hosts;
};

class MemoryConnection : public HttpConnection {
  public:
    explicit MemoryConnection(std::shared_ptr<Wire> wire) : m_wire(std::move(wire)) {}
    bool sendAll(const char *data, qsizetype size, int) override
    {
        if (int(m_wire->sendSizes.size()) == m_wire->failSendNumber)
            return false;
        m_wire->sendSizes.push_back(size);
        m_wire->sent.append(data, size);
        return true;
    }
    qsizetype receive(char *buffer, qsizetype max, int) override
    {
        const qsizetype n = std::min<qsizetype>({max, 7, qsizetype(m_wire->incoming.size())});
        std::copy_n(m_wire->incoming.begin(), n, buffer);
        m_wire->incoming.erase(m_wire->incoming.begin(), m_wire->incoming.begin() + n);
        return n;
    }

  private:
    std::shared_ptr<Wire> m_wire;
};

std::shared_ptr<Wire> attachWire(HttpTransport &transport, const QByteArray &response)
{
    auto wire = std::make_shared<Wire>();
    wire->incoming.assign(response.begin(), response.end());
    transport.setConnectionFactory([wire](const HttpUrl &url) {
        ++wire->connects;
        wire->hosts.push_back(url.host);
        return std::make_unique<MemoryConnection>(wire);
    });
    return wire;
}

// One set of certificates for every TLS case of this file.
const TestCertificates &certificates()
{
    static const TestCertificates certs;
    return certs;
}

// A transport that trusts the test's authority.
HttpLimits tlsLimits()
{
    HttpLimits limits = testLimits();
    limits.receiveMs = 3000;
    return limits;
}

// A loopback port with nothing listening on it.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace

// ---------------------------------------------------------------------------
// The request on the wire

TEST(HttpTransportRequest, HeadLinesInOrderAndHostWithoutPort)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(okResponse())});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/Varnel/Web/Services/VarnelServices.asmx")));
    QByteArray traceOut, traceIn;
    transport.setTraceHook(
        [&](bool outgoing, const char *data, qsizetype size) { (outgoing ? traceOut : traceIn).append(data, size); });

    const HttpExchange ex = transport.post(kAction, kEnvelope);

    EXPECT_TRUE(ex.accepted);
    EXPECT_EQ(ex.status, 200);
    EXPECT_EQ(ex.body, "<ok/>");
    ASSERT_EQ(peer.allRequests().size(), 1u);
    const QByteArray expected = expectedRequest("/Varnel/Web/Services/VarnelServices.asmx", kEnvelope);
    EXPECT_EQ(peer.allRequests()[0], expected);
    EXPECT_EQ(traceOut, expected);
    EXPECT_EQ(traceIn, okResponse());
}

TEST(HttpTransportRequest, LargeBodyGoesOutInBlocksOf4096AndArrivesWhole)
{
    QByteArray body(10000, 'a');
    for (int i = 0; i < body.size(); ++i)
        body[i] = char('a' + i % 26);

    ScriptedHttpPeer peer({PeerScript().readRequest().send(okResponse())});
    HttpTransport overSocket(testLimits());
    ASSERT_TRUE(overSocket.setEndpoint(peer.url("/svc")));
    EXPECT_TRUE(overSocket.post(kAction, body).accepted);
    ASSERT_EQ(peer.allRequests().size(), 1u);
    EXPECT_EQ(peer.allRequests()[0], expectedRequest("/svc", body));

    HttpTransport inMemory(testLimits());
    ASSERT_TRUE(inMemory.setEndpoint("http://svc.test/svc"));
    auto wire = attachWire(inMemory, okResponse());
    EXPECT_TRUE(inMemory.post(kAction, body).accepted);
    const qsizetype headSize = expectedRequest("/svc", body, "svc.test").size() - body.size();
    EXPECT_EQ(wire->sendSizes, (std::vector<qsizetype>{headSize, 4096, 4096, 10000 - 8192}));
}

TEST(HttpTransportRequest, SendFailureFailsTheExchangeAndDropsTheConnection)
{
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint("http://svc.test/svc"));
    auto wire = attachWire(transport, okResponse());
    wire->failSendNumber = 1; // the body
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_FALSE(transport.isConnected());
}

TEST(HttpTransportRequest, RefusesActionsThatWouldBreakTheHeaderLine)
{
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint("http://svc.test/svc"));
    auto wire = attachWire(transport, okResponse());
    EXPECT_EQ(transport.post("ns/Op\r\nX-Injected: 1", kEnvelope).status, -1);
    EXPECT_EQ(transport.post("ns/Op\"", kEnvelope).status, -1);
    EXPECT_EQ(wire->connects, 0);
}

// ---------------------------------------------------------------------------
// Reading responses: one row per framing, each against a peer that sends the
// bytes and closes. The body cap is 1024 bytes here.

struct ResponseRow {
    const char *name;
    QByteArray response;
    int status; // -1: the exchange fails
    QByteArray body;
};

void PrintTo(const ResponseRow &row, std::ostream *os)
{
    *os << row.name;
}

class HttpTransportResponse : public ::testing::TestWithParam<ResponseRow> {};

TEST_P(HttpTransportResponse, ReadsStatusAndBody)
{
    const ResponseRow &row = GetParam();
    ScriptedHttpPeer peer({PeerScript().readRequest().send(row.response).close()});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_EQ(ex.status, row.status);
    EXPECT_EQ(ex.body, row.body);
    EXPECT_EQ(ex.accepted, http::isAcceptedStatus(row.status));
    if (row.status == -1) {
        EXPECT_FALSE(transport.isConnected());
    }
}

const QByteArray kLongName(1024, 'N');
const QByteArray kLongValue(1024, 'v');

INSTANTIATE_TEST_SUITE_P(
    Framing, HttpTransportResponse,
    ::testing::Values(
        ResponseRow{"content_length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200, "hello"},
        ResponseRow{"chunked",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", 200,
                    "hello world"},
        ResponseRow{"chunked_upper_hex_and_leading_zeros",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n00A\r\n0123456789\r\n0\r\n\r\n", 200,
                    "0123456789"},
        ResponseRow{"chunked_with_trailer",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTrailer: X-Sum\r\n\r\n2\r\nok\r\n0\r\nX-Sum: "
                    "7\r\n\r\n",
                    200, "ok"},
        ResponseRow{"capital_chunked_is_not_decoded",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Length: 10\r\n\r\n5\r\nhello\r\n", 200,
                    "5\r\nhello\r\n"},
        ResponseRow{"chunked_with_a_trailing_blank_is_not_decoded",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked \r\nContent-Length: 10\r\n\r\n5\r\nhello\r\n", 200,
                    "5\r\nhello\r\n"},
        ResponseRow{"chunk_extension_refused",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\n0\r\n\r\n", -1, ""},
        ResponseRow{"chunk_size_not_hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", -1, ""},
        ResponseRow{"chunk_data_without_crlf",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nokX\r\n0\r\n\r\n", -1, ""},
        ResponseRow{"chunked_cut_short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", -1, ""},
        ResponseRow{"read_to_close", "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\nuntil the end", 200,
                    "until the end"},
        ResponseRow{"continue_skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
                    200, "ok"},
        ResponseRow{"http10_status_line", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", 200, "ok"},
        ResponseRow{"status_not_a_digit", "HTTP/1.1 OK\r\nContent-Length: 0\r\n\r\n", -1, ""},
        ResponseRow{"closed_without_answer", "", -1, ""},
        ResponseRow{"head_cut_short", "HTTP/1.1 200 OK\r\nContent-Len", -1, ""},
        ResponseRow{"header_name_too_long", "HTTP/1.1 200 OK\r\n" + kLongName + ": x\r\nContent-Length: 0\r\n\r\n", -1,
                    ""},
        ResponseRow{"header_value_too_long", "HTTP/1.1 200 OK\r\nX: " + kLongValue + "\r\nContent-Length: 0\r\n\r\n",
                    -1, ""},
        ResponseRow{"header_value_at_limit",
                    "HTTP/1.1 200 OK\r\nX: " + kLongValue.left(1023) + "\r\nContent-Length: 0\r\n\r\n", 200, ""},
        ResponseRow{"content_length_cut_short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", -1, ""},
        ResponseRow{"content_length_not_a_number", "HTTP/1.1 200 OK\r\nContent-Length: ten\r\n\r\n", -1, ""},
        ResponseRow{"body_at_cap", "HTTP/1.1 200 OK\r\nContent-Length: 1024\r\n\r\n" + QByteArray(1024, 'b'), 200,
                    QByteArray(1024, 'b')},
        ResponseRow{"content_length_over_cap",
                    "HTTP/1.1 200 OK\r\nContent-Length: 1025\r\n\r\n" + QByteArray(1025, 'b'), -1, ""},
        ResponseRow{"chunked_at_cap",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n200\r\n" + QByteArray(512, 'c') +
                        "\r\n200\r\n" + QByteArray(512, 'd') + "\r\n0\r\n\r\n",
                    200, QByteArray(512, 'c') + QByteArray(512, 'd')},
        ResponseRow{"chunked_over_cap",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n200\r\n" + QByteArray(512, 'c') +
                        "\r\n201\r\n" + QByteArray(513, 'c') + "\r\n0\r\n\r\n",
                    -1, ""},
        ResponseRow{"read_to_close_over_cap", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(3000, 'r'), -1, ""},
        ResponseRow{"not_found_keeps_body", httpResponse(404, {}, "no such page"), 404, "no such page"},
        ResponseRow{"server_error_keeps_body", httpResponse(500, {}, "<soap:Fault/>"), 500, "<soap:Fault/>"},
        ResponseRow{"accepted_other_than_200", httpResponse(203, {}, "x"), 203, "x"},
        ResponseRow{"unauthorized", httpResponse(401, {{"WWW-Authenticate", "Basic realm=\"v\""}}, "who?"), 401,
                    "who?"}),
    [](const ::testing::TestParamInfo<ResponseRow> &info) { return std::string(info.param.name); });

TEST(HttpTransportHeaders, FoldedLinesDuplicatesTrailersAndHooks)
{
    const QByteArray response = "HTTP/1.1 401 Unauthorized\r\n"
                                "X-Folded: first\r\n"
                                " second\r\n"
                                "\tthird\r\n"
                                "Set-Cookie: a=1\r\n"
                                "no colon here\r\n"
                                "set-cookie: b=2\r\n"
                                "WWW-Authenticate: Basic realm=\"x\"\r\n"
                                "Proxy-Authenticate: Digest realm=\"y\"\r\n"
                                "Transfer-Encoding: chunked\r\n"
                                "Trailer: X-Late\r\n"
                                "\r\n"
                                "0\r\n"
                                "X-Late: yes\r\n"
                                "\r\n";
    ScriptedHttpPeer peer({PeerScript().readRequest().send(response)});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    std::vector<std::string> cookies;
    transport.setCookieHook([&](const std::string &value) { cookies.push_back(value); });

    const HttpExchange ex = transport.post(kAction, kEnvelope);

    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, 401);
    const HttpHeaders &h = transport.responseHeaders();
    EXPECT_EQ(h.at("x-folded"), "first second third");
    EXPECT_EQ(h.at("SET-COOKIE"), "a=1,b=2");
    EXPECT_EQ(h.at("X-Late"), "yes");
    EXPECT_EQ(h.count("no colon here"), 0u);
    EXPECT_EQ(cookies, (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(transport.authenticateChallenges(),
              (std::vector<std::string>{"Basic realm=\"x\"", "Digest realm=\"y\""}));
}

// ---------------------------------------------------------------------------
// The connection between exchanges

TEST(HttpTransportConnection, KeptOpenAndReusedForTheNextPost)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(okResponse("one")).readRequest().send(okResponse("two"))});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    EXPECT_EQ(transport.post(kAction, kEnvelope).body, "one");
    EXPECT_TRUE(transport.isConnected());
    EXPECT_EQ(transport.post(kAction, kEnvelope).body, "two");
    EXPECT_EQ(peer.connectionCount(), 1);
    EXPECT_EQ(peer.requests()[0].size(), 2u);
}

TEST(HttpTransportConnection, ConnectionCloseMakesTheNextPostReconnect)
{
    const QByteArray closing = httpResponse(200, {{"Connection", "CLOSE"}}, "one");
    ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(closing).wait(2000), PeerScript().readRequest().send(okResponse("two"))});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    EXPECT_EQ(transport.post(kAction, kEnvelope).body, "one");
    EXPECT_FALSE(transport.isConnected());
    EXPECT_EQ(transport.post(kAction, kEnvelope).body, "two");
    EXPECT_EQ(peer.connectionCount(), 2);
}

// In clear and over TLS (where the close comes without a close notification).
TEST(HttpTransportConnection, IdleConnectionClosedByTheServerIsReplacedBeforeSending)
{
    const TestCertificates &certs = certificates();
    ASSERT_TRUE(certs.ok()) << certs.error();
    for (const PeerTls &tls : {PeerTls{}, certs.peer(TestCertificates::Server::Good)}) {
        ScriptedHttpPeer peer({PeerScript().readRequest().send(okResponse("one")).close(),
                               PeerScript().readRequest().send(okResponse("two"))},
                              tls);
        HttpTransport transport(testLimits());
        transport.setTrustedCaFile(certs.caFile());
        ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
        EXPECT_EQ(transport.post(kAction, kEnvelope).body, "one");
        ASSERT_TRUE(peer.waitForFinishedConnections(1, 2000));

        const HttpExchange ex = transport.post(kAction, kEnvelope);
        EXPECT_TRUE(ex.accepted) << peer.url();
        EXPECT_EQ(ex.body, "two");
        EXPECT_EQ(peer.requests()[1].size(), 1u);
    }
}

TEST(HttpTransportConnection, NoContentEndsWithoutWaitingForABody)
{
    // The peer keeps the connection open well past the receive limit; read to
    // the close, the body would end only at the time-out, on a closed socket.
    ScriptedHttpPeer peer({PeerScript().readRequest().send("HTTP/1.1 204 No Content\r\n\r\n").wait(5000)});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_TRUE(ex.accepted);
    EXPECT_EQ(ex.status, 204);
    EXPECT_TRUE(ex.body.isEmpty());
    EXPECT_TRUE(transport.isConnected());
}

TEST(HttpTransportConnection, SlowAnswerBeyondTheReceiveLimitFails)
{
    HttpLimits limits = testLimits();
    limits.receiveMs = 300;
    ScriptedHttpPeer peer({PeerScript().readRequest().wait(700).send(okResponse()),
                           PeerScript().readRequest().send(okResponse("again"))});
    HttpTransport transport(limits);
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_FALSE(transport.isConnected());
    EXPECT_EQ(transport.post(kAction, kEnvelope).body, "again");
}

TEST(HttpTransportConnection, AnswerInSlowPiecesWithinTheLimitIsRead)
{
    HttpLimits limits = testLimits();
    limits.receiveMs = 300;
    ScriptedHttpPeer peer({PeerScript().readRequest().sendInPieces(okResponse("pieces"), 9, 30)});
    HttpTransport transport(limits);
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    EXPECT_EQ(transport.post(kAction, kEnvelope).body, "pieces");
}

// Running out of memory while a response arrives is a failed exchange, not
// an exception through the caller.
TEST(HttpTransportConnection, OutOfMemoryWhileReadingFailsTheExchange)
{
    struct Starved : HttpConnection {
        bool sendAll(const char *, qsizetype, int) override { return true; }
        qsizetype receive(char *, qsizetype, int) override { throw std::bad_alloc(); }
    };
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint("http://svc.test/a"));
    transport.setConnectionFactory([](const HttpUrl &) { return std::make_unique<Starved>(); });
    HttpExchange ex;
    EXPECT_NO_THROW(ex = transport.post(kAction, kEnvelope));
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_FALSE(transport.isConnected());
}

TEST(HttpTransportConnection, RefusedConnectionFailsWithoutStatus)
{
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint("http://127.0.0.1:" + std::to_string(closedPort()) + "/svc"));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_FALSE(transport.isConnected());
}

// ---------------------------------------------------------------------------
// Redirects

TEST(HttpTransportRedirect, FollowsAbsolutePathOnTheSameConnectionAndUrlOnAnotherPeer)
{
    ScriptedHttpPeer target({PeerScript().readRequest().send(okResponse("moved here"))});
    ScriptedHttpPeer origin(
        {PeerScript()
             .readRequest()
             .send(httpResponse(301, {{"Location", "/second"}}))
             .readRequest()
             .send(httpResponse(303, {{"Location", QByteArray::fromStdString(target.url("/third"))}}))});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(origin.url("/first")));

    const HttpExchange ex = transport.post(kAction, kEnvelope);

    EXPECT_TRUE(ex.accepted);
    EXPECT_EQ(ex.status, 200);
    EXPECT_EQ(ex.body, "moved here");
    ASSERT_EQ(origin.connectionCount(), 1);
    ASSERT_EQ(origin.requests()[0].size(), 2u);
    EXPECT_EQ(origin.requests()[0][1], expectedRequest("/second", kEnvelope));
    ASSERT_EQ(target.allRequests().size(), 1u);
    EXPECT_EQ(target.allRequests()[0], expectedRequest("/third", kEnvelope));
}

TEST(HttpTransportRedirect, NewHostGetsItsOwnConnectionAndHostHeader)
{
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint("http://svc.test/a"));
    auto wire = attachWire(transport, httpResponse(302, {{"Location", "http://mirror.test:8081/b"}}) + okResponse());
    EXPECT_EQ(transport.post(kAction, kEnvelope).status, 200);
    EXPECT_EQ(wire->hosts, (std::vector<std::string>{"svc.test", "mirror.test"}));
    EXPECT_EQ(wire->sent,
              expectedRequest("/a", kEnvelope, "svc.test") + expectedRequest("/b", kEnvelope, "mirror.test"));
}

TEST(HttpTransportRedirect, LoopStopsAfterFiveAndEndsUnaccepted)
{
    PeerScript loop;
    for (int i = 0; i < 8; ++i)
        loop.readRequest().send(httpResponse(302, {{"Location", "/again"}}, "moved"));
    ScriptedHttpPeer peer({loop});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, 302);
    EXPECT_EQ(ex.body, "moved");
    EXPECT_EQ(peer.allRequests().size(), 6u); // the first request and five redirects
}

// The status of a redirect that led nowhere is not the outcome of the call.
TEST(HttpTransportRedirect, FailedLaterHopHasNoStatus)
{
    const std::string dead = "http://127.0.0.1:" + std::to_string(closedPort()) + "/gone";
    ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(httpResponse(302, {{"Location", QByteArray::fromStdString(dead)}}, "moved"))});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_TRUE(ex.body.isEmpty());
    EXPECT_FALSE(transport.isConnected());
}

TEST(HttpTransportRedirect, RedirectWithoutUsableLocationEndsUnaccepted)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(httpResponse(302, {{"Location", "ftp://x/y"}}, "gone"))});
    HttpTransport transport(testLimits());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, 302);
    EXPECT_EQ(peer.allRequests().size(), 1u);
}

// ---------------------------------------------------------------------------
// The whole call's time: each read within its own limit, the call not

struct DripRow {
    const char *name;
    QByteArray head; // sent at once, then one byte every 200 ms
};

void PrintTo(const DripRow &row, std::ostream *os)
{
    *os << row.name;
}

class HttpTransportDeadline : public ::testing::TestWithParam<DripRow> {};

TEST_P(HttpTransportDeadline, PeerThatDripsFailsTheCallAtItsDeadline)
{
    HttpLimits limits = testLimits();
    limits.receiveMs = 1000; // never reached between two bytes
    limits.callMs = 1500;
    ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(GetParam().head).sendInPieces(QByteArray(100, ' '), 1, 200)});
    HttpTransport transport(limits);
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    QElapsedTimer timer;
    timer.start();
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_TRUE(ex.body.isEmpty());
    EXPECT_FALSE(transport.isConnected());
    EXPECT_LT(timer.elapsed(), 15000); // the peer would drip for 20 s
}

INSTANTIATE_TEST_SUITE_P(
    Drip, HttpTransportDeadline,
    ::testing::Values(DripRow{"head", "HTTP/1.1 200 OK\r\nX-Pad: "},
                      DripRow{"content_length_body", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n"},
                      DripRow{"body_read_to_the_close", "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n"}),
    [](const ::testing::TestParamInfo<DripRow> &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// TLS: the same bytes inside, certificates checked, never a plain retry

TEST(HttpTransportTls, SameRequestBytesInsideAndTheSessionIsResumedNextTime)
{
    const TestCertificates &certs = certificates();
    ASSERT_TRUE(certs.ok()) << certs.error();
    ScriptedHttpPeer peer({PeerScript().readRequest().send(okResponse("one")).readRequest().send(okResponse("two")),
                           PeerScript().readRequest().send(okResponse("three"))},
                          certs.peer(TestCertificates::Server::Good));
    {
        HttpTransport transport(tlsLimits());
        transport.setTrustedCaFile(certs.caFile());
        ASSERT_TRUE(transport.setEndpoint(peer.url("/Varnel/Web/Services/VarnelServices.asmx")));
        QByteArray traceOut;
        transport.setTraceHook([&](bool outgoing, const char *data, qsizetype size) {
            if (outgoing)
                traceOut.append(data, size);
        });
        const HttpExchange ex = transport.post(kAction, kEnvelope);
        ASSERT_TRUE(ex.accepted) << transport.tlsError();
        EXPECT_EQ(ex.body, "one");
        EXPECT_TRUE(transport.tlsError().empty());
        EXPECT_FALSE(transport.isResumedTls());
        // Kept alive: the second call needs no handshake at all.
        EXPECT_EQ(transport.post(kAction, kEnvelope).body, "two");
        const QByteArray expected = expectedRequest("/Varnel/Web/Services/VarnelServices.asmx", kEnvelope);
        EXPECT_EQ(peer.allRequests().at(0), expected);
        EXPECT_EQ(traceOut, expected + expected); // the trace shows the bytes inside the tunnel
    }
    // A fresh transport, as every service call makes one, resumes the session.
    HttpTransport next(tlsLimits());
    next.setTrustedCaFile(certs.caFile());
    ASSERT_TRUE(next.setEndpoint(peer.url("/svc")));
    EXPECT_EQ(next.post(kAction, kEnvelope).body, "three");
    EXPECT_TRUE(next.isResumedTls());
    EXPECT_EQ(peer.handshakeCount(), 2);
    EXPECT_EQ(peer.resumedCount(), 1);
}

struct RefusedRow {
    const char *name;
    TestCertificates::Server server;
    bool trustTheCa;
    const char *problem; // in the transport's reason
};

void PrintTo(const RefusedRow &row, std::ostream *os)
{
    *os << row.name;
}

class HttpTransportTlsRefused : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(HttpTransportTlsRefused, FailsTheCallWithoutSendingAndWithoutAPlainRetry)
{
    const RefusedRow &row = GetParam();
    const TestCertificates &certs = certificates();
    ASSERT_TRUE(certs.ok()) << certs.error();
    ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(okResponse()), PeerScript().readRequest().send(okResponse())},
        certs.peer(row.server));
    HttpTransport transport(tlsLimits());
    if (row.trustTheCa)
        transport.setTrustedCaFile(certs.caFile());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, -1);
    EXPECT_FALSE(transport.isConnected());
    EXPECT_NE(transport.tlsError().find(row.problem), std::string::npos) << transport.tlsError();
    ASSERT_TRUE(peer.waitForFinishedConnections(1, 5000));
    EXPECT_EQ(peer.connectionCount(), 1);
    EXPECT_EQ(peer.handshakeCount(), 0);
    EXPECT_TRUE(peer.allRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, HttpTransportTlsRefused,
    ::testing::Values(RefusedRow{"another_name", TestCertificates::Server::OtherName, true, "does not match"},
                      RefusedRow{"expired", TestCertificates::Server::Expired, true, "expired"},
                      RefusedRow{"unknown_authority", TestCertificates::Server::UnknownCa, true, "issuer is unknown"},
                      RefusedRow{"authority_not_named", TestCertificates::Server::Good, false, "issuer is unknown"}),
    [](const ::testing::TestParamInfo<RefusedRow> &info) { return std::string(info.param.name); });

// What was encrypted is not redirected to plain HTTP; a path stays on TLS.
TEST(HttpTransportTls, RedirectKeepsTls)
{
    const TestCertificates &certs = certificates();
    ASSERT_TRUE(certs.ok()) << certs.error();
    ScriptedHttpPeer plain({PeerScript().readRequest().send(okResponse("in clear"))});
    ScriptedHttpPeer peer({PeerScript()
                               .readRequest()
                               .send(httpResponse(302, {{"Location", "/moved"}}))
                               .readRequest()
                               .send(httpResponse(301, {{"Location", QByteArray::fromStdString(plain.url("/x"))}}))},
                          certs.peer(TestCertificates::Server::Good));
    HttpTransport transport(tlsLimits());
    transport.setTrustedCaFile(certs.caFile());
    ASSERT_TRUE(transport.setEndpoint(peer.url("/svc")));
    const HttpExchange ex = transport.post(kAction, kEnvelope);
    EXPECT_FALSE(ex.accepted);
    EXPECT_EQ(ex.status, 301);
    ASSERT_EQ(peer.allRequests().size(), 2u);
    EXPECT_TRUE(peer.allRequests()[1].startsWith("POST /moved HTTP/1.1\r\n"));
    EXPECT_EQ(plain.connectionCount(), 0);
}

// ---------------------------------------------------------------------------
// The pure pieces

TEST(HttpUrlParse, AcceptsAndRefuses)
{
    HttpUrl url;
    ASSERT_TRUE(HttpUrl::parse("http://svc.test", url));
    EXPECT_EQ(url.host, "svc.test");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/");
    ASSERT_TRUE(HttpUrl::parse("HTTP://127.0.0.1:8080/a/b?x=1#frag", url));
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/a/b?x=1");
    ASSERT_TRUE(HttpUrl::parse("http://[::1]:81/", url));
    EXPECT_EQ(url.host, "::1");
    EXPECT_FALSE(url.tls);
    ASSERT_TRUE(HttpUrl::parse("HTTPS://svc.test/x", url));
    EXPECT_TRUE(url.tls);
    EXPECT_EQ(url.port, 443);
    ASSERT_TRUE(HttpUrl::parse("https://svc.test:8443", url));
    EXPECT_EQ(url.port, 8443);
    EXPECT_EQ(url.path, "/");

    EXPECT_TRUE(HttpUrl::parse("http://h/" + std::string(2047, 'p') + "?" + std::string(2048, 'q'), url));
    for (const std::string &bad :
         std::vector<std::string>{"https:///path", "httpss://h/", "http:///path", "http://h:0/", "http://h:65536/",
                                  "http://h:/", "http://h/a b", "http://h/\r\nX: y", "ftp://h/", "http://user@h/",
                                  "http://h/" + std::string(2048, 'p'), "http://h/?" + std::string(2049, 'q')})
        EXPECT_FALSE(HttpUrl::parse(bad, url)) << bad;
}

TEST(HttpParsers, StatusLineAndChunkSize)
{
    int status = 0;
    EXPECT_TRUE(http::parseStatusLine("HTTP/1.1 404 Not Found", status));
    EXPECT_EQ(status, 404);
    EXPECT_TRUE(http::parseStatusLine("ICY 200", status));
    EXPECT_EQ(status, 200);
    EXPECT_FALSE(http::parseStatusLine("HTTP/1.1", status));
    EXPECT_FALSE(http::parseStatusLine("HTTP/1.1 x200", status));
    EXPECT_FALSE(http::parseStatusLine("HTTP/1.1 99999999999", status));

    qint64 size = 0;
    EXPECT_TRUE(http::parseChunkSizeLine("1aF", size));
    EXPECT_EQ(size, 0x1af);
    EXPECT_TRUE(http::parseChunkSizeLine("0000000000000000000010", size));
    EXPECT_EQ(size, 16);
    for (const char *bad : {"", " 1", "1 ", "1;ext", "g", "1000000000000000"})
        EXPECT_FALSE(http::parseChunkSizeLine(bad, size)) << bad;
}
