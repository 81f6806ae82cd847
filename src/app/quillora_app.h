// CQuilloraApp: the application object. It runs start-up (one copy per
// desktop session, sign-in, "Connecting", the member online, the main frame
// maximised, the update offer), owns the session's user document for the
// rest of the process, and shows the about box.
#pragma once

#include "platform/file_prompt.h"
#include "platform/message_box.h"
#include "platform/system_open.h"

#include "browsing_values.h"
#include "login_dlg.h"
#include "screens/connecting_window.h"
#include "screens/main_frame_window.h"
#include "screens/quillora_view.h"
#include "site_config.h"
#include "startup_sequence.h"

#include <QApplication>
#include <QPointer>

#include <memory>

namespace quillora::session {
class SingleInstanceLock;
class RaiseListener;
} // namespace quillora::session

namespace quillora::platform {
} // namespace quillora::platform

namespace quillora::app {

// Message boxes, the system "open" action and file prompts; null members mean
// the real ones.
struct AppPlatform {
    platform::MessageBoxes *messages = nullptr;
    platform::SystemOpener *opener = nullptr;
    platform::FilePrompts *files = nullptr;
};

class CQuilloraApp : public QApplication {
    Q_OBJECT
  public:
    // What the process must settle before the application object exists;
    // main() calls it first.
    static void prepareProcess();

    // The site comes from siteFromEnvironment().
    CQuilloraApp(int &argc, char **argv, AppPlatform platform = AppPlatform());
    ~CQuilloraApp() override;

    // Start-up. False when the program is to end at once: another copy runs on
    // this desktop, or start-up ended (its message has been shown).
    bool initInstance();
    // initInstance, then the event loop while the main frame runs; the exit code.
    int run();

    session::StartupOutcome outcome() const { return m_outcome; }
    const QString &userDocument() const { return m_userDocument; }
    ui::MainFrameWindow *mainFrame() const { return m_frame; }
    const service::SiteAddress &site() const { return m_site; }
    // The zone views' browsing values (current zone and column, questions
    // opened), one copy for the process, and the main view that writes them.
    forum::BrowsingValues &browsing() { return m_browsing; }
    ui::CQuilloraView *mainView() const { return m_view; }

    void showAbout();
    // A second start of the program asked for this copy: its foremost window
    // (the open dialog, else the main frame) comes to the front, restored.
    void bringToFront();

  private:
    class Screens;
    friend class Screens;

    service::SiteAddress m_site;
    std::unique_ptr<platform::MessageBoxes> m_ownMessages;
    std::unique_ptr<platform::SystemOpener> m_ownOpener;
    platform::MessageBoxes *m_messages = nullptr;
    platform::SystemOpener *m_opener = nullptr;
    std::unique_ptr<platform::FilePrompts> m_ownFiles;
    platform::FilePrompts *m_files = nullptr;
    std::unique_ptr<session::SingleInstanceLock> m_instanceLock;
    std::unique_ptr<session::RaiseListener> m_raiseListener;
    session::SignInQuota m_quota;
    QString m_userDocument;
    session::StartupOutcome m_outcome = session::StartupOutcome::SignInCancelled;
    QPointer<ui::MainFrameWindow> m_frame;
    forum::BrowsingValues m_browsing;
    QPointer<ui::CQuilloraView> m_view;
    QPointer<ui::CModeless> m_connecting;
};

} // namespace quillora::app
