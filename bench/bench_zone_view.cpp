// What the zone view rules cost on loopback against the real varnel-server
// with the demo community: listing a column page (the service call, the
// document and the rows handed to the display, without painting), paging,
// opening a question row (the page address), and the online experts list.
#include "forum/zone_view.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/member_values.h"
#include "service/varnel_services.h"
#include "varnel_server_process.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace quillora;
using namespace quillora::forum;

namespace {

// Keeps what it is given, as a widget would before painting.
struct KeepingDisplay : ZoneViewDisplay {
    void setPostRows(const QList<QStringList> &r) override { rows = r; }
    void setAnnouncementRows(const QList<AnnouncementRow> &) override {}
    void setOnlineExperts(const QList<OnlineExpert> &e) override { experts = e; }
    void setOnlineExpertPicture(int, const OnlineExpert &) override {}
    void showPane(ZonePane) override {}
    void setListsEnabled(bool, bool) override {}
    void setBottomBar(const BottomBarState &) override {}
    void setPageCountText(const QString &) override {}
    void setPageFieldText(const QString &t) override { field = t; }
    QString pageFieldText() const override { return field; }
    void focusPageField() override {}
    void navigate(const QString &u) override { url = u; }
    void reloadPage() override {}

    QList<QStringList> rows;
    QList<OnlineExpert> experts;
    QString field;
    QString url;
};

struct Community {
    Community() : server({.demo = true})
    {
        site = {QStringLiteral("127.0.0.1"), static_cast<quint16>(server.port())};
        QString document;
        service::CVarnelServices proxy(site);
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        proxy.GetUserByUserName(QStringLiteral("alice"), QStringLiteral("alice123"), &document);
        presence::readMemberValues(document, member);
    }
    testpeers::VarnelServerProcess server;
    service::SiteAddress site;
    presence::MemberValues member;
    QTemporaryDir faces;
};

Community &community()
{
    static Community c;
    return c;
}

struct Fixture {
    Fixture()
        : view(0, community().site, browsing, community().member, display, messages, opener, community().faces.path())
    {
    }
    BrowsingValues browsing;
    KeepingDisplay display;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    CZoneView view;
};

void BM_ListColumnPage(benchmark::State &state)
{
    if (!community().server.started()) {
        state.SkipWithError("varnel-server did not start");
        return;
    }
    Fixture f;
    for (auto _ : state) {
        f.view.openTreeItem(1);
        benchmark::DoNotOptimize(f.display.rows.size());
    }
    if (f.display.rows.size() != kPostPageSize || !f.messages.shown.empty())
        state.SkipWithError("the column page was not listed");
}
BENCHMARK(BM_ListColumnPage)->Unit(benchmark::kMillisecond);

void BM_NextPage(benchmark::State &state)
{
    Fixture f;
    f.view.openTreeItem(1);
    for (auto _ : state) {
        f.display.field = QStringLiteral("1");
        f.view.nextPage();
        benchmark::DoNotOptimize(f.display.rows.size());
    }
}
BENCHMARK(BM_NextPage)->Unit(benchmark::kMillisecond);

void BM_OpenRow(benchmark::State &state)
{
    Fixture f;
    f.view.openTreeItem(1);
    for (auto _ : state) {
        f.view.openRow(3);
        benchmark::DoNotOptimize(f.display.url.size());
    }
}
BENCHMARK(BM_OpenRow)->Unit(benchmark::kMicrosecond);

void BM_OnlineExperts(benchmark::State &state)
{
    Fixture f;
    for (auto _ : state) {
        f.view.reloadOnlineExperts();
        benchmark::DoNotOptimize(f.display.experts.size());
    }
}
BENCHMARK(BM_OnlineExperts)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
