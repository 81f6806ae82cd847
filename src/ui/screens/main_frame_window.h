// The main window: menu bar, "Standard" toolbar, the seven-pane status bar,
// the "Contact" and "Search" docking panes, the four zone tabs and the tray
// icon. It is the thin widget of the CMainFrame rules class; every rule and
// message lives there, this class only shows and forwards.
#pragma once

#include "platform/message_box.h"
#include "platform/system_open.h"

#include "site_config.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QCloseEvent;
class QDockWidget;
class QLabel;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QToolBar;

namespace quillora::presence {
class CMainFrame;
enum class FrameCommand : int;
enum class FramePane : int;
} // namespace quillora::presence

namespace quillora::session {
class CustomFaceDownloads;
}

namespace quillora::ui {

// What start-up hands to the main window.
struct MainFrameContext {
    service::SiteAddress site;
    QString userDocument; // the sign-in User document kept by the application object
    platform::MessageBoxes *messages = nullptr;
    platform::SystemOpener *opener = nullptr;
};

class MainFrameWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the whole frame: reads the member values from the user document,
    // asks the service for the online count, fills the status bar, builds the
    // bars, panes and tray icon and restores the saved layout. When the user
    // document cannot be read, the message has been shown and isCreated() is
    // false; start-up then ends.
    explicit MainFrameWindow(const MainFrameContext &context, QWidget *parent = nullptr);
    ~MainFrameWindow() override;

    bool isCreated() const;

    // Shows the frame maximised, puts the tray icon up and starts timer 1.
    void showMaximizedAndStart();

    // The Help > About command runs this handler (the application's about box).
    void setAboutHandler(std::function<void()> handler);
    // Runs at the end of the close sequence; QCoreApplication::quit by default.
    void setQuitHandler(std::function<void()> handler);

    // The rules behind the window (member values, status refresh, zone refresh).
    presence::CMainFrame &frame();
    const presence::CMainFrame &frame() const;

    // The action of a command (menu, toolbar and tray menu share it).
    QAction *commandAction(presence::FrameCommand command) const;
    // Enables each command whose screen is present (call after setting
    // frame().dialogs() or frame().setZoneViews()).
    void updateCommandStates();

    // Tray animation: four frames at the given period; stop shows the still icon.
    void startTrayAnimation(int periodMs = 500);
    void stopTrayAnimation();
    bool isTrayAnimating() const;
    // Status pane 0: a command's notice while it runs.
    void setPromptText(const QString &text);
    // A desktop notification of arrived messages (plain text): through the
    // desktop's notification service, else the tray icon's balloon. A click
    // on it opens the message board.
    void notifyArrival(const QString &text);
    // The main view's first message poll: run once the frame is shown and
    // its tray icon is up, so that messages waiting at sign-in are announced
    // (at once when the frame is already shown).
    void requestStartupPoll();

    // Interval of timer 1 in milliseconds (0 before showMaximizedAndStart).
    int pollIntervalMs() const;

    // The views other screens put into the frame: a pane's body ("Contact"
    // or "Search") and the zone view of a tab (0..3). The frame takes
    // ownership and drops the placeholder it showed until then.
    void setPaneView(presence::FramePane pane, QWidget *view);
    void setZoneView(int zoneIndex, QWidget *view);
    // The zone tab shown (0..3); selecting one emits zoneTabChanged.
    int currentZoneTab() const;
    void setCurrentZoneTab(int zoneIndex);

    // Saves the bar and pane layout to the per-user settings (also done by the
    // close sequence) and restores it.
    void saveLayout() const;
    bool restoreLayout();

    // The one downloads object for members' custom head pictures, shared by
    // the zone views, the "Contact" pane and the message board so that the
    // whole program runs at most a few downloads at once. Made on first use;
    // it lives as long as the window.
    session::CustomFaceDownloads &customFaces();

  Q_SIGNALS:
    // Every tick of timer 1: the message board runs its poll.
    void pollTick();
    // The start-up poll (see requestStartupPoll).
    void startupPoll();
    // The member selected another zone tab (not emitted while setZoneView
    // swaps a tab's view).
    void zoneTabChanged(int zoneIndex);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    class Views;
    struct Widgets;

    std::unique_ptr<Views> m_views;
    std::unique_ptr<Widgets> m_w;
    std::unique_ptr<presence::CMainFrame> m_frame;
    std::function<void()> m_about;
    std::function<void()> m_quit;
    bool m_created = false;
    bool m_closing = false;
    session::CustomFaceDownloads *m_faces = nullptr;
};

} // namespace quillora::ui
