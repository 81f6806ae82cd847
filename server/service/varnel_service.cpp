#include "varnel_service.h"

#include "client_address.h"
#include "community_rules.h"
#include "sign_in_guard.h"
#include "soap_request.h"
#include "soap_response.h"

#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <system_error>

namespace varnel {

namespace {

// A refusal that the caller should see as a soap:Client fault.
struct ClientFault {
    QString message;
};

// The address of the connection whose request this thread serves.
thread_local const std::string *t_caller = nullptr;

const std::string &callerAddress()
{
    static const std::string none;
    return t_caller ? *t_caller : none;
}

// The parameter that names the member acting (or whose private data is
// read); -1 for operations that speak for nobody.
int actingMemberParameter(qs::Op op)
{
    using O = qs::Op;
    switch (op) {
    case O::Authenticate:
    case O::CreatForumPost:
    case O::EditUserInformation:
    case O::GetMessage:
    case O::SendMessage: // the sender
    case O::SetUserOnline:
    case O::SetUserOffline:
        return 0;
    case O::CreatForumReply:
        return 1;
    default:
        return -1;
    }
}

// Refuses a text longer than the service takes.
void checkLength(const qs::SoapValue &value, int limit, const char *what)
{
    if (value.string.size() > limit)
        throw ClientFault{QStringLiteral("The %1 is longer than %2 characters.").arg(QLatin1String(what)).arg(limit)};
}

std::int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string utf8(const qs::SoapValue &value)
{
    return value.string.toStdString(); // a null string reads as empty
}

std::string questionHistory(const Member &m)
{
    return std::to_string(m.questionsAsked) + " asked, " + std::to_string(m.questionsClosed) + " closed";
}

std::string answerHistory(const Member &m)
{
    return std::to_string(m.answersGiven) + " answered, " + std::to_string(m.answersScored) + " scored";
}

// A head image number sent as text; anything that is not 1 to 24 picks 1.
int faceNumber(const QString &face)
{
    const auto number = parseStrictInt(face);
    return number && *number >= 1 && *number <= 24 ? *number : 1;
}

// The post list document of the eight list operations: `ForumPosts` records,
// fields 0-6 as the client's list shows them, then the question's state.
OutValues postList(const QuestionPage &page)
{
    DocumentWriter doc("ForumPostList");
    for (const Question &q : page.rows) {
        doc.beginRecord("ForumPosts")
            .field("PKID", q.id)
            .field("Title", q.title)
            .field("UserName", q.askerName)
            .field("Points", q.points)
            .field("Replies", q.answerCount)
            .field("PostDate", formatTime(q.posted))
            .field("ColumnID", q.column)
            .field("State", std::string(questionStateText(q.state)))
            .endRecord();
    }
    return {doc.finish(), qs::SoapValue::ofInt(page.totalCount)};
}

// Members beside a question (experts or answer providers): seven fields.
EscapedDocument questionPeopleDocument(const std::vector<Expert> &people)
{
    DocumentWriter doc("Users");
    for (const Expert &e : people) {
        doc.beginRecord("User")
            .field("PKID", e.member.id)
            .field("UserName", e.member.userName)
            .field("NickName", e.member.nickName)
            .field("Face", e.member.face)
            .field("Credit", e.member.credit)
            .field("ZoneRank", e.zoneRank)
            .field("CustomHead", e.member.customHead ? 1 : 0)
            .endRecord();
    }
    return doc.finish();
}

// The question lists: public, read often by every client, and changed only
// by writes (which move the store's list generation) and by the clock.
bool isQuestionList(qs::Op op)
{
    using O = qs::Op;
    switch (op) {
    case O::GetForumPostListByColumn:
    case O::GetForumPostsByPostUserID:
    case O::GetForumPostsByReplyUserID:
    case O::GetForumPostsByScoreUserID:
    case O::GetPostsByEndingUserID:
    case O::GetSearchForumPostByID:
    case O::GetSearchForumPostsByAuthor:
    case O::GetSearchForumPostsByTitle:
        return true;
    default:
        return false;
    }
}

// The operation and its values, each value marked with its type and a
// string with its length, so that no two different calls share a key.
std::string listKey(qs::Op op, const qs::SoapValues &in)
{
    std::string key(1, static_cast<char>(op));
    auto appendNumber = [&key](std::int64_t n) { key.append(reinterpret_cast<const char *>(&n), sizeof n); };
    for (const qs::SoapValue &v : in) {
        key.push_back(static_cast<char>(v.type));
        switch (v.type) {
        case qs::ParamType::Int:
            appendNumber(v.integer);
            break;
        case qs::ParamType::Boolean:
            key.push_back(v.boolean ? '1' : '0');
            break;
        case qs::ParamType::String: {
            if (v.string.isNull()) {
                appendNumber(-1);
                break;
            }
            const QByteArray utf8 = v.string.toUtf8();
            appendNumber(utf8.size());
            key.append(utf8.constData(), static_cast<size_t>(utf8.size()));
            break;
        }
        }
    }
    return key;
}

Page pageOf(const qs::SoapValue &size, const qs::SoapValue &index)
{
    return Page{size.integer, index.integer};
}

} // namespace

VarnelService::VarnelService(CommunityStore &store, ServiceOptions options)
    : m_store(store), m_options(std::move(options)), m_namespace(qs::serviceNamespace(m_options.host)),
      m_reads(m_options.guard.readMsPerSecond)
{
}

const std::array<VarnelService::Handler, qs::kOperationCount> &VarnelService::handlers()
{
    using O = qs::Op;
    static const std::array<Handler, qs::kOperationCount> table = [] {
        std::array<Handler, qs::kOperationCount> t{};
        auto set = [&t](O op, Handler h) { t[static_cast<size_t>(op)] = h; };
        set(O::Authenticate, &VarnelService::authenticate);
        set(O::CreateNewUser, &VarnelService::createNewUser);
        set(O::CreatForumPost, &VarnelService::creatForumPost);
        set(O::CreatForumReply, &VarnelService::creatForumReply);
        set(O::EditUserInformation, &VarnelService::editUserInformation);
        set(O::GetExpertListOnline, &VarnelService::getExpertListOnline);
        set(O::GetExpertListOnlineByPostID, &VarnelService::getExpertListOnlineByPostID);
        set(O::GetForumPostByID, &VarnelService::getForumPostByID);
        set(O::GetForumPostListByColumn, &VarnelService::getForumPostListByColumn);
        set(O::GetForumPostsByPostUserID, &VarnelService::getForumPostsByPostUserID);
        set(O::GetForumPostsByReplyUserID, &VarnelService::getForumPostsByReplyUserID);
        set(O::GetForumPostsByScoreUserID, &VarnelService::getForumPostsByScoreUserID);
        set(O::GetForumReplyListByPostID, &VarnelService::getForumReplyListByPostID);
        set(O::GetMessage, &VarnelService::getMessage);
        set(O::GetOverduePostsByUserID, &VarnelService::getOverduePostsByUserID);
        set(O::GetPostsByEndingUserID, &VarnelService::getPostsByEndingUserID);
        set(O::GetReplierListOnlineByPostID, &VarnelService::getReplierListOnlineByPostID);
        set(O::GetSearchForumPostByID, &VarnelService::getSearchForumPostByID);
        set(O::GetSearchForumPostsByAuthor, &VarnelService::getSearchForumPostsByAuthor);
        set(O::GetSearchForumPostsByTitle, &VarnelService::getSearchForumPostsByTitle);
        set(O::GetUserByUserID, &VarnelService::getUserByUserID);
        set(O::GetUserByUserName, &VarnelService::getUserByUserName);
        set(O::GetUserListOnline, &VarnelService::getUserListOnline);
        set(O::GetUserScoresByUserID, &VarnelService::getUserScoresByUserID);
        set(O::IsUserExistsByEmail, &VarnelService::isUserExistsByEmail);
        set(O::IsUserExistsByName, &VarnelService::isUserExistsByName);
        set(O::SendMessage, &VarnelService::sendMessage);
        set(O::SendThreadsByType, &VarnelService::sendThreadsByType);
        set(O::SetUserOffline, &VarnelService::setUserOffline);
        set(O::SetUserOnline, &VarnelService::setUserOnline);
        return t;
    }();
    return table;
}

ServiceAnswer VarnelService::handle(const QByteArray &requestBody, const std::string &callerAddress,
                                    std::chrono::steady_clock::time_point arrived) const
{
    ServiceAnswer answer;
    t_caller = &callerAddress;
    // Changes the client could no longer hear about are not made.
    const AnswerDeadline deadline(arrived + m_options.guard.answerDeadline);
    struct Reset {
        ~Reset() { t_caller = nullptr; }
    } reset;
    auto fault = [&answer](qs::FaultCode code, const QString &message) {
        answer.httpStatus = 500;
        answer.body = writeFault(code, message);
        answer.outcome =
            (code == qs::FaultCode::Server ? QStringLiteral("fault Server: ") : QStringLiteral("fault Client: ")) +
            message;
        return answer;
    };
    try {
        RequestReadResult read = readSoapRequest(requestBody, m_namespace);
        if (!read.request) {
            answer.operation = read.fault.operationName;
            return fault(read.fault.code, read.fault.message);
        }
        const SoapRequest &request = *read.request;
        const qs::OperationDescriptor &op = *request.operation;
        answer.operation = QString::fromUtf8(op.name.data(), static_cast<qsizetype>(op.name.size()));
        if (!request.credential)
            return fault(qs::FaultCode::Client, QStringLiteral("The CredentialSoapHeader is missing."));
        if (request.credential->username != m_options.account.username ||
            request.credential->password != m_options.account.password)
            return fault(qs::FaultCode::Client, QStringLiteral("The service account is not valid."));

        const int acting = actingMemberParameter(op.id);
        if (acting >= 0 && m_options.guard.bindMembers &&
            !m_store.isBoundTo(request.inValues[acting].integer, callerAddress, m_options.guard.bindingIdleSeconds))
            return fault(qs::FaultCode::Client, QStringLiteral("The member is not signed in from this address; "
                                                               "sign in again."));

        const Handler handler = handlers()[static_cast<size_t>(op.id)];
        if (!handler)
            return fault(qs::FaultCode::Server, QStringLiteral("%1 is not served here.").arg(answer.operation));
        const bool list = isQuestionList(op.id);
        std::string key;
        std::uint64_t generation = 0;
        if (list) {
            key = listKey(op.id, request.inValues);
            // Read before the rows: see ListAnswerCache::keep.
            generation = m_store.listGeneration();
            if (auto kept = m_lists.find(key, generation)) {
                answer.body = std::move(*kept);
                answer.outcome = QStringLiteral("ok");
                return answer;
            }
        }
        // What no rendered answer serves costs the caller's read budget.
        std::string group;
        std::optional<std::chrono::steady_clock::time_point> readStarted;
        if (list) {
            group = limitGroup(callerAddress);
            if (const auto wait = m_reads.admit(group))
                return fault(qs::FaultCode::Client,
                             QStringLiteral("Too many list pages and searches from this address; %1.")
                                 .arg(QString::fromStdString(tryAgainIn(*wait))));
            readStarted = std::chrono::steady_clock::now();
        }
        struct Spend {
            ReadBudget &budget;
            const std::string &group;
            const std::optional<std::chrono::steady_clock::time_point> &started;
            ~Spend()
            {
                if (started)
                    budget.spend(group, std::chrono::steady_clock::now() - *started);
            }
        } spend{m_reads, group, readStarted};
        const OutValues out = (this->*handler)(request.inValues);
        answer.body = writeResponse(op, m_namespace, out);
        answer.outcome = QStringLiteral("ok");
        if (list)
            m_lists.keep(key, generation, answer.body);
        return answer;
    } catch (const ClientFault &f) {
        return fault(qs::FaultCode::Client, f.message);
    } catch (const StoreBusy &) {
        return fault(qs::FaultCode::Server,
                     QStringLiteral("The server is busy; nothing was changed. Please try again."));
    } catch (const StoreError &e) {
        // The caller learns only that storage failed; the detail, which may
        // name files, goes to the log alone.
        fault(qs::FaultCode::Server, QStringLiteral("Storage failure; please try again later."));
        answer.outcome += QStringLiteral(" (") + QString::fromUtf8(e.what()) + QLatin1Char(')');
        return answer;
    } catch (const std::exception &e) {
        fault(qs::FaultCode::Server, QStringLiteral("Internal error."));
        answer.outcome += QStringLiteral(" (") + QString::fromUtf8(e.what()) + QLatin1Char(')');
        return answer;
    } catch (...) {
        return fault(qs::FaultCode::Server, QStringLiteral("Internal error."));
    }
}

// ---- limits ------------------------------------------------------------------------------

void VarnelService::takeAllowance(const char *kind, const std::string &subject, int limit, const char *what) const
{
    if (limit <= 0)
        return;
    const std::int64_t window = m_options.guard.windowSeconds;
    const EventCount count = m_store.takeAllowance(kind, subject, limit, window);
    if (!count.taken) {
        throw ClientFault{QStringLiteral("Too many %1 (at most %2 in %3); %4.")
                              .arg(QLatin1String(what))
                              .arg(limit)
                              .arg(window == 3600 ? QStringLiteral("an hour")
                                                  : QString::fromStdString(std::to_string(window) + " seconds"))
                              .arg(QString::fromStdString(tryAgainIn(count.oldest + window - nowSeconds())))};
    }
}

// ---- sign-in and presence ----------------------------------------------------------

OutValues VarnelService::isUserExistsByName(const qs::SoapValues &in) const
{
    const std::string name = in[0].string.trimmed().toStdString();
    return {qs::SoapValue::ofBool(!name.empty() && m_store.memberByName(name).has_value())};
}

OutValues VarnelService::isUserExistsByEmail(const qs::SoapValues &in) const
{
    return {qs::SoapValue::ofBool(m_store.emailTaken(in[0].string.trimmed().toStdString()))};
}

// The sign-in document: PKID first, then the member's figures at the
// positions the client reads. A wrong password or unknown user is a fault:
// the client takes any failed call here as a wrong password.
OutValues VarnelService::getUserByUserName(const qs::SoapValues &in) const
{
    checkLength(in[0], TextLimits::kUserName, "user name");
    checkLength(in[1], TextLimits::kPassword, "password");
    const std::string userName = utf8(in[0]);
    SignInGuard guard(m_store, {m_options.guard.failedSignInsPerAddress, m_options.guard.freeFailuresPerAccount,
                                m_options.guard.windowSeconds});
    if (const auto refusal = guard.begin(callerAddress(), SignInGuard::Account::byUserName(userName))) {
        throw ClientFault{(refusal->byAddress ? QStringLiteral("Too many failed sign-ins from this address; %1.")
                                              : QStringLiteral("Too many failed sign-ins for this member; %1."))
                              .arg(QString::fromStdString(tryAgainIn(refusal->seconds)))};
    }
    const auto member = m_store.signInCheck(userName, utf8(in[1]));
    if (!member)
        throw ClientFault{QStringLiteral("Unknown user name or wrong password.")};
    guard.succeeded();
    // The sign-in binds the member to this address (and renews the binding).
    if (m_options.guard.bindMembers)
        m_store.bindMember(member->id, callerAddress());
    DocumentWriter doc("Users");
    doc.beginRecord("User")
        .field("PKID", member->id)
        .field("UserName", member->userName)
        .field("Password", member->password)
        .field("NickName", member->nickName)
        .field("Face", member->face)
        .field("Points", member->points)
        .field("Sex", member->sex)
        .field("Credit", member->credit)
        .field("Email", member->email)
        .field("Grade", member->grade)
        .field("TotalScore", member->totalScore)
        .field("Registered", formatTime(member->registered))
        .field("CustomHead", member->customHead ? 1 : 0)
        .field("QuestionHistory", questionHistory(*member))
        .field("AnswerHistory", answerHistory(*member))
        .field("Role", member->role)
        .field("Online", member->online ? 1 : 0)
        .field("Level", member->level)
        .endRecord();
    return {doc.finish()};
}

OutValues VarnelService::setUserOnline(const qs::SoapValues &in) const
{
    checkLength(in[1], TextLimits::kIpAddress, "IP address");
    return {qs::SoapValue::ofBool(m_store.setOnline(in[0].integer, utf8(in[1])))};
}

OutValues VarnelService::setUserOffline(const qs::SoapValues &in) const
{
    return {qs::SoapValue::ofBool(m_store.setOffline(in[0].integer))};
}

OutValues VarnelService::getUserListOnline(const qs::SoapValues &in) const
{
    int total = 0;
    const auto members = m_store.onlineMembers(pageOf(in[0], in[1]), total);
    DocumentWriter doc("Users");
    for (const Member &m : members) {
        doc.beginRecord("User")
            .field("PKID", m.id)
            .field("UserName", m.userName)
            .field("NickName", m.nickName)
            .field("Face", m.face)
            .field("Credit", m.credit)
            .field("Level", m.level)
            .field("CustomHead", m.customHead ? 1 : 0)
            .endRecord();
    }
    return {doc.finish(), qs::SoapValue::ofInt(total)};
}

// ---- members -------------------------------------------------------------------------

OutValues VarnelService::createNewUser(const qs::SoapValues &in) const
{
    checkLength(in[0], TextLimits::kUserName, "user name");
    checkLength(in[1], TextLimits::kPassword, "password");
    checkLength(in[2], TextLimits::kNickName, "nickname");
    checkLength(in[4], TextLimits::kEmail, "e-mail address");
    checkLength(in[6], TextLimits::kRealName, "name");
    checkLength(in[7], TextLimits::kAddress, "address");
    checkLength(in[8], TextLimits::kPhone, "phone number");
    checkLength(in[9], TextLimits::kUserName, "recommender");
    checkLength(in[10], TextLimits::kMachine, "machine identity");
    takeAllowance("register", limitGroup(callerAddress()), m_options.guard.registrationsPerAddress,
                  "registrations from this address");
    NewMember m;
    m.userName = in[0].string.trimmed().toStdString();
    m.password = utf8(in[1]);
    m.nickName = in[2].string.trimmed().toStdString();
    m.sex = in[3].integer;
    m.email = in[4].string.trimmed().toStdString();
    m.face = faceNumber(in[5].string);
    m.realName = utf8(in[6]);
    m.address = utf8(in[7]);
    m.phone = utf8(in[8]);
    m.leader = in[9].string.trimmed().toStdString();
    m.userGuid = utf8(in[10]);
    return {qs::SoapValue::ofBool(m_store.createMember(m).has_value())};
}

OutValues VarnelService::editUserInformation(const qs::SoapValues &in) const
{
    checkLength(in[1], TextLimits::kPassword, "password");
    checkLength(in[2], TextLimits::kNickName, "nickname");
    checkLength(in[3], TextLimits::kEmail, "e-mail address");
    ProfileEdit edit{utf8(in[1]), in[2].string.trimmed().toStdString(), in[3].string.trimmed().toStdString(),
                     faceNumber(in[4].string)};
    return {qs::SoapValue::ofBool(m_store.editProfile(in[0].integer, edit))};
}

// The profile document: the fields the profile dialog reads by position.
OutValues VarnelService::getUserByUserID(const qs::SoapValues &in) const
{
    DocumentWriter doc("Users");
    if (auto m = m_store.memberById(in[0].integer)) {
        // Only the member's own signed-in client sees the password and the
        // personal fields.
        if (m_options.guard.bindMembers &&
            !m_store.isBoundTo(m->id, callerAddress(), m_options.guard.bindingIdleSeconds)) {
            m->password.clear();
            m->email.clear();
            m->realName.clear();
            m->address.clear();
            m->phone.clear();
        }
        doc.beginRecord("User")
            .field("PKID", m->id)
            .field("UserName", m->userName)
            .field("Password", m->password)
            .field("NickName", m->nickName)
            .field("Email", m->email)
            .field("Face", m->face)
            .field("Points", m->points)
            .field("Credit", m->credit)
            .field("Sex", m->sex)
            .field("Grade", m->grade)
            .field("Level", m->level)
            .field("Role", m->role)
            .field("Name", m->realName)
            .field("Registered", formatTime(m->registered))
            .field("CustomHead", m->customHead ? 1 : 0)
            .field("Address", m->address)
            .field("Phone", m->phone)
            .endRecord();
    }
    return {doc.finish()};
}

// Marks the member's custom head image once the uploaded picture is in the
// head-image directory.
OutValues VarnelService::authenticate(const qs::SoapValues &in) const
{
    const int userID = in[0].integer;
    if (!m_store.memberById(userID))
        throw ClientFault{QStringLiteral("Unknown member %1.").arg(userID)};
    std::error_code error;
    const bool present =
        std::filesystem::is_regular_file(m_options.filesDir / (std::to_string(userID) + ".bmp"), error);
    if (present)
        m_store.setCustomHead(userID, true);
    return {};
}

OutValues VarnelService::getUserScoresByUserID(const qs::SoapValues &in) const
{
    DocumentWriter doc("Scores");
    for (const ZoneScore &s : m_store.scores(in[0].integer)) {
        doc.beginRecord("User")
            .field("GroupID", s.zone)
            .field("Score", s.score)
            .field("Area", s.area)
            .field("Rank", s.rank)
            .field("NextRankScore", s.zone == 0 ? 0 : scoreForNextRank(s.score))
            .endRecord();
    }
    return {doc.finish()};
}

// ---- experts ---------------------------------------------------------------------------

OutValues VarnelService::getExpertListOnline(const qs::SoapValues &in) const
{
    DocumentWriter doc("Users");
    for (const Expert &e : m_store.onlineExperts(in[0].integer)) {
        doc.beginRecord("User")
            .field("PKID", e.member.id)
            .field("UserName", e.member.userName)
            .field("NickName", e.member.nickName)
            .field("ZoneScore", e.zoneScore)
            .field("Face", e.member.face)
            .field("Credit", e.member.credit)
            .field("ZoneRank", e.zoneRank)
            .field("ExpertColumn", e.expertColumn)
            .field("CustomHead", e.member.customHead ? 1 : 0)
            .endRecord();
    }
    return {doc.finish()};
}

OutValues VarnelService::getExpertListOnlineByPostID(const qs::SoapValues &in) const
{
    return {(questionPeopleDocument(m_store.onlineExpertsForQuestion(in[0].integer)))};
}

OutValues VarnelService::getReplierListOnlineByPostID(const qs::SoapValues &in) const
{
    return {(questionPeopleDocument(m_store.onlineAnswerers(in[0].integer)))};
}

// ---- questions and answers ----------------------------------------------------------------

OutValues VarnelService::creatForumPost(const qs::SoapValues &in) const
{
    checkLength(in[1], TextLimits::kTitle, "title");
    checkLength(in[4], TextLimits::kText, "question text");
    takeAllowance("question", std::to_string(in[0].integer), m_options.guard.questionsPerMember, "questions");
    const PostResult r = m_store.createQuestion(in[0].integer, in[1].string.trimmed().toStdString(), in[2].integer,
                                                in[3].integer, in[4].string.trimmed().toStdString());
    return {qs::SoapValue::ofBool(r.status == PostResult::Ok), qs::SoapValue::ofInt(r.id)};
}

OutValues VarnelService::creatForumReply(const qs::SoapValues &in) const
{
    checkLength(in[3], TextLimits::kText, "solution text");
    takeAllowance("answer", std::to_string(in[1].integer), m_options.guard.answersPerMember, "solutions");
    const ReplyResult r = m_store.createAnswer(in[0].integer, in[1].integer, in[2].integer, utf8(in[3]));
    if (r.status == ReplyResult::TooManyAnswers)
        throw ClientFault{
            QStringLiteral("You have answered this question %1 times already.").arg(kMaxAnswersPerQuestion)};
    return {qs::SoapValue::ofBool(r.status == ReplyResult::Ok), qs::SoapValue::ofInt(r.id)};
}

// The question document: one `ForumPost` record whose field 11 is the title.
OutValues VarnelService::getForumPostByID(const qs::SoapValues &in) const
{
    DocumentWriter doc("ForumPostDocument");
    if (const auto q = m_store.question(in[0].integer)) {
        doc.beginRecord("ForumPost")
            .field("PKID", q->id)
            .field("UserID", q->askerId)
            .field("UserName", q->askerName)
            .field("NickName", q->askerNick)
            .field("ColumnID", q->column)
            .field("GroupID", q->zone)
            .field("Points", q->points)
            .field("PostDate", formatTime(q->posted))
            .field("State", std::string(questionStateText(q->state)))
            .field("Replies", q->answerCount)
            .field("Content", q->text)
            .field("Title", q->title)
            .field("ClosedDate", q->closed ? formatTime(q->closed) : std::string())
            .endRecord();
    }
    return {doc.finish()};
}

// Every answer of a question, oldest first.
OutValues VarnelService::getForumReplyListByPostID(const qs::SoapValues &in) const
{
    DocumentWriter doc("ForumReplyList");
    if (const auto q = m_store.question(in[0].integer)) {
        for (const Answer &a : q->answers) {
            doc.beginRecord("ForumReply")
                .field("PKID", a.id)
                .field("PostID", a.questionId)
                .field("UserID", a.answererId)
                .field("UserName", a.answererName)
                .field("NickName", a.answererNick)
                .field("Content", a.text)
                .field("ReplyDate", formatTime(a.posted))
                .field("Points", a.pointsAwarded)
                .endRecord();
        }
    }
    return {doc.finish()};
}

OutValues VarnelService::getOverduePostsByUserID(const qs::SoapValues &in) const
{
    return {qs::SoapValue::ofBool(m_store.hasOverdueQuestions(in[0].integer, in[1].integer))};
}

OutValues VarnelService::getForumPostListByColumn(const qs::SoapValues &in) const
{
    return postList(m_store.questionsInColumn(in[0].integer, pageOf(in[1], in[2])));
}

OutValues VarnelService::getForumPostsByPostUserID(const qs::SoapValues &in) const
{
    return postList(m_store.questionsAskedBy(in[0].integer, in[3].integer, pageOf(in[1], in[2])));
}

OutValues VarnelService::getPostsByEndingUserID(const qs::SoapValues &in) const
{
    return postList(m_store.questionsToClose(in[0].integer, in[3].integer, pageOf(in[1], in[2])));
}

OutValues VarnelService::getForumPostsByReplyUserID(const qs::SoapValues &in) const
{
    return postList(m_store.questionsAnsweredBy(in[0].integer, in[3].integer, pageOf(in[1], in[2])));
}

OutValues VarnelService::getForumPostsByScoreUserID(const qs::SoapValues &in) const
{
    return postList(m_store.questionsScoredBy(in[0].integer, in[3].integer, pageOf(in[1], in[2])));
}

OutValues VarnelService::getSearchForumPostByID(const qs::SoapValues &in) const
{
    return postList(m_store.searchById(in[0].integer));
}

OutValues VarnelService::getSearchForumPostsByTitle(const qs::SoapValues &in) const
{
    checkLength(in[1], TextLimits::kSearchText, "search text");
    if (in[1].string.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size() >
        TextLimits::kSearchWords)
        throw ClientFault{QStringLiteral("Search for at most %1 words at once.").arg(TextLimits::kSearchWords)};
    return postList(m_store.searchByTitle(in[0].integer, utf8(in[1]), pageOf(in[2], in[3])));
}

// `forumID` is not a filter here: the client always sends 1 and means every zone.
OutValues VarnelService::getSearchForumPostsByAuthor(const qs::SoapValues &in) const
{
    checkLength(in[1], TextLimits::kUserName, "user name");
    return postList(m_store.searchByAsker(utf8(in[1]), pageOf(in[2], in[3])));
}

// ---- announcements and messages -------------------------------------------------------------

OutValues VarnelService::sendThreadsByType(const qs::SoapValues &in) const
{
    DocumentWriter doc("Announcements");
    for (const Announcement &a : m_store.announcements(in[0].integer)) {
        doc.beginRecord("ForumPosts")
            .field("Kind", a.kind)
            .field("Title", a.title)
            .field("Target", a.target)
            .field("PKID", a.id)
            .field("GroupID", a.zone)
            .field("PostDate", formatTime(a.posted))
            .endRecord();
    }
    return {doc.finish()};
}

OutValues VarnelService::sendMessage(const qs::SoapValues &in) const
{
    checkLength(in[2], TextLimits::kMessage, "message");
    takeAllowance("message", std::to_string(in[0].integer), m_options.guard.messagesPerMember, "messages");
    return {qs::SoapValue::ofBool(m_store.sendMessage(in[0].integer, in[1].integer, utf8(in[2])))};
}

// The oldest waiting messages, at most kMessagesPerPoll; only these are
// marked delivered. A poll is also a sign of life for presence.
OutValues VarnelService::getMessage(const qs::SoapValues &in) const
{
    DocumentWriter doc("Messages");
    for (const Message &msg : m_store.takeMessages(in[0].integer, kMessagesPerPoll)) {
        doc.beginRecord("Message")
            .field("FromID", msg.fromId)
            .field("Content", msg.text)
            .field("UserName", msg.sender.userName)
            .field("NickName", msg.sender.nickName)
            .field("Face", msg.sender.face)
            .field("Credit", msg.sender.credit)
            .field("SendTime", formatTime(msg.sent))
            .field("CustomFace", std::to_string(msg.sender.id))
            .field("CustomHead", msg.sender.customHead ? 1 : 0)
            .endRecord();
    }
    return {doc.finish()};
}

} // namespace varnel
