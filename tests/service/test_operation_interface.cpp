// The operation table and the 30 typed proxy methods against the service's
// published interface (published_interface.h, written out by hand): every
// name, type and position, and every argument on the wire in its place.
#include "published_interface.h"
#include "scripted_http_peer.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

using namespace quillora::service;
using namespace quillora::testpeers;
using quillora::servicetest::Kind;
using quillora::servicetest::PublishedOperation;
using quillora::servicetest::publishedOperations;
using quillora::servicetest::PublishedParam;

namespace {

ParamType wireType(Kind kind)
{
    switch (kind) {
    case Kind::Int:
        return ParamType::Int;
    case Kind::Boolean:
        return ParamType::Boolean;
    case Kind::String:
    case Kind::Document:
        break;
    }
    return ParamType::String;
}

// Arguments that tell every position apart: in-parameter k is 1000 + 11k as
// an int or "arg k" as a string; out-parameter k lands in slot k of its type.
struct Args {
    int i(int k) const { return 1000 + 11 * k; }
    QString s(int k) const { return QStringLiteral("arg %1").arg(k); }
    QString *S(int k) { return &strings[k]; }
    int *I(int k) { return &ints[k]; }
    bool *B(int k) { return &bools[k]; }
    QString strings[3];
    int ints[3] = {-1, -1, -1};
    bool bools[3] = {false, false, false};
};

using Invoke = std::function<CallResult(CVarnelServices &, Args &)>;

// Each typed method called with its arguments in the order of its signature.
const std::map<std::string, Invoke> &typedCalls()
{
    static const std::map<std::string, Invoke> calls = {
        {"IsUserExistsByName", [](CVarnelServices &p, Args &a) { return p.IsUserExistsByName(a.s(0), a.B(0)); }},
        {"GetUserByUserName", [](CVarnelServices &p, Args &a) { return p.GetUserByUserName(a.s(0), a.s(1), a.S(0)); }},
        {"SetUserOnline", [](CVarnelServices &p, Args &a) { return p.SetUserOnline(a.i(0), a.s(1), a.B(0)); }},
        {"SetUserOffline", [](CVarnelServices &p, Args &a) { return p.SetUserOffline(a.i(0), a.B(0)); }},
        {"Authenticate", [](CVarnelServices &p, Args &a) { return p.Authenticate(a.i(0)); }},
        {"CreateNewUser",
         [](CVarnelServices &p, Args &a) {
             return p.CreateNewUser(a.s(0), a.s(1), a.s(2), a.i(3), a.s(4), a.s(5), a.s(6), a.s(7), a.s(8), a.s(9),
                                    a.s(10), a.B(0));
         }},
        {"CreatForumPost",
         [](CVarnelServices &p, Args &a) {
             return p.CreatForumPost(a.i(0), a.s(1), a.i(2), a.i(3), a.s(4), a.B(0), a.I(1));
         }},
        {"CreatForumReply",
         [](CVarnelServices &p, Args &a) { return p.CreatForumReply(a.i(0), a.i(1), a.i(2), a.s(3), a.B(0), a.I(1)); }},
        {"EditUserInformation",
         [](CVarnelServices &p, Args &a) {
             return p.EditUserInformation(a.i(0), a.s(1), a.s(2), a.s(3), a.s(4), a.B(0));
         }},
        {"GetExpertListOnline", [](CVarnelServices &p, Args &a) { return p.GetExpertListOnline(a.i(0), a.S(0)); }},
        {"GetExpertListOnlineByPostID",
         [](CVarnelServices &p, Args &a) { return p.GetExpertListOnlineByPostID(a.i(0), a.S(0)); }},
        {"GetForumPostByID", [](CVarnelServices &p, Args &a) { return p.GetForumPostByID(a.i(0), a.S(0)); }},
        {"GetForumPostListByColumn",
         [](CVarnelServices &p, Args &a) {
             return p.GetForumPostListByColumn(a.i(0), a.i(1), a.i(2), a.S(0), a.I(1));
         }},
        {"GetForumPostsByPostUserID",
         [](CVarnelServices &p, Args &a) {
             return p.GetForumPostsByPostUserID(a.i(0), a.i(1), a.i(2), a.i(3), a.S(0), a.I(1));
         }},
        {"GetForumPostsByReplyUserID",
         [](CVarnelServices &p, Args &a) {
             return p.GetForumPostsByReplyUserID(a.i(0), a.i(1), a.i(2), a.i(3), a.S(0), a.I(1));
         }},
        {"GetForumPostsByScoreUserID",
         [](CVarnelServices &p, Args &a) {
             return p.GetForumPostsByScoreUserID(a.i(0), a.i(1), a.i(2), a.i(3), a.S(0), a.I(1));
         }},
        {"GetForumReplyListByPostID",
         [](CVarnelServices &p, Args &a) { return p.GetForumReplyListByPostID(a.i(0), a.S(0)); }},
        {"GetMessage", [](CVarnelServices &p, Args &a) { return p.GetMessage(a.i(0), a.S(0)); }},
        {"GetOverduePostsByUserID",
         [](CVarnelServices &p, Args &a) { return p.GetOverduePostsByUserID(a.i(0), a.i(1), a.B(0)); }},
        {"GetPostsByEndingUserID",
         [](CVarnelServices &p, Args &a) {
             return p.GetPostsByEndingUserID(a.i(0), a.i(1), a.i(2), a.i(3), a.S(0), a.I(1));
         }},
        {"GetReplierListOnlineByPostID",
         [](CVarnelServices &p, Args &a) { return p.GetReplierListOnlineByPostID(a.i(0), a.S(0)); }},
        {"GetSearchForumPostByID",
         [](CVarnelServices &p, Args &a) { return p.GetSearchForumPostByID(a.i(0), a.S(0), a.I(1)); }},
        {"GetSearchForumPostsByAuthor",
         [](CVarnelServices &p, Args &a) {
             return p.GetSearchForumPostsByAuthor(a.i(0), a.s(1), a.i(2), a.i(3), a.S(0), a.I(1));
         }},
        {"GetSearchForumPostsByTitle",
         [](CVarnelServices &p, Args &a) {
             return p.GetSearchForumPostsByTitle(a.i(0), a.s(1), a.i(2), a.i(3), a.S(0), a.I(1));
         }},
        {"GetUserByUserID", [](CVarnelServices &p, Args &a) { return p.GetUserByUserID(a.i(0), a.S(0)); }},
        {"GetUserListOnline",
         [](CVarnelServices &p, Args &a) { return p.GetUserListOnline(a.i(0), a.i(1), a.S(0), a.I(1)); }},
        {"GetUserScoresByUserID", [](CVarnelServices &p, Args &a) { return p.GetUserScoresByUserID(a.i(0), a.S(0)); }},
        {"IsUserExistsByEmail", [](CVarnelServices &p, Args &a) { return p.IsUserExistsByEmail(a.s(0), a.B(0)); }},
        {"SendMessage", [](CVarnelServices &p, Args &a) { return p.SendMessage(a.i(0), a.i(1), a.s(2), a.B(0)); }},
        {"SendThreadsByType", [](CVarnelServices &p, Args &a) { return p.SendThreadsByType(a.i(0), a.S(0)); }},
    };
    return calls;
}

// What the service answers: out-parameter k as "result k", 500 + k, or true.
QByteArray outValue(const PublishedParam &p, int k)
{
    switch (p.kind) {
    case Kind::Int:
        return QByteArray::number(500 + k);
    case Kind::Boolean:
        return "true";
    case Kind::String:
    case Kind::Document:
        break;
    }
    return "result " + QByteArray::number(k);
}

QByteArray answerFor(const PublishedOperation &op)
{
    QByteArray results;
    for (int k = 0; k < int(op.out.size()); ++k) {
        const QByteArray name = QByteArray::fromStdString(op.out[size_t(k)].name);
        results += "<" + name + ">" + outValue(op.out[size_t(k)], k) + "</" + name + ">";
    }
    const QByteArray wrapper = QByteArray::fromStdString(op.name) + "Response";
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" +
                            wrapper + " xmlns=\"http://127.0.0.1/Services/VarnelServices\">" + results + "</" +
                            wrapper + "></soap:Body></soap:Envelope>";
    return httpResponse(200, {{"Content-Type", "text/xml; charset=utf-8"}}, body);
}

} // namespace

TEST(PublishedInterface, OperationTableMatchesItNameByNameAndPlaceByPlace)
{
    ASSERT_EQ(publishedOperations().size(), 30u);
    ASSERT_EQ(operations().size(), publishedOperations().size());
    std::set<std::string> seen;
    for (const PublishedOperation &published : publishedOperations()) {
        SCOPED_TRACE(published.name);
        EXPECT_TRUE(seen.insert(published.name).second) << "listed twice";
        const OperationDescriptor *op = findOperation(published.name);
        ASSERT_NE(op, nullptr);
        ASSERT_EQ(op->inCount(), int(published.in.size()));
        ASSERT_EQ(op->outCount(), int(published.out.size()));
        // The table holds the in-parameters first, then the out-parameters.
        std::vector<PublishedParam> expected = published.in;
        expected.insert(expected.end(), published.out.begin(), published.out.end());
        for (size_t k = 0; k < expected.size(); ++k) {
            const ParamDescriptor &p = op->params[k];
            EXPECT_EQ(std::string(p.name), expected[k].name) << "parameter " << k;
            EXPECT_EQ(p.type, wireType(expected[k].kind)) << expected[k].name;
            EXPECT_EQ(p.direction, k < published.in.size() ? Direction::In : Direction::Out) << expected[k].name;
        }
    }
}

// Each typed method, called with a distinct value in every argument, puts each
// value in the element of its own parameter, in wire order, and hands each
// out-parameter of the answer to its own pointer. Two arguments of the same
// type swapped inside a method (page size and page index, question ID and
// user ID) show here.
TEST(PublishedInterface, EveryTypedMethodPutsEachArgumentInItsPlace)
{
    const auto &ops = publishedOperations();
    std::vector<PeerScript> scripts;
    for (const PublishedOperation &op : ops)
        scripts.push_back(PeerScript().readRequest().send(answerFor(op)));
    ScriptedHttpPeer peer(std::move(scripts));
    const SiteAddress site{QStringLiteral("127.0.0.1"), quint16(peer.port())};
    ASSERT_EQ(typedCalls().size(), ops.size());

    for (size_t n = 0; n < ops.size(); ++n) {
        const PublishedOperation &op = ops[n];
        SCOPED_TRACE(op.name);
        const auto call = typedCalls().find(op.name);
        ASSERT_NE(call, typedCalls().end());
        CVarnelServices proxy(site);
        Args args;
        ASSERT_EQ(call->second(proxy, args), CallResult::Ok) << "call status " << proxy.callStatus();

        QByteArray params;
        for (int k = 0; k < int(op.in.size()); ++k) {
            const QByteArray name = QByteArray::fromStdString(op.in[size_t(k)].name);
            const QByteArray value =
                op.in[size_t(k)].kind == Kind::Int ? QByteArray::number(args.i(k)) : args.s(k).toUtf8();
            params += "<" + name + ">" + value + "</" + name + ">";
        }
        const QByteArray opName = QByteArray::fromStdString(op.name);
        const QByteArray body = proxy.lastRequestBody();
        EXPECT_TRUE(body.contains("<soap:Body><" + opName + " xmlns=\"http://127.0.0.1/Services/VarnelServices\">" +
                                  params + "</" + opName + "></soap:Body>"))
            << body.toStdString();
        ASSERT_GT(peer.allRequests().size(), n);
        EXPECT_TRUE(peer.allRequests()[n].contains("SOAPAction: \"http://127.0.0.1/Services/VarnelServices/" + opName +
                                                   "\"\r\n"));

        for (int k = 0; k < int(op.out.size()); ++k) {
            const PublishedParam &out = op.out[size_t(k)];
            switch (out.kind) {
            case Kind::Int:
                EXPECT_EQ(args.ints[k], 500 + k) << out.name;
                break;
            case Kind::Boolean:
                EXPECT_TRUE(args.bools[k]) << out.name;
                break;
            case Kind::String:
            case Kind::Document:
                EXPECT_EQ(args.strings[k], QStringLiteral("result %1").arg(k)) << out.name;
                break;
            }
        }
    }
}
