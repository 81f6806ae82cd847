// "My Profile": the member's own data from the sign-in document and the
// score table, against the real varnel-server and, for documents the server
// never writes (more rows than the table, ranks out of range), a scripted peer.
#include "user_info_dlg.h"

#include "platform/message_box.h"
#include "result_document.h"
#include "scripted_http_peer.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QMap>

#include <gtest/gtest.h>

using namespace quillora::mail;
using quillora::platform::RecordingMessageBoxes;
using quillora::service::SiteAddress;
using quillora::testpeers::PeerScript;
using quillora::testpeers::ScriptedHttpPeer;

namespace {

struct ScoreRow {
    QString zone, score;
    int rank = -1;
    bool operator==(const ScoreRow &) const = default;
};

class RecordingInfoView : public UserInfoView {
  public:
    void setProfileLine(ProfileLine line, const QString &text) override { lines[line] = text; }
    void setHeadPicture(int picture) override { head = picture; }
    void setScoreRow(int row, const QString &zone, const QString &score, int rank) override
    {
        rows[row] = {zone, score, rank};
    }
    QObject *messageOwner() override { return &owner; }

    QMap<ProfileLine, QString> lines;
    int head = -1;
    QMap<int, ScoreRow> rows;
    QObject owner;
};

QString signInDocument(const QString &face)
{
    QString fields;
    const QStringList values{QStringLiteral("7"),
                             QStringLiteral("kim"),
                             QStringLiteral("pw"),
                             QStringLiteral("Kim K"),
                             face,
                             QStringLiteral("310"),
                             QStringLiteral("1"),
                             QStringLiteral("88"),
                             QStringLiteral("kim@x.org"),
                             QStringLiteral("4"),
                             QStringLiteral("0"),
                             QStringLiteral("2026-01-01"),
                             QStringLiteral("0"),
                             QStringLiteral("12 asked, 9 closed"),
                             QStringLiteral("30 answered, 12 scored")};
    for (int i = 0; i < values.size(); ++i)
        fields += QStringLiteral("<F%1>%2</F%1>").arg(i).arg(values[i]);
    return QStringLiteral("<Users><User>") + fields + QStringLiteral("</User></Users>");
}

// A service answer carrying `document` as the operation's string result.
QByteArray scoresAnswer(const QString &document)
{
    const QByteArray escaped = document.toHtmlEscaped().toUtf8();
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
        "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><GetUserScoresByUserIDResponse "
        "xmlns=\"http://127.0.0.1/Services/VarnelServices\"><GetUserScoresByUserIDResult>" +
        escaped + "</GetUserScoresByUserIDResult></GetUserScoresByUserIDResponse></soap:Body></soap:Envelope>";
    return quillora::testpeers::httpResponse(200, {{"Content-Type", "text/xml; charset=utf-8"}}, body);
}

QString scoresDocument(const QList<int> &ranks)
{
    QString rows;
    for (int i = 0; i < ranks.size(); ++i)
        rows += QStringLiteral("<User><GroupID>%1</GroupID><Score>%2</Score><Area>Zone %1</Area><Rank>%3</Rank>"
                               "<Next>0</Next></User>")
                    .arg(i + 1)
                    .arg(i * 100)
                    .arg(ranks[i]);
    return QStringLiteral("<Scores>") + rows + QStringLiteral("</Scores>");
}

struct Opened {
    RecordingInfoView view;
    RecordingMessageBoxes messages;
};

void open(Opened &o, const SiteAddress &site, const QString &document, int userID = 7)
{
    CUserInfoDlg dlg(site, o.view, o.messages, document, userID);
    dlg.onInitDialog();
}

SiteAddress peerSite(const ScriptedHttpPeer &peer)
{
    return {QStringLiteral("127.0.0.1"), quint16(peer.port())};
}

TEST(UserInfoDlg, TableShowsTheFirstSevenRowsAndOnlyRanksOneToTen)
{
    ScriptedHttpPeer peer(
        {PeerScript().readRequest().send(scoresAnswer(scoresDocument({10, 0, 11, 1, -3, 5, 2, 9, 9})))});
    Opened o;
    open(o, peerSite(peer), signInDocument(QStringLiteral("22")));
    EXPECT_TRUE(o.messages.shown.empty()) << o.messages.lastText().toStdString();
    ASSERT_EQ(o.view.rows.size(), kScoreRows);
    EXPECT_EQ(o.view.rows[0], (ScoreRow{QStringLiteral("Zone 1"), QStringLiteral("0"), 10}));
    EXPECT_EQ(o.view.rows[1].rank, 0);
    EXPECT_EQ(o.view.rows[2].rank, 0) << "rank 11 has no picture";
    EXPECT_EQ(o.view.rows[3].rank, 1);
    EXPECT_EQ(o.view.rows[4].rank, 0);
    EXPECT_EQ(o.view.rows[6], (ScoreRow{QStringLiteral("Zone 7"), QStringLiteral("600"), 2}));

    EXPECT_EQ(o.view.head, 22);
    EXPECT_EQ(o.view.lines[ProfileLine::UserName], QStringLiteral("kim"));
    EXPECT_EQ(o.view.lines[ProfileLine::Nickname], QStringLiteral("Kim K"));
    EXPECT_EQ(o.view.lines[ProfileLine::Credit], QStringLiteral("88"));
    EXPECT_EQ(o.view.lines[ProfileLine::Points], QStringLiteral("310"));
    EXPECT_EQ(o.view.lines[ProfileLine::QuestionHistory], QStringLiteral("12 asked, 9 closed"));
    EXPECT_EQ(o.view.lines[ProfileLine::AnswerHistory], QStringLiteral("30 answered, 12 scored"));
    ASSERT_EQ(peer.allRequests().size(), 1u);
    EXPECT_TRUE(peer.allRequests().front().contains("<userID>7</userID>"));
}

TEST(UserInfoDlg, NoRowsLeavesTheTableEmptyWithoutAMessage)
{
    ScriptedHttpPeer peer({PeerScript().readRequest().send(scoresAnswer(QStringLiteral("<Scores/>")))});
    Opened o;
    open(o, peerSite(peer), signInDocument(QStringLiteral("0")));
    EXPECT_TRUE(o.view.rows.isEmpty());
    EXPECT_TRUE(o.messages.shown.empty());
    EXPECT_EQ(o.view.head, 0) << "head image 0 shows no picture here";
}

TEST(UserInfoDlg, FailuresKeepWhatWasFilled)
{
    ScriptedHttpPeer refused({PeerScript().readRequest().close()});
    Opened failed;
    open(failed, peerSite(refused), signInDocument(QStringLiteral("25")));
    EXPECT_EQ(failed.messages.lastText(),
              QStringLiteral("Failed to get your score and rank information from remote server !"));
    EXPECT_EQ(failed.messages.shown.back().caption, QStringLiteral("Quillora 2007"));
    EXPECT_EQ(failed.view.lines[ProfileLine::UserName], QStringLiteral("kim"));
    EXPECT_EQ(failed.view.head, 0) << "25 is no built-in picture";

    ScriptedHttpPeer broken({PeerScript().readRequest().send(scoresAnswer(QStringLiteral("<Scores><User>")))});
    Opened garbled;
    open(garbled, peerSite(broken), signInDocument(QStringLiteral("3")));
    EXPECT_EQ(garbled.messages.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_TRUE(garbled.view.rows.isEmpty());

    ScriptedHttpPeer unused({});
    Opened badDocument;
    open(badDocument, peerSite(unused), QStringLiteral("<Users><User>"));
    EXPECT_EQ(badDocument.messages.lastText(), QStringLiteral("Failed to load the XML stream into the DOM."));
    EXPECT_EQ(badDocument.messages.shown.size(), 1u);
    EXPECT_TRUE(badDocument.view.lines.isEmpty());
    EXPECT_EQ(unused.connectionCount(), 0) << "no scores are asked for without the member's data";
}

TEST(UserInfoDlg, RealServerScoresOfADemoMember)
{
    quillora::testpeers::VarnelServerProcess server({.demo = true});
    ASSERT_TRUE(server.started()) << server.error();
    const SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    QString document;
    quillora::service::CVarnelServices proxy(site);
    proxy.useServiceAccount(quillora::service::Op::GetUserByUserName);
    ASSERT_TRUE(quillora::service::succeeded(
        proxy.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document)));
    const int userID =
        quillora::service::readRecords(document, quillora::service::kUserTag, 1, 1).records.at(0).value(0).toInt();

    Opened o;
    open(o, site, document, userID);
    EXPECT_TRUE(o.messages.shown.empty()) << o.messages.lastText().toStdString();
    EXPECT_EQ(o.view.lines[ProfileLine::UserName], QStringLiteral("alice"));
    ASSERT_EQ(o.view.rows.size(), 5) << "four zones and all zones";
    EXPECT_EQ(o.view.rows[0].zone, QStringLiteral("Software"));
    EXPECT_EQ(o.view.rows[4].zone, QStringLiteral("All Zones"));
    for (const ScoreRow &row : o.view.rows) {
        EXPECT_GE(row.rank, 1);
        EXPECT_LE(row.rank, 10);
    }
}

} // namespace
