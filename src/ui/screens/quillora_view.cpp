#include "quillora_view.h"

#include "browsing_values.h"
#include "main_frame_window.h"
#include "session/head_images.h"
#include "web_engine_host.h"
#include "zone_catalogue.h"
#include "zone_view_widget.h"

namespace quillora::ui {

CQuilloraView::CQuilloraView(MainFrameWindow &frame, forum::BrowsingValues &browsing, platform::MessageBoxes &messages,
                             platform::SystemOpener &opener, QObject *parent)
    : QObject(parent), m_frame(frame), m_browsing(browsing)
{
    setObjectName(QStringLiteral("CQuilloraView"));
    presence::CMainFrame &rules = frame.frame();
    // Nothing of the engine runs until a view shows its first page.
    m_web = new WebEngineHost(rules.site(), this);

    ZoneViewContext context;
    context.site = rules.site();
    context.browsing = &browsing;
    context.member = &rules.member();
    context.messages = &messages;
    context.opener = &opener;
    context.web = m_web;
    context.customFaceDirectory = frame.customFaces().cache().directory();
    context.customFaces = &frame.customFaces();

    for (int zone = 0; zone < forum::kZoneCount; ++zone) {
        forum::ZoneViewHooks hooks;
        // The dialogs are looked up when asked for: they may be set after the views.
        hooks.askQuestionDialog = [&rules] {
            return rules.dialogs().askQuestion ? rules.dialogs().askQuestion() : false;
        };
        hooks.answerQuestionDialog = [&rules] {
            return rules.dialogs().answerQuestion ? rules.dialogs().answerQuestion() : false;
        };
        hooks.refreshAccountFigures = [&rules] { rules.statusRefresh(); };
        hooks.ownQuestionOpened = [&rules](int question) { rules.openExpertsOfOwnQuestion(question); };
        auto *view = new ZoneViewWidget(zone, context, std::move(hooks));
        m_views[zone] = view;
        frame.setZoneView(zone, view);
    }
    frame.setCurrentZoneTab(0);
    rules.setZoneViews(this);
    frame.updateCommandStates();
    connect(&frame, &MainFrameWindow::zoneTabChanged, this, &CQuilloraView::activateZone);
}

CQuilloraView::~CQuilloraView()
{
    // Views still alive (the frame normally deletes them first) go before the engine's profile.
    for (QPointer<ZoneViewWidget> &view : m_views)
        delete view.data();
}

void CQuilloraView::create()
{
    for (const QPointer<ZoneViewWidget> &view : m_views) {
        if (view)
            view->rules().create();
    }
    // The message board's first poll comes with the main view, once the
    // frame shows and its tray icon is up to announce what it brings.
    m_frame.requestStartupPoll();
}

QWebEngineProfile *CQuilloraView::profile() const
{
    return m_web->profile();
}

ZoneViewWidget *CQuilloraView::zoneView(int zoneIndex) const
{
    if (zoneIndex < 0 || zoneIndex >= int(m_views.size()))
        return nullptr;
    return m_views[zoneIndex].data();
}

void CQuilloraView::activateZone(int zoneIndex)
{
    ZoneViewWidget *view = zoneView(zoneIndex);
    if (!view)
        return;
    view->rules().activate();
    m_frame.frame().setSearchPaneZone(zoneIndex);
}

int CQuilloraView::currentZoneIndex() const
{
    return m_browsing.currentZoneIndex;
}

int CQuilloraView::currentColumn() const
{
    return m_browsing.currentColumn;
}

int CQuilloraView::selectedQuestionId() const
{
    return m_browsing.selectedQuestionId;
}

void CQuilloraView::resetZone(int zoneIndex)
{
    if (ZoneViewWidget *view = zoneView(zoneIndex))
        view->rules().reloadOnlineExperts();
}

void CQuilloraView::listFirstPage(int zoneIndex, int listMode, int key, const QString &keyword)
{
    if (ZoneViewWidget *view = zoneView(zoneIndex))
        view->rules().load(1, key, keyword, listMode);
}

void CQuilloraView::showAnnouncements(int zoneIndex)
{
    if (ZoneViewWidget *view = zoneView(zoneIndex))
        view->rules().showAnnouncements();
}

void CQuilloraView::reloadQuestionPage(int zoneIndex)
{
    if (ZoneViewWidget *view = zoneView(zoneIndex))
        view->rules().reloadQuestionPage();
}

} // namespace quillora::ui
