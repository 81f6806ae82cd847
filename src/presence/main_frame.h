// CMainFrame: the rules of the main window without the window. It holds the
// member's working values, fills the status bar, runs the status and zone
// refreshes, dispatches the commands and runs the close sequence. The window
// and the screens of other subsystems are reached through small interfaces,
// so every rule runs in a test without a display.
#pragma once

#include "frame_commands.h"
#include "member_values.h"
#include "site_config.h"

#include <QString>

#include <array>
#include <functional>

class QObject;

namespace quillora::platform {
class MessageBoxes;
class SystemOpener;
} // namespace quillora::platform

namespace quillora::presence {

enum class StatusPane : int { Prompt, UserName, Nickname, Level, Credit, Points, Online };
inline constexpr int kStatusPaneCount = 7;
// Pane widths in pixels; pane 0 stretches and this is its least width.
inline constexpr std::array<int, kStatusPaneCount> kStatusPaneWidths{100, 130, 135, 70, 65, 80, 70};

// The two docking panes: 1446 "Contact" (right edge) and 1447 "Search" (left edge).
enum class FramePane : int { Contact = 1446, Search = 1447 };

// Status-bar texts.
QString idleStatusText();       // "Please select a zone"
QString refreshingStatusText(); // "Refreshing...."
QString userNameStatusText(const QString &userName);
QString nicknameStatusText(const QString &nickname);
QString creditStatusText(const QString &creditText);
QString pointsStatusText(const QString &pointsText);
QString onlineStatusText(int count); // "Online:" + decimal count
QString onlineUnknownStatusText();   // when the count could not be fetched at creation

// What the rules ask of the window.
class FrameView {
  public:
    virtual ~FrameView() = default;
    virtual void setStatusText(StatusPane pane, const QString &text) = 0;
    virtual void setLevelBadge(int badge) = 0; // 1..10, or 0 for none
    virtual void setModeratorEntryEnabled(bool enabled) = 0;
    virtual void showPane(FramePane pane) = 0;
    // Back to its tab at the frame's edge.
    virtual void collapsePane(FramePane pane) { (void)pane; }
    virtual void removeTrayIcon() = 0;
    // Whether the desktop has a tray area to show the tray icon in. Without
    // one the Communication command opens the message board as well as the
    // Contact pane, since the tray click that shows the board is not there.
    virtual bool hasTrayArea() const { return true; }
    virtual void endProgram() = 0;
};

// The main view's four zone views and the browsing values they keep (current
// zone index, current column, selected question). The default is what the
// frame sees before any zone view exists: zone 0, no column, no question,
// and nothing to reset or list.
class ZoneViews {
  public:
    virtual ~ZoneViews() = default;
    virtual int currentZoneIndex() const { return 0; }
    virtual int currentColumn() const { return -1; }
    virtual int selectedQuestionId() const { return -1; }
    // The view of `zoneIndex` resets itself and reloads its own lists.
    virtual void resetZone(int zoneIndex) { (void)zoneIndex; }
    // The view of `zoneIndex` lists page 1 in `listMode` with `key` and `keyword`.
    virtual void listFirstPage(int zoneIndex, int listMode, int key, const QString &keyword)
    {
        (void)zoneIndex, (void)listMode, (void)key, (void)keyword;
    }
    virtual void showAnnouncements(int zoneIndex) { (void)zoneIndex; }
    virtual void reloadQuestionPage(int zoneIndex) { (void)zoneIndex; }
};

// List modes the frame's commands ask of a zone view.
enum ZoneListMode : int { ListColumn = 1, ListMyQuestions = 2, ListToClose = 3, ListMySolutions = 4, ListScored = 5 };

// The zone (0..3) a column (1..41) belongs to; -1 for any other value.
int zoneOfColumn(int column);

// Modal dialogs of other screens that the frame's commands open. Each returns
// whether it ended accepted. A command whose dialog is not set is unavailable.
struct FrameDialogs {
    std::function<bool()> askQuestion;
    std::function<bool()> answerQuestion;
    std::function<void(int userID)> viewProfile;
    std::function<bool(int userID)> editAccount;
    std::function<bool()> connectionSettings;
    std::function<bool(int questionId)> sendToFriend;
    std::function<bool(const QString &userName)> feedback;
    std::function<void()> saveQuestion, saveMessage, printQuestion, printPreview;
    // Loads the experts of the member's own question into the "Contact" pane.
    std::function<void(int questionId)> loadQuestionExperts;
    // Shows the "Communication" dialog without activating it (tray icon click).
    std::function<void()> showMessageBoard;
    // Shows the "Communication" dialog activated, for the member to write
    // (the Message Board command, a click on an arrival notification).
    std::function<void()> openMessageBoard;
    // Passes the active zone to the search pane, which selects its first category.
    std::function<void(int zoneIndex)> searchPaneZone;
};

class CMainFrame {
  public:
    CMainFrame(const service::SiteAddress &site, platform::MessageBoxes &messages, platform::SystemOpener &opener,
               FrameView &view, QObject *owner = nullptr);

    // Reads the member values from the sign-in document, fetches the online
    // count and fills status panes 1 to 6. False (after its message) when the
    // document cannot be read: the frame is then not created.
    bool create(const QString &userDocument);

    const MemberValues &member() const { return m_member; }
    // A profile edit the service accepted: the member's password, nickname,
    // e-mail and head image number take the new values (the status bar shows
    // the new nickname), so later calls and pages use them.
    void applyProfileChange(const QString &password, const QString &nickname, const QString &email, int headImage);
    int onlineCount() const { return m_onlineCount; } // -1 while unknown
    int pollIntervalMs() const { return pollIntervalForLevel(m_member.level); }
    const service::SiteAddress &site() const { return m_site; }

    void setZoneViews(ZoneViews *zones) { m_zones = zones ? zones : &m_noZones; }
    ZoneViews &zoneViews() { return *m_zones; }
    FrameDialogs &dialogs() { return m_dialogs; }

    // Whether the command can run now: its screen exists (and, for the
    // moderators' entry, the member's role allows it).
    bool isAvailable(FrameCommand command) const;
    // Runs a command. The window's own commands (Exit, About, ToolBar,
    // StatusBar) are not handled here and return false.
    bool run(FrameCommand command);

    // Credit, points and the online count again from the service. False when
    // a call or the document failed (the message has been shown; the fields
    // keep their values).
    bool statusRefresh();
    // The active zone view resets, then lists the current column again when
    // the column belongs to that zone.
    void zoneRefresh();
    // Shows the experts of the member's own question in the "Contact" pane.
    void openExpertsOfOwnQuestion(int myQuestionId);
    // The main view's tab changed: the search pane follows the zone.
    void setSearchPaneZone(int zoneIndex);

    // Signs the member out (the outcome is ignored), removes the tray icon
    // and ends the program. Runs once; later calls do nothing.
    void closeSequence();
    bool isClosed() const { return m_closed; }

    QString siteAddressOf(FrameCommand command) const; // empty for commands without a page

  private:
    void showMessage(const QString &text, bool error);
    void openSitePage(FrameCommand command);
    void askQuestion();
    void answerQuestion();
    void listActiveZone(int listMode);
    bool fetchOnlineCount(int &count);

    service::SiteAddress m_site;
    platform::MessageBoxes &m_messages;
    platform::SystemOpener &m_opener;
    FrameView &m_view;
    QObject *m_owner;
    ZoneViews m_noZones;
    ZoneViews *m_zones = &m_noZones;
    FrameDialogs m_dialogs;
    MemberValues m_member;
    int m_onlineCount = -1;
    bool m_closed = false;
};

} // namespace quillora::presence
