// CQuilloraView: the main view. It makes the four zone views (Software,
// Hardware, Game, Programming, in tab order), puts them into the main
// window's zone tabs, follows the tab selection, and is the frame's
// presence::ZoneViews: the frame's commands (My Questions, Close Questions,
// Announcements, Refresh, ...) and the search pane reach the active zone view
// through it.
//
// The four views share one web engine host (web_engine_host.h): the engine
// starts with the first page a view shows, in a profile that is off the
// record, so question pages leave no history, cache or cookies on disk.
#pragma once

#include "platform/message_box.h"
#include "platform/system_open.h"

#include "main_frame.h"

#include <QObject>
#include <QPointer>

#include <array>

class QWebEngineProfile;

namespace quillora::forum {
struct BrowsingValues;
}

namespace quillora::ui {

class MainFrameWindow;
class WebEngineHost;
class ZoneViewWidget;

class CQuilloraView : public QObject, public presence::ZoneViews {
    Q_OBJECT
  public:
    // Builds the four views into `frame`'s tabs and makes itself the frame's
    // zone views. Nothing is loaded yet: create() does that.
    CQuilloraView(MainFrameWindow &frame, forum::BrowsingValues &browsing, platform::MessageBoxes &messages,
                  platform::SystemOpener &opener, QObject *parent = nullptr);
    ~CQuilloraView() override;

    // Creation: every view loads its online experts, the Software view its
    // announcements; then the message board runs one poll.
    void create();

    ZoneViewWidget *zoneView(int zoneIndex) const;
    // The profile of the question pages; null until a view shows its first page.
    QWebEngineProfile *profile() const;
    WebEngineHost *webEngine() const { return m_web; }
    forum::BrowsingValues &browsing() { return m_browsing; }

    // Tab selection: the zone becomes current, zones 1..3 load their
    // announcements the first time, and the search pane follows the zone.
    void activateZone(int zoneIndex);

    // presence::ZoneViews
    int currentZoneIndex() const override;
    int currentColumn() const override;
    int selectedQuestionId() const override;
    void resetZone(int zoneIndex) override;
    void listFirstPage(int zoneIndex, int listMode, int key, const QString &keyword) override;
    void showAnnouncements(int zoneIndex) override;
    void reloadQuestionPage(int zoneIndex) override;

  private:
    MainFrameWindow &m_frame;
    forum::BrowsingValues &m_browsing;
    WebEngineHost *m_web = nullptr;
    std::array<QPointer<ZoneViewWidget>, 4> m_views;
};

} // namespace quillora::ui
