// The SOAP endpoint at the HTTP level: what a toolkit other than the client,
// or a broken or hostile sender, gets back. Every refusal is HTTP 500 with a
// well-formed SOAP 1.1 fault that the client's own fault reader accepts.
#include "server_test_support.h"
#include "site_config.h"
#include "soap_reader.h"

#include <httplib.h>

#include <QFile>
#include <QRegularExpression>
#include <thread>

using namespace servertest;
using quillora::testpeers::VarnelServerProcess;

namespace {

const std::string kNs = "http://127.0.0.1/Services/VarnelServices";

const std::string kUser = qs::compiledServiceAccount().username.toStdString();
const std::string kPassword = qs::compiledServiceAccount().password.toStdString();

std::string header(const std::string &user = kUser, const std::string &password = kPassword,
                   const std::string &ns = kNs)
{
    return "<soap:Header><c:CredentialSoapHeader xmlns:c=\"" + ns + "\"><c:Username>" + user +
           "</c:Username><c:Password>" + password + "</c:Password></c:CredentialSoapHeader></soap:Header>";
}

std::string envelope(const std::string &body, const std::string &head = header())
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">" +
           head + "<soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string op(const std::string &name, const std::string &params, const std::string &ns = kNs)
{
    return "<" + name + " xmlns=\"" + ns + "\">" + params + "</" + name + ">";
}

class WireTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        server = std::make_unique<VarnelServerProcess>();
        ASSERT_TRUE(server->started()) << server->error();
        http = std::make_unique<httplib::Client>(server->host(), server->port());
        http->set_read_timeout(20, 0);
    }

    httplib::Result post(const std::string &body)
    {
        return http->Post(quillora::service::kServicePath, body, "text/xml; charset=utf-8");
    }

    // Posts and expects a fault with the given code; returns its fault string.
    std::string expectFault(const std::string &body, qs::FaultCode code = qs::FaultCode::Client)
    {
        auto res = post(body);
        EXPECT_TRUE(res);
        if (!res)
            return {};
        EXPECT_EQ(res->status, 500) << res->body;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml; charset=utf-8");
        qs::FaultRecord fault;
        EXPECT_TRUE(qs::readFaultEnvelope(QByteArray::fromStdString(res->body), fault)) << res->body;
        EXPECT_EQ(fault.code, code) << res->body;
        return fault.faultString.toStdString();
    }

    std::unique_ptr<VarnelServerProcess> server;
    std::unique_ptr<httplib::Client> http;
};

TEST_F(WireTest, AcceptsAnyWellFormedDocumentLiteralRequest)
{
    // Prefixed parameters in the service namespace, surrounding white space
    // in an int, comments, and a SOAPAction that names another operation:
    // dispatch follows the body's wrapper element.
    const std::string body =
        envelope("<!-- hi --><v:GetUserListOnline xmlns:v=\"" + kNs +
                 "\">\n  <v:pageSize> 20 </v:pageSize>\n  <pageIndex>+1</pageIndex>\n</v:GetUserListOnline>");
    httplib::Headers headers{{"SOAPAction", "\"" + kNs + "/SetUserOffline\""}};
    auto res = http->Post(quillora::service::kServicePath, headers, body, "text/xml; charset=utf-8");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_EQ(res->body.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope", 0), 0u);
    EXPECT_NE(res->body.find("<GetUserListOnlineResponse xmlns=\"" + kNs + "\">"), std::string::npos);
    qs::SoapValues out;
    qs::FaultRecord fault;
    ASSERT_TRUE(qs::readResponseEnvelope(QByteArray::fromStdString(res->body), qs::operation(qs::Op::GetUserListOnline),
                                         out, fault));
    EXPECT_EQ(out.at(1).integer, 0);

    // A nil string parameter reads as null: IsUserExistsByName(null) is false.
    res = post(envelope(op("IsUserExistsByName", "<userName xsi:nil=\"true\"/>")));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("<IsUserExistsByNameResult>false</IsUserExistsByNameResult>"), std::string::npos);
}

TEST_F(WireTest, CredentialHeaderMustCarryTheServiceAccount)
{
    const std::string call = op("GetUserListOnline", "<pageSize>1</pageSize><pageIndex>1</pageIndex>");
    EXPECT_NE(expectFault(envelope(call, "")).find("CredentialSoapHeader"), std::string::npos);
    expectFault(envelope(call, header(kUser, "wrong")));
    expectFault(envelope(call, header("someone")));
    expectFault(envelope(
        call, "<soap:Header><c:CredentialSoapHeader xmlns:c=\"" + kNs +
                  "\"><c:Username xsi:nil=\"1\"/><c:Password xsi:nil=\"1\"/></c:CredentialSoapHeader></soap:Header>"));
    // The client's own proxy with its header values never set sends nil fields.
    auto proxy = std::make_unique<qs::CVarnelServices>(
        qs::SiteAddress{QString::fromStdString(server->host()), static_cast<quint16>(server->port())});
    QString doc;
    int total = 0;
    EXPECT_FALSE(qs::succeeded(proxy->GetUserListOnline(20, 1, &doc, &total)));
    EXPECT_EQ(proxy->callStatus(), qs::StatusSoapFault);
    EXPECT_EQ(proxy->lastFault().code, qs::FaultCode::Client);
}

TEST_F(WireTest, NamespaceOfAnotherHostIsRefusedNamingTheExpectedOne)
{
    const std::string otherNs = "http://community.example/Services/VarnelServices";
    const std::string message =
        expectFault(envelope(op("GetUserListOnline", "<pageSize>1</pageSize><pageIndex>1</pageIndex>", otherNs)));
    EXPECT_NE(message.find(kNs), std::string::npos) << message;
    const std::string headerMessage = expectFault(envelope(
        op("GetUserListOnline", "<pageSize>1</pageSize><pageIndex>1</pageIndex>"), header(kUser, kPassword, otherNs)));
    EXPECT_NE(headerMessage.find(kNs), std::string::npos) << headerMessage;
}

TEST_F(WireTest, MalformedOrMistypedRequestsGetClientFaults)
{
    struct Case {
        const char *name;
        std::string body;
        qs::FaultCode code;
    };
    const std::string users = "<pageSize>1</pageSize><pageIndex>1</pageIndex>";
    const std::vector<Case> cases = {
        {"empty body", "", qs::FaultCode::Client},
        {"not XML", "hello", qs::FaultCode::Client},
        {"truncated", envelope(op("GetUserListOnline", users)).substr(0, 200), qs::FaultCode::Client},
        {"not an envelope", "<html><body/></html>", qs::FaultCode::Client},
        {"SOAP 1.2 envelope", "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body/></e:Envelope>",
         qs::FaultCode::VersionMismatch},
        {"no body",
         "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">" + header() + "</soap:Envelope>",
         qs::FaultCode::Client},
        {"empty body element", envelope(""), qs::FaultCode::Client},
        {"unknown operation", envelope(op("DropAllTables", "")), qs::FaultCode::Client},
        {"operation name in another case", envelope(op("getuserlistonline", users)), qs::FaultCode::Client},
        {"two operations", envelope(op("GetUserListOnline", users) + op("GetUserListOnline", users)),
         qs::FaultCode::Client},
        {"int with letters", envelope(op("GetUserListOnline", "<pageSize>12a</pageSize><pageIndex>1</pageIndex>")),
         qs::FaultCode::Client},
        {"int beyond 32 bits",
         envelope(op("GetUserListOnline", "<pageSize>2147483648</pageSize><pageIndex>1</pageIndex>")),
         qs::FaultCode::Client},
        {"empty int", envelope(op("GetUserListOnline", "<pageSize></pageSize><pageIndex>1</pageIndex>")),
         qs::FaultCode::Client},
        {"nil int", envelope(op("GetUserListOnline", "<pageSize xsi:nil=\"1\"/><pageIndex>1</pageIndex>")),
         qs::FaultCode::Client},
        {"missing parameter", envelope(op("GetUserListOnline", "<pageSize>1</pageSize>")), qs::FaultCode::Client},
        {"missing string parameter", envelope(op("GetUserByUserName", "<userName>a</userName>")),
         qs::FaultCode::Client},
        {"parameter twice", envelope(op("GetUserListOnline", users + "<pageIndex>2</pageIndex>")),
         qs::FaultCode::Client},
        {"unknown parameter", envelope(op("GetUserListOnline", users + "<sortBy>name</sortBy>")),
         qs::FaultCode::Client},
        {"element inside a parameter", envelope(op("IsUserExistsByName", "<userName><b>x</b></userName>")),
         qs::FaultCode::Client},
        {"document type declaration",
         "<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>" +
             envelope(op("IsUserExistsByName", "<userName>&b;</userName>")),
         qs::FaultCode::Client},
        {"trailing element", envelope(op("GetUserListOnline", users)) + "<more/>", qs::FaultCode::Client},
        {"header that must be understood",
         envelope(op("GetUserListOnline", users),
                  header().substr(0, header().size() - std::string("</soap:Header>").size()) +
                      "<x:Tx xmlns:x=\"urn:tx\" soap:mustUnderstand=\"1\"/></soap:Header>"),
         qs::FaultCode::MustUnderstand},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expectFault(c.body, c.code);
    }
    // The server is still serving.
    auto res = post(envelope(op("GetUserListOnline", users)));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

TEST_F(WireTest, BodiesOverOneMebibyteAreRefused)
{
    const std::string big =
        envelope(op("IsUserExistsByName", "<userName>" + std::string(1024 * 1024, 'a') + "</userName>"));
    auto res = post(big);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
    // Just under the limit is served.
    const std::string fits =
        envelope(op("IsUserExistsByName", "<userName>" + std::string(1000 * 1000, 'a') + "</userName>"));
    res = post(fits);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

TEST_F(WireTest, RequestLogNamesOperationsAndNeverPasswords)
{
    auto proxy = proxyFor(*server);
    registerMember(*proxy, QStringLiteral("logged"), QStringLiteral("Sw0rdfish!"));
    bool ok = false;
    proxy->EditUserInformation(1, QStringLiteral("Tr0mbone?"), QStringLiteral("n"), QStringLiteral("e@x.org"),
                               QStringLiteral("1"), &ok);
    QString doc;
    proxy->GetUserByUserName(QStringLiteral("logged"), QStringLiteral("wrong-Pa55"), &doc);
    http->Get("/Varnel/Web/ShowSoftPost.aspx?PostID=1&USRID=1&USRPSW=Tr0mbone%3F");
    expectFault("garbage");
    // A namespace with a line break cannot forge a log line.
    expectFault(envelope(op("GetUserListOnline", "", "urn:x&#10;2026-01-01T00:00:00Z 10.0.0.1 forged")));

    // The server writes a request's line just after its response: wait for all seven.
    QByteArray text;
    for (int i = 0; i < 200 && text.count('\n') < 7; ++i) {
        if (i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QFile log(QString::fromStdString(server->logPath().string()));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        text = log.readAll();
    }
    EXPECT_TRUE(text.contains(" CreateNewUser 200 ok ")) << text.toStdString();
    EXPECT_TRUE(text.contains(" GetUserByUserName 500 fault Client")) << text.toStdString();
    EXPECT_TRUE(text.contains("/Varnel/Web/ShowSoftPost.aspx ")) << text.toStdString();
    for (const char *secret : {"Sw0rdfish", "Tr0mbone", "wrong-Pa55", "USRPSW"})
        EXPECT_FALSE(text.contains(secret)) << secret;
    // One line per request, each starting with an ISO time.
    const QList<QByteArray> lines = text.trimmed().split('\n');
    EXPECT_EQ(lines.size(), 7);
    for (const QByteArray &line : lines)
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ 127\\.0\\.0\\.1 "))
                        .match(QString::fromUtf8(line))
                        .hasMatch())
            << line.toStdString();
}

} // namespace
