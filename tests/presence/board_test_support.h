// Members on a real varnel-server and a recording stand-in for the
// "Communication" dialog's window, shared by the message board tests.
#pragma once

#include "message_dlg.h"
#include "result_document.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace quillora::presence::test {

struct RecordingBoardView : MessageDlgView {
    void setContactNames(const QStringList &n, int s) override
    {
        names = n;
        selected = s;
        typedChatWith.reset();
    }
    // "Chat with:" shows the selected name unless the test typed over it.
    QString chosenContactText() const override { return typedChatWith ? *typedChatWith : names.value(selected); }
    QString messageText() const override { return typed; }
    void clearMessageText() override { typed.clear(); }
    void focusMessageText() override { ++focusCount; }
    void appendTranscript(const QString &text, TranscriptPart part) override { pieces.push_back({text, part}); }
    void setCaption(const QString &t) override { caption = t; }
    void setPeer(const QString &n, const QString &c) override
    {
        peerNick = n;
        peerCredit = c;
    }
    void showPeerHead(const HeadPictureRequest &r) override { peerHeads.push_back(r); }
    void setOwn(const QString &n, const HeadPictureRequest &h) override
    {
        ownNick = n;
        ownHead = h;
    }
    bool isShown() const override { return shown; }
    void showBoard(bool activate) override
    {
        shown = true;
        activations.push_back(activate);
    }
    QObject *messageOwner() override { return nullptr; }

    QStringList names;
    int selected = -1;
    std::optional<QString> typedChatWith;
    QString typed;
    int focusCount = 0;
    std::vector<TranscriptPiece> pieces;
    QString caption;
    QString peerNick, peerCredit;
    std::vector<HeadPictureRequest> peerHeads;
    QString ownNick;
    HeadPictureRequest ownHead;
    bool shown = false;
    std::vector<bool> activations;
};

// Counts what the frame was asked to do for arrivals.
struct AlertLog {
    int sounds = 0;
    int animations = 0;
    QStringList notices;
    ArrivalAlerts alerts()
    {
        return {[this] { ++sounds; }, [this] { ++animations; }, [this](const QString &t) { notices << t; }};
    }
};

inline service::SiteAddress siteOf(const testpeers::VarnelServerProcess &server)
{
    return {QStringLiteral("127.0.0.1"), static_cast<quint16>(server.port())};
}

// Registers a member (password: name + "pw") and signs him in; his member values.
inline MemberValues newMember(const service::SiteAddress &site, const QString &name, const QString &nickname,
                              const QString &face = QStringLiteral("5"))
{
    service::CVarnelServices proxy(site);
    bool created = false;
    proxy.useServiceAccount(service::Op::CreateNewUser);
    EXPECT_TRUE(service::succeeded(proxy.CreateNewUser(name, name + QStringLiteral("pw"), nickname, 1, QString(), face,
                                                       QString(), QString(), QString(), QString(),
                                                       QStringLiteral("guid-") + name, &created)));
    EXPECT_TRUE(created) << name.toStdString();
    QString document;
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, name + QStringLiteral("pw"), &document)));
    MemberValues member;
    EXPECT_EQ(readMemberValues(document, member), service::DocumentStatus::Ok);
    bool ignored = false;
    proxy.useServiceAccount(service::Op::SetUserOnline);
    EXPECT_TRUE(service::succeeded(proxy.SetUserOnline(member.userID, QStringLiteral("127.0.0.1"), &ignored)));
    return member;
}

inline void sendDirect(const service::SiteAddress &site, int from, int to, const QString &text)
{
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::SendMessage);
    bool ok = false;
    ASSERT_TRUE(service::succeeded(proxy.SendMessage(from, to, text, &ok)));
    ASSERT_TRUE(ok);
}

// The seven texts the expert panes hand to "open chat".
inline QStringList contactRecord(const MemberValues &m, int customFlag = 0)
{
    return {QString::number(m.userID),    m.userName,   m.nickname,
            QString::number(m.headImage), m.creditText, QStringLiteral("3"),
            QString::number(customFlag)};
}

} // namespace quillora::presence::test
