// A ZoneViewDisplay that records what the zone view rules asked of it, and
// helpers shared by the zone view tests.
#pragma once

#include "forum/zone_view.h"
#include "scripted_http_peer.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace zoneviewtest {

using namespace quillora::forum;

struct RecordingZoneDisplay : ZoneViewDisplay {
    void setPostRows(const QList<QStringList> &r) override
    {
        rows = r;
        ++rowSets;
    }
    void setAnnouncementRows(const QList<AnnouncementRow> &r) override
    {
        announcements = r;
        ++announcementSets;
    }
    void setOnlineExperts(const QList<OnlineExpert> &e) override
    {
        experts = e;
        ++expertSets;
    }
    void setOnlineExpertPicture(int index, const OnlineExpert &e) override
    {
        if (index >= 0 && index < experts.size())
            experts[index] = e;
        pictureSwaps.append(index);
    }
    void showPane(ZonePane p) override { panes.append(p); }
    void setListsEnabled(bool post, bool ann) override
    {
        postListEnabled = post;
        announcementsEnabled = ann;
    }
    void setBottomBar(const BottomBarState &s) override { bar = s; }
    void setPageCountText(const QString &t) override { pageCount = t; }
    void setPageFieldText(const QString &t) override { pageField = t; }
    QString pageFieldText() const override { return pageField; }
    void focusPageField() override { ++focusCount; }
    void navigate(const QString &url) override { navigated.append(url); }
    void reloadPage() override { ++reloads; }

    ZonePane front() const { return panes.isEmpty() ? ZonePane::PostList : panes.last(); }

    QList<QStringList> rows;
    int rowSets = 0;
    QList<AnnouncementRow> announcements;
    int announcementSets = 0;
    QList<OnlineExpert> experts;
    int expertSets = 0;
    QList<int> pictureSwaps;
    QList<ZonePane> panes;
    bool postListEnabled = true;
    bool announcementsEnabled = false;
    BottomBarState bar;
    QString pageCount;
    QString pageField;
    int focusCount = 0;
    QStringList navigated;
    int reloads = 0;
};

// A 200 response carrying one operation's out-parameters (already XML).
inline QByteArray soapAnswer(const QByteArray &op, const QByteArray &results)
{
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" +
                            op + "Response xmlns=\"http://127.0.0.1/Services/VarnelServices\">" + results + "</" + op +
                            "Response></soap:Body></soap:Envelope>";
    return quillora::testpeers::httpResponse(200, {{"Content-Type", "text/xml; charset=utf-8"}}, body);
}

// One connection that reads a request and answers it with `results`.
inline quillora::testpeers::PeerScript answering(const QByteArray &op, const QByteArray &results)
{
    return quillora::testpeers::PeerScript().readRequest().send(soapAnswer(op, results));
}

// A document string as a result element carries it: escaped text.
inline QByteArray escapedDocument(const QString &document)
{
    return document.toHtmlEscaped().toUtf8();
}

} // namespace zoneviewtest
