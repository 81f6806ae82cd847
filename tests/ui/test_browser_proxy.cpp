// The embedded browser follows the connection settings: pages fetched
// through a real HTTP proxy on loopback (tinyproxy, with Basic
// authentication), whose log shows them. The engine leaves loopback out of
// any proxy unless told otherwise, so the test removes that rule
// (--proxy-bypass-list=<-loopback>) before the engine starts; the engine
// starts once per process, so this binary holds one test.
#include "proxy_process.h"
#include "varnel_server_process.h"

#include "service/proxy_settings.h"
#include "web_engine_host.h"

#include <QApplication>
#include <QSignalSpy>
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

Loaded load(QWebEngineView &view, const QString &url)
{
    Loaded result;
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.setUrl(QUrl(url));
    if (!finished.wait(30000) && finished.isEmpty())
        return result;
    result.ok = finished.first().first().toBool();
    bool got = false;
    view.page()->toPlainText([&](const QString &t) {
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

    // The page first: a view shown without one would start the engine with
    // a default page of its own, before the host could pass the settings on.
    ui::WebEngineHost host(site);
    QWebEnginePage *first = host.pageFor(nullptr, nullptr);
    QWebEngineView view;
    first->setParent(&view);
    view.setPage(first);
    view.resize(800, 600);
    view.show();
    const QString help = service::siteUrl(site, QStringLiteral("/Quillora/Help.htm"));
    const Loaded viaProxy = load(view, help + QStringLiteral("?through=proxy"));
    EXPECT_TRUE(viaProxy.ok);
    EXPECT_TRUE(viaProxy.text.contains(QStringLiteral("Help"))) << qPrintable(viaProxy.text.left(300));
    EXPECT_GE(proxy.logCount("GET " + help.toStdString() + "?through=proxy"), 1) << proxy.log();

    // "Not using proxy" after the first page: the next page comes in a fresh
    // profile that goes straight to the site.
    settings.mode = service::ProxySettings::Mode::Direct;
    service::setActiveProxySettings(settings);
    QWebEnginePage *second = host.pageFor(first, &view);
    ASSERT_NE(second, first);
    EXPECT_NE(second->profile(), first->profile());
    view.setPage(second); // the first page goes with it (a child of the view)
    const Loaded direct = load(view, help + QStringLiteral("?through=none"));
    EXPECT_TRUE(direct.ok);
    EXPECT_TRUE(direct.text.contains(QStringLiteral("Help")));
    EXPECT_EQ(proxy.logCount("through=none"), 0) << proxy.log();
    // The same settings again: the page stays.
    EXPECT_EQ(host.pageFor(second, &view), second);
}
