// The request writer and the response and fault readers, byte for byte.
#include "operations.h"
#include "site_config.h"
#include "soap_reader.h"
#include "soap_writer.h"

#include <gtest/gtest.h>

using namespace quillora::service;

namespace {

const QString kNs = QStringLiteral("http://example.org/Services/VarnelServices");

QByteArray escaped(const QString &text)
{
    QByteArray out;
    appendEscapedText(out, text);
    return out;
}

QByteArray envelopeFor(Op op, const CredentialHeader &header, std::initializer_list<SoapValue> in)
{
    return writeRequestEnvelope(operation(op), kNs, header, std::span(in.begin(), in.size()));
}

QByteArray response(const QByteArray &wrapperContent, const QByteArray &after = QByteArray())
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
           "<soap:Body><OpResponse xmlns=\"urn:x\">" +
           wrapperContent + "</OpResponse>" + after + "</soap:Body></soap:Envelope>";
}

struct Parsed {
    bool ok;
    SoapValues values;
    FaultRecord fault;
};

Parsed parse(Op op, const QByteArray &body)
{
    Parsed p;
    p.ok = readResponseEnvelope(body, operation(op), p.values, p.fault);
    return p;
}

} // namespace

TEST(OperationTable, HasThirtyDistinctOperationsWithTheServiceSpelling)
{
    ASSERT_EQ(operations().size(), 30u);
    for (const auto &op : operations())
        EXPECT_EQ(findOperation(op.name), &op) << op.name;
    EXPECT_NE(findOperation("CreatForumPost"), nullptr);
    EXPECT_EQ(findOperation("CreateForumPost"), nullptr);
    EXPECT_EQ(findOperation("getUserByUserID"), nullptr);
    // GroupID and groupID are different parameters of different operations.
    EXPECT_EQ(operation(Op::GetForumPostsByPostUserID).params[3].name, "GroupID");
    EXPECT_EQ(operation(Op::GetOverduePostsByUserID).params[1].name, "groupID");
    EXPECT_EQ(operation(Op::Authenticate).outCount(), 0);
    EXPECT_EQ(operation(Op::CreateNewUser).inCount(), 11);
    EXPECT_EQ(operation(Op::GetSearchForumPostByID).outCount(), 2);
    EXPECT_EQ(operation(Op::GetUserByUserName).responseName(), "GetUserByUserNameResponse");
}

TEST(RequestWriter, WholeEnvelopeIsExactAndPureAscii)
{
    const QByteArray env = envelopeFor(Op::GetForumPostListByColumn, {QStringLiteral("agent"), QStringLiteral("pw")},
                                       {SoapValue::ofInt(7), SoapValue::ofInt(15), SoapValue::ofInt(-2)});
    const QByteArray expected =
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">"
        "<soap:Header xmlns=\"http://example.org/Services/VarnelServices\">"
        "<snp:CredentialSoapHeader xmlns:snp=\"http://example.org/Services/VarnelServices\">"
        "<Username>agent</Username><Password>pw</Password></snp:CredentialSoapHeader></soap:Header>"
        "<soap:Body><GetForumPostListByColumn xmlns=\"http://example.org/Services/VarnelServices\">"
        "<forumColumnID>7</forumColumnID><pageSize>15</pageSize><currentPageIndex>-2</currentPageIndex>"
        "</GetForumPostListByColumn></soap:Body></soap:Envelope>";
    EXPECT_EQ(env, expected);
    EXPECT_EQ(env.indexOf("<soap:Header"), 227);
}

TEST(RequestWriter, NullEmptyAndUnsetHeaderValues)
{
    const QByteArray env = envelopeFor(Op::GetUserByUserName, {},
                                       {SoapValue::ofString(QString()), SoapValue::ofString(QStringLiteral(""))});
    EXPECT_TRUE(env.contains("<Username xsi:nil=\"1\"/><Password xsi:nil=\"1\"/>"));
    EXPECT_TRUE(env.contains("<userName xsi:nil=\"1\"/><password></password></GetUserByUserName>"));
}

TEST(RequestWriter, EscapingTable)
{
    struct Row {
        const char *name;
        QString in;
        QByteArray out;
    } rows[] = {
        {"markup", QStringLiteral("a<b>&c"), "a&lt;b&gt;&amp;c"},
        {"quotes stay", QStringLiteral("it's \"so\""), "it's \"so\""},
        {"crlf", QStringLiteral("a\r\nb"), "a&#x000D;&#x000A;b"},
        {"tab and DEL", QStringLiteral("\t\x7f"), "&#x0009;&#x007F;"},
        {"bmp letter", QString(QChar(0x4E2D)), "&#x4E2D;"},
        {"latin letter", QString(QChar(0xE9)), "&#x00E9;"},
        {"astral pair", QString::fromUcs4(U"\U0001F600"), "&#x01F600;"},
        {"lone high surrogate", QString(QChar(0xD83D)) + QLatin1Char('x'), "&#xD83D;x"},
        {"lone low surrogate", QString(QChar(0xDE00)), "&#xDE00;"},
        {"stops at zero", QString::fromUtf16(u"ab\0cd", 5), "ab"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(escaped(r.in), r.out) << r.name;
}

TEST(RequestWriter, HostileNamespaceCannotBreakTheAttribute)
{
    const QByteArray env = writeRequestEnvelope(operation(Op::Authenticate), serviceNamespace(QStringLiteral("h\"><x")),
                                                {}, std::array{SoapValue::ofInt(1)});
    EXPECT_FALSE(env.contains("h\"><x"));
}

TEST(ResponseReader, ReadsResultsOfEachType)
{
    auto p = parse(Op::GetForumPostListByColumn,
                   response("<GetForumPostListByColumnResult>&lt;a/&gt; &#x4E2D;</GetForumPostListByColumnResult>"
                            "<totalCount> -42</totalCount>"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.values[0].string, QStringLiteral("<a/> ") + QChar(0x4E2D));
    EXPECT_EQ(p.values[1].integer, -42);

    for (auto [text, expected] : {std::pair{"true", true}, {"1", true}, {"false", false}, {"0", false}}) {
        auto b = parse(Op::IsUserExistsByName,
                       response(QByteArray("<IsUserExistsByNameResult>") + text + "</IsUserExistsByNameResult>"));
        ASSERT_TRUE(b.ok) << text;
        EXPECT_EQ(b.values[0].boolean, expected) << text;
    }
}

TEST(ResponseReader, RejectsBrokenResults)
{
    struct Row {
        const char *name;
        Op op;
        QByteArray body;
    } rows[] = {
        {"unexpected child", Op::GetUserByUserID,
         response("<GetUserByUserIDResult>x</GetUserByUserIDResult><extra>1</extra>")},
        {"repeated child", Op::GetUserByUserID,
         response("<GetUserByUserIDResult>x</GetUserByUserIDResult><GetUserByUserIDResult>y</GetUserByUserIDResult>")},
        {"missing required int", Op::GetForumPostListByColumn,
         response("<GetForumPostListByColumnResult>x</GetForumPostListByColumnResult>")},
        {"missing required boolean", Op::SetUserOnline, response("")},
        {"int with trailing space", Op::GetUserListOnline, response("<totalCount>5 </totalCount>")},
        {"int beyond 32 bits", Op::GetUserListOnline, response("<totalCount>2147483648</totalCount>")},
        {"int below 32 bits", Op::GetUserListOnline, response("<totalCount>-2147483649</totalCount>")},
        {"int without digits", Op::GetUserListOnline, response("<totalCount>-</totalCount>")},
        {"boolean word", Op::SetUserOffline, response("<SetUserOfflineResult>yes</SetUserOfflineResult>")},
        {"boolean case", Op::SetUserOffline, response("<SetUserOfflineResult>True</SetUserOfflineResult>")},
        {"nil int", Op::GetUserListOnline, response("<totalCount xsi:nil=\"true\"/>")},
        {"nested element", Op::GetUserByUserID, response("<GetUserByUserIDResult><User/></GetUserByUserIDResult>")},
        {"case of the name", Op::GetUserListOnline, response("<TotalCount>1</TotalCount>")},
        {"element after wrapper", Op::GetUserByUserID, response("", "<bogus/>")},
        {"not xml", Op::Authenticate, "this is not xml"},
        {"truncated", Op::Authenticate, response("").left(60)},
        {"wrong envelope namespace", Op::Authenticate,
         "<soap:Envelope xmlns:soap=\"urn:other\"><soap:Body/></soap:Envelope>"},
        {"foreign element before body", Op::Authenticate,
         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><x:y "
         "xmlns:x=\"urn:x\"/><s:Body/></s:Envelope>"},
        {"no body", Op::Authenticate, "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"/>"},
        {"doctype", Op::Authenticate,
         "<!DOCTYPE s [<!ENTITY a \"b\">]><s:Envelope "
         "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body/></s:Envelope>"},
    };
    for (const Row &r : rows) {
        auto p = parse(r.op, r.body);
        EXPECT_FALSE(p.ok) << r.name;
        for (const SoapValue &v : p.values) {
            EXPECT_TRUE(v.string.isNull()) << r.name;
            EXPECT_EQ(v.integer, 0) << r.name;
        }
    }
}

TEST(ResponseReader, AcceptsWhatTheServiceMaySend)
{
    // Missing string result stays null; nil string stays null; empty string element gives null.
    auto missing = parse(Op::GetUserByUserName, response(""));
    ASSERT_TRUE(missing.ok);
    EXPECT_TRUE(missing.values[0].string.isNull());
    auto nil = parse(Op::GetUserByUserName, response("<GetUserByUserNameResult xsi:nil=\"1\"/>"));
    ASSERT_TRUE(nil.ok);
    EXPECT_TRUE(nil.values[0].string.isNull());
    auto empty = parse(Op::GetUserByUserName, response("<GetUserByUserNameResult></GetUserByUserNameResult>"));
    ASSERT_TRUE(empty.ok);
    EXPECT_TRUE(empty.values[0].string.isNull());

    // An empty wrapper for an operation without results.
    EXPECT_TRUE(parse(Op::Authenticate, response("")).ok);

    // A body with no element at all: every result keeps its cleared value.
    auto bare = parse(Op::GetForumPostListByColumn,
                      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
                      "</soap:Body></soap:Envelope>");
    ASSERT_TRUE(bare.ok);
    EXPECT_TRUE(bare.values[0].string.isNull());
    EXPECT_EQ(bare.values[1].integer, 0);

    // A result after the wrapper counts as one more result.
    auto after = parse(
        Op::GetForumPostListByColumn,
        response("<totalCount>3</totalCount>", "<GetForumPostListByColumnResult>d</GetForumPostListByColumnResult>"));
    ASSERT_TRUE(after.ok);
    EXPECT_EQ(after.values[0].string, QStringLiteral("d"));

    // Headers are skipped unless they must be understood; the wrapper name is not compared.
    const QByteArray withHeader =
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header><h:x xmlns:h=\"urn:h\" "
        "e:mustUnderstand=\"0\"><h:deep/></h:x></e:Header><e:Body><Anything><totalCount>+9</totalCount>"
        "</Anything></e:Body></e:Envelope>";
    auto h = parse(Op::GetUserListOnline, withHeader);
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.values[1].integer, 9);
}

TEST(ResponseReader, MustUnderstandHeaderFailsWithItsCode)
{
    const QByteArray body =
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header><h:x xmlns:h=\"urn:h\" "
        "e:mustUnderstand=\"1\"/></e:Header><e:Body/></e:Envelope>";
    auto p = parse(Op::Authenticate, body);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.fault.code, FaultCode::MustUnderstand);
}

TEST(FaultReader, ReadsTheFourFields)
{
    const QByteArray body =
        "<?xml version=\"1.0\"?><env:Envelope xmlns:env=\"http://schemas.xmlsoap.org/soap/envelope/\"><env:Body>"
        "<env:Fault><faultstring>Bad account</faultstring><faultcode>env:Client</faultcode>"
        "<faultactor>urn:a</faultactor><detail>more<inner>skipped</inner></detail><other/></env:Fault>"
        "</env:Body></env:Envelope>";
    FaultRecord f;
    ASSERT_TRUE(readFaultEnvelope(body, f));
    EXPECT_EQ(f.code, FaultCode::Client);
    EXPECT_EQ(f.codeText, QStringLiteral("env:Client"));
    EXPECT_EQ(f.faultString, QStringLiteral("Bad account"));
    EXPECT_EQ(f.faultActor, QStringLiteral("urn:a"));
    EXPECT_EQ(f.detail, QStringLiteral("more"));

    FaultRecord other;
    ASSERT_TRUE(readFaultEnvelope(QByteArray(body).replace("env:Client", "env:Mystery"), other));
    EXPECT_EQ(other.code, FaultCode::None);
    FaultRecord server;
    ASSERT_TRUE(readFaultEnvelope(QByteArray(body).replace("env:Client", "env:Server"), server));
    EXPECT_EQ(server.code, FaultCode::Server);
}

TEST(FaultReader, UnreadableFaults)
{
    const QByteArray head = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:q=\"urn:q\">";
    struct Row {
        const char *name;
        QByteArray body;
    } rows[] = {
        {"html", "<html><body>Internal error</body></html>"},
        {"empty", ""},
        {"header present",
         head + "<s:Header/><s:Body><s:Fault><faultcode>s:Server</faultcode></s:Fault></s:Body></s:Envelope>"},
        {"code without prefix",
         head + "<s:Body><s:Fault><faultcode>Server</faultcode></s:Fault></s:Body></s:Envelope>"},
        {"code with other prefix",
         head + "<s:Body><s:Fault><faultcode>q:Server</faultcode></s:Fault></s:Body></s:Envelope>"},
        {"unknown element first",
         head + "<s:Body><s:Fault><x/><faultcode>s:Server</faultcode></s:Fault></s:Body></s:Envelope>"},
        {"faultstring twice", head + "<s:Body><s:Fault><faultcode>s:Server</faultcode><faultstring>a</faultstring>"
                                     "<faultstring>b</faultstring></s:Fault></s:Body></s:Envelope>"},
        {"no fault element", head + "<s:Body><x/></s:Body></s:Envelope>"},
    };
    for (const Row &r : rows) {
        FaultRecord f;
        EXPECT_FALSE(readFaultEnvelope(r.body, f)) << r.name;
    }
}
