// The embedded browser follows the connection settings: a zone view's pages
// fetched through a real HTTP proxy on loopback (tinyproxy, with Basic
// authentication), whose log shows them. The engine leaves loopback out of
// any proxy unless told otherwise, so the test removes that rule
// (--proxy-bypass-list=<-loopback>) before the engine starts; the engine
// starts once per process, so this binary holds one test.
#include "browsing_values.h"
#include "member_values.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "proxy_process.h"
#include "screens/zone_view_widget.h"
#include "varnel_server_process.h"

#include "service/proxy_settings.h"
#include "web_engine_host.h"

#include <QApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace quillora;

namespace {

struct Loaded {
    bool ok = false;
    QString text;
};

Loaded load(ui::ZoneViewWidget &view, const QString &url)
{
    Loaded result;
    QSignalSpy finished(&view, &ui::ZoneViewWidget::pageLoadFinished);
    view.navigate(url);
    if (!finished.wait(30000) && finished.isEmpty())
        return result;
    result.ok = finished.first().first().toBool();
    bool got = false;
    view.browser()->page()->toPlainText([&](const QString &t) {
        result.text = t;
        got = true;
    });
    if (!QTest::qWaitFor([&] { return got; }, 10000))
        result.text = QStringLiteral("(no text)");
    return result;
}

} // namespace

TEST(BrowserProxy, PagesGoThroughTheProxyOfTheSettingsAndAChangeReachesTheNextPage)
{
    // Before anything can start the engine.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--proxy-bypass-list=<-loopback>");
    static int argc = 1;
    static char arg0[] = "test_browser_proxy";
    static char *argv[] = {arg0, nullptr};
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    testpeers::VarnelServerProcess server({.demo = true});
    ASSERT_TRUE(server.started()) << server.error();
    testpeers::ProxyProcess proxy(testpeers::ProxyProcess::Kind::Http, "quillora", "pr0xy-pass");
    ASSERT_TRUE(proxy.started()) << proxy.error();
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    service::ProxySettings settings;
    settings.mode = service::ProxySettings::Mode::Http;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = quint16(proxy.port());
    settings.username = QStringLiteral("quillora");
    settings.password = QStringLiteral("pr0xy-pass");
    service::setActiveProxySettings(settings);

    ui::WebEngineHost host(site);
    QTemporaryDir faces;
    forum::BrowsingValues browsing;
    presence::MemberValues member;
    platform::RecordingMessageBoxes messages;
    platform::RecordingSystemOpener opener;
    const ui::ZoneViewContext context{site,    &browsing, &member,      &messages,
                                      &opener, &host,     faces.path(), QSize(1280, 1024)};
    ui::ZoneViewWidget view(0, context);
    view.resize(1000, 700);
    view.show();
    const QString help = service::siteUrl(site, QStringLiteral("/Quillora/Help.htm"));
    const Loaded viaProxy = load(view, help + QStringLiteral("?through=proxy"));
    EXPECT_TRUE(viaProxy.ok);
    EXPECT_TRUE(viaProxy.text.contains(QStringLiteral("Help"))) << qPrintable(viaProxy.text.left(300));
    EXPECT_GE(proxy.logCount("GET " + help.toStdString() + "?through=proxy"), 1) << proxy.log();

    // "Not using proxy" after the first page: the next page comes in a fresh
    // profile that goes straight to the site, and the old page and its
    // profile go.
    QPointer<QWebEnginePage> first = view.browser()->page();
    QPointer<QWebEngineProfile> firstProfile = first->profile();
    settings.mode = service::ProxySettings::Mode::Direct;
    service::setActiveProxySettings(settings);
    const Loaded direct = load(view, help + QStringLiteral("?through=none"));
    EXPECT_TRUE(direct.ok);
    EXPECT_TRUE(direct.text.contains(QStringLiteral("Help")));
    EXPECT_EQ(proxy.logCount("through=none"), 0) << proxy.log();
    EXPECT_NE(view.browser()->page()->profile(), firstProfile.data());
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull() && firstProfile.isNull(); }, 5000));

    // The same settings again: the page stays.
    QWebEnginePage *second = view.browser()->page();
    EXPECT_EQ(host.pageFor(second, view.browser()), second);
}
