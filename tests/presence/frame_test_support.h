// Recording stand-ins for the window and the zone views of the main frame.
#pragma once

#include "main_frame.h"
#include "result_document.h"
#include "site_config.h"
#include "varnel_services.h"

#include <gtest/gtest.h>

#include <QString>

#include <map>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::presence::test {

struct RecordingFrameView : FrameView {
    void setStatusText(StatusPane pane, const QString &text) override
    {
        texts[pane] = text;
        history.push_back(text);
    }
    void setLevelBadge(int b) override { badge = b; }
    void setModeratorEntryEnabled(bool e) override { moderator = e; }
    void showPane(FramePane p) override { panes.push_back(p); }
    void collapsePane(FramePane p) override { collapsed.push_back(p); }
    void removeTrayIcon() override { trayRemoved = true; }
    bool hasTrayArea() const override { return trayArea; }
    void endProgram() override { ended = true; }

    std::map<StatusPane, QString> texts;
    std::vector<QString> history;
    int badge = -1;
    bool moderator = false;
    std::vector<FramePane> panes;
    std::vector<FramePane> collapsed;
    bool trayRemoved = false;
    bool trayArea = true;
    bool ended = false;
};

struct RecordingZones : ZoneViews {
    int currentZoneIndex() const override { return zone; }
    int currentColumn() const override { return column; }
    int selectedQuestionId() const override { return question; }
    void resetZone(int z) override { calls.push_back(QStringLiteral("reset %1").arg(z)); }
    void listFirstPage(int z, int mode, int key, const QString &keyword) override
    {
        calls.push_back(QStringLiteral("list %1 mode %2 key %3 [%4]").arg(z).arg(mode).arg(key).arg(keyword));
    }
    void showAnnouncements(int z) override { calls.push_back(QStringLiteral("announcements %1").arg(z)); }
    void reloadQuestionPage(int z) override { calls.push_back(QStringLiteral("reload %1").arg(z)); }

    int zone = 0;
    int column = -1;
    int question = -1;
    QStringList calls;
};

// A loopback port on which nothing listens: connections are refused at once.
inline quint16 closedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline QString signInDocument(int userID, const QString &name, const QString &password, int role, int level,
                              const QString &points = QStringLiteral("100"),
                              const QString &credit = QStringLiteral("5"))
{
    QStringList f;
    for (int i = 0; i < 18; ++i)
        f << QString();
    f[0] = QString::number(userID);
    f[1] = name;
    f[2] = password;
    f[3] = QStringLiteral("Nick ") + name;
    f[4] = QStringLiteral("3");
    f[5] = points;
    f[7] = credit;
    f[15] = QString::number(role);
    f[17] = QString::number(level);
    static const char *const names[18] = {"PKID",   "UserName", "Password", "NickName", "Face",    "Points",
                                          "Sex",    "Credit",   "Email",    "Name",     "Address", "Phone",
                                          "Leader", "PostHis",  "ReplyHis", "Role",     "Online",  "Level"};
    QString xml = QStringLiteral("<NewDataSet><User>");
    for (int i = 0; i < 18; ++i)
        xml += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(names[i]), f[i]);
    return xml + QStringLiteral("</User></NewDataSet>");
}

// A member signed in through the service as the client does, and online
// when asked (as the client's start-up makes it): its ID and its sign-in
// document.
struct SignedIn {
    int id = 0;
    QString document;
};

inline SignedIn signInMember(const service::SiteAddress &site, const QString &name, const QString &password,
                             bool online = false)
{
    SignedIn m;
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    EXPECT_TRUE(service::succeeded(proxy.GetUserByUserName(name, password, &m.document)));
    service::DocumentStatus status;
    m.id = service::leadingInt(service::readFirstElementText(m.document, u"PKID", &status));
    if (online) {
        bool ignored = false;
        proxy.useServiceAccount(service::Op::SetUserOnline);
        EXPECT_TRUE(service::succeeded(proxy.SetUserOnline(m.id, QStringLiteral("127.0.0.1"), &ignored)));
    }
    return m;
}

} // namespace quillora::presence::test
