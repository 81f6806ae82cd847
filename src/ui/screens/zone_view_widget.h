// ZoneViewWidget: the thin widget of one zone view (CSoftView, CHardView,
// CGameView or CProgView by its zone). The rules live in forum::CZoneView;
// this widget shows what they decide and forwards the member's clicks.
//
//   +-----------+---------------------------------------------+
//   | Online    |  post list / announcements / question page  |
//   | Experts   |                                             |
//   |-----------|                                             |
//   | Select a  |                                             |
//   | Zone      +---------------------------------------------+
//   | (tree)    | Previous Current Next  Total n page(s) [1] Jump to   Ask  Close |
//   +-----------+---------------------------------------------+
//
// The left panel is 180 pixels wide, the bottom bar 25 pixels high; cell
// widths and row heights of the lists follow the screen size. The question
// page is shown in an embedded browser made when the view first shows a page:
// until then the web engine does not run. Its pages come from the program's
// WebEngineHost (one off-the-record profile, the connection settings, the
// certificate checks).
#pragma once

#include "platform/message_box.h"
#include "platform/system_open.h"

#include "ui/screens/expert_info.h"
#include "zone_view.h"

#include <QList>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTreeWidget;
class QWebEnginePage;
class QWebEngineView;

namespace quillora::presence {
struct MemberValues;
}

namespace quillora::ui {

class CMarkupListCtrl;
class CZoneTreeCtrl;
class WebEngineHost;
class ZonePanelGroup;

inline constexpr int kZoneLeftPanelWidth = 180;
inline constexpr int kZoneBottomBarHeight = 25;

// Everything a zone view needs from the program.
struct ZoneViewContext {
    service::SiteAddress site;
    forum::BrowsingValues *browsing = nullptr;
    const presence::MemberValues *member = nullptr;
    platform::MessageBoxes *messages = nullptr;
    platform::SystemOpener *opener = nullptr;
    WebEngineHost *web = nullptr; // must outlive the widget; null: the engine's default profile
    QString customFaceDirectory;  // session::customFaceDirectory()
    QSize screenSize;             // the widths and heights derive from it; primary screen when empty
    // The program's custom picture downloads (outlives the widget); the view
    // makes its own when null.
    session::CustomFaceDownloads *customFaces = nullptr;
};

class ZoneViewWidget : public QWidget, public forum::ZoneViewDisplay {
    Q_OBJECT
  public:
    ZoneViewWidget(int zoneIndex, const ZoneViewContext &context, forum::ZoneViewHooks hooks = {},
                   QWidget *parent = nullptr);
    ~ZoneViewWidget() override;

    forum::CZoneView &rules() { return *m_rules; }
    int zoneIndex() const { return m_zoneIndex; }

    // Opens the "Expert Profile" dialog of expert `index` of the online list.
    // The dialog runs modally; setExpertDialogRunner replaces how it runs
    // (tests answer it), by default exec().
    void openExpertProfile(int index);
    void setExpertDialogRunner(std::function<void(CExpertInfo &)> runner) { m_runDialog = std::move(runner); }
    static ExpertProfile expertProfileOf(const forum::OnlineExpert &expert);

    // Parts, for tests and screenshots.
    CZoneTreeCtrl *tree() const { return m_tree; }
    QTreeWidget *postList() const { return m_posts; }
    CMarkupListCtrl *announcementList() const { return m_announcements; }
    QListWidget *expertList() const { return m_experts; }
    // Null until the view shows its first page.
    QWebEngineView *browser() const { return m_browser; }
    QWidget *frontPane() const;
    QPushButton *previousButton() const { return m_previous; }
    QPushButton *currentButton() const { return m_current; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *jumpButton() const { return m_jump; }
    QPushButton *askButton() const { return m_ask; }
    QPushButton *answerButton() const { return m_answer; }
    QPushButton *closeQuestionsButton() const { return m_close; }
    QLineEdit *pageField() const { return m_pageField; }
    QLabel *pageCountLabel() const { return m_pageCount; }
    // The 48 pictures of the online experts list (built-in heads until replaced).
    const QList<QPixmap> &expertPictures() const { return m_pictures; }

    // ZoneViewDisplay
    void setPostRows(const QList<QStringList> &rows) override;
    void setAnnouncementRows(const QList<forum::AnnouncementRow> &rows) override;
    void setOnlineExperts(const QList<forum::OnlineExpert> &experts) override;
    void setOnlineExpertPicture(int index, const forum::OnlineExpert &expert) override;
    void showPane(forum::ZonePane pane) override;
    void setListsEnabled(bool postListEnabled, bool announcementsEnabled) override;
    void setBottomBar(const forum::BottomBarState &state) override;
    void setPageCountText(const QString &text) override;
    void setPageFieldText(const QString &text) override;
    QString pageFieldText() const override;
    void focusPageField() override;
    void navigate(const QString &url) override;
    void reloadPage() override;

  Q_SIGNALS:
    // The browser finished loading a page (ok false: it failed).
    void pageLoadFinished(bool ok);

  private:
    QWidget *buildLeftPanel();
    QWidget *buildBottomBar();
    void buildPostList();
    void buildAnnouncementList();
    // The browser, made on first use.
    QWebEngineView *ensureBrowser();
    // The browser's page for its next address: a new one after the
    // connection settings changed.
    void preparePage();
    // Repaints at once: the service calls that follow block the event loop.
    void flush();

    int m_zoneIndex;
    QSize m_screen;
    QString m_faceDirectory;
    WebEngineHost *m_web = nullptr;
    std::unique_ptr<forum::CZoneView> m_rules;
    std::function<void(CExpertInfo &)> m_runDialog;
    QList<QPixmap> m_pictures;

    ZonePanelGroup *m_expertGroup = nullptr;
    ZonePanelGroup *m_treeGroup = nullptr;
    QListWidget *m_experts = nullptr;
    CZoneTreeCtrl *m_tree = nullptr;
    QStackedWidget *m_stack = nullptr;
    QTreeWidget *m_posts = nullptr;
    CMarkupListCtrl *m_announcements = nullptr;
    QWebEngineView *m_browser = nullptr;
    QWebEnginePage *m_page = nullptr; // the browser's page, a child of the browser
    QPushButton *m_previous = nullptr;
    QPushButton *m_current = nullptr;
    QPushButton *m_next = nullptr;
    QLabel *m_pageCount = nullptr;
    QLineEdit *m_pageField = nullptr;
    QPushButton *m_jump = nullptr;
    QPushButton *m_ask = nullptr;
    QPushButton *m_answer = nullptr;
    QPushButton *m_close = nullptr;
};

} // namespace quillora::ui
