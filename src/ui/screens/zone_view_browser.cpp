// The zone view's browser: made with the first page shown (the web engine
// starts then, not with the program), and a new page when the connection
// settings changed since the last one.
#include "zone_view_widget.h"

#include "shared_graphics_context.h"
#include "web_engine_host.h"

#include <QPointer>
#include <QStackedWidget>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace quillora::ui {

QWebEngineView *ZoneViewWidget::ensureBrowser()
{
    if (m_browser)
        return m_browser;
    // The first browser of the program starts the engine: the graphics
    // context it shares with the widgets and its page (which carries the
    // connection settings into the engine's start) come before the view.
    realizeSharedGraphicsContext();
    QWebEnginePage *page = m_web ? m_web->pageFor(nullptr, this) : nullptr;
    m_browser = new QWebEngineView(m_stack);
    m_browser->setObjectName(QStringLiteral("questionPage"));
    m_browser->setAccessibleName(QStringLiteral("Question page"));
    m_browser->setContextMenuPolicy(Qt::NoContextMenu);
    if (page) {
        page->setParent(m_browser);
        m_browser->setPage(page);
        m_page = page;
    } else {
        m_page = m_browser->page(); // the engine's default profile
    }
    m_stack->addWidget(m_browser);
    connect(m_browser, &QWebEngineView::loadFinished, this, &ZoneViewWidget::pageLoadFinished);
    return m_browser;
}

void ZoneViewWidget::preparePage()
{
    if (!m_web)
        return;
    QWebEnginePage *page = m_web->pageFor(m_page, m_browser);
    if (page == m_page)
        return;
    // The view does not delete a page it did not make; the old one (and with
    // the last of them the old profile) goes now, not with the view.
    const QPointer<QWebEnginePage> old = m_page;
    m_browser->setPage(page);
    m_page = page;
    if (old)
        old->deleteLater();
}

void ZoneViewWidget::navigate(const QString &url)
{
    // The address is already percent-encoded: take it byte for byte.
    QUrl address = QUrl::fromEncoded(url.toUtf8(), QUrl::StrictMode);
    if (!address.isValid())
        address = QUrl(url);
    if (m_browser)
        preparePage();
    else
        ensureBrowser();
    m_browser->setUrl(address);
}

void ZoneViewWidget::reloadPage()
{
    if (!m_browser)
        return; // no page shown yet: nothing to reload
    QWebEnginePage *before = m_page;
    const QUrl address = m_browser->url();
    preparePage();
    if (m_page == before)
        m_browser->reload();
    else if (!address.isEmpty())
        m_browser->setUrl(address); // a new page after the connection settings changed
}

} // namespace quillora::ui
