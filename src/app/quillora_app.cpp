#include "quillora_app.h"

#include "qt_message_boxes.h"
#include "remembered_credentials.h"
#include "screens/about_box.h"
#include "screens/connecting_window.h"
#include "screens/login_dialog.h"
#include "screens/main_frame_window.h"
#include "screens/pane_search_widget.h"
#include "screens/posting_entry.h"
#include "screens/quillora_view.h"
#include "screens/update_dlg.h"
#include "single_instance.h"
#include "system_open.h"
#include "ui_resources.h"
#include "update_check.h"

namespace quillora::app {

// The windows of start-up, as the start-up sequence asks for them.
class CQuilloraApp::Screens : public session::StartupScreens {
  public:
    explicit Screens(CQuilloraApp &app) : m_app(app) {}

    bool runSignIn(QString *userName, QString *password) override
    {
        const session::RememberedCredentials store;
        // Registration opens no dialog in this version: "Free Registration" stays disabled.
        ui::LoginDialog dialog(m_app.m_site, *m_app.m_messages, *m_app.m_opener, store, m_app.m_quota);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        *userName = dialog.rules().userName();
        *password = dialog.rules().password();
        return true;
    }

    void showConnecting() override
    {
        m_app.m_connecting = new ui::CModeless;
        m_app.m_connecting->showNow();
    }

    void destroyConnecting() override
    {
        if (m_app.m_connecting)
            m_app.m_connecting->close(); // deletes itself
    }

    bool createMainFrame(const QString &userDocument) override
    {
        m_app.m_userDocument = userDocument;
        ui::MainFrameContext context{m_app.m_site, m_app.m_userDocument, m_app.m_messages, m_app.m_opener};
        auto *frame = new ui::MainFrameWindow(context);
        if (!frame->isCreated()) {
            delete frame;
            return false;
        }
        frame->setAttribute(Qt::WA_DeleteOnClose);
        CQuilloraApp *app = &m_app; // this Screens object ends with start-up
        frame->setAboutHandler([app] { app->showAbout(); });
        m_app.m_frame = frame;
        ui::installSearchPane(*frame, *m_app.m_messages);
        // The main view: the four zone views in the frame's tabs.
        m_app.m_browsing.reset();
        m_app.m_view = new ui::CQuilloraView(*frame, m_app.m_browsing, *m_app.m_messages, *m_app.m_opener, frame);
        m_app.m_view->create();
        // "Ask Question" and "Answer Question", from the menu and the zone views.
        ui::installPostingDialogs(*frame, m_app.m_browsing, *m_app.m_messages);
        return true;
    }

    void showMainFrameMaximized() override { m_app.m_frame->showMaximizedAndStart(); }

    bool checkForUpdate(QString *currentVersion, QString *latestVersion) override
    {
        mail::CUpdateChecker checker(service::programVersion());
        const bool newer = checker.check(service::siteUrl(m_app.m_site, QStringLiteral("/Varnel/Web/")));
        *currentVersion = checker.currentVersion();
        *latestVersion = checker.latestVersion();
        return newer;
    }

    bool askToDownload(const QString &currentVersion, const QString &latestVersion) override
    {
        ui::CUpdateDlg dialog(currentVersion, latestVersion, m_app.m_frame);
        return dialog.exec() == QDialog::Accepted;
    }

  private:
    CQuilloraApp &m_app;
};

CQuilloraApp::CQuilloraApp(int &argc, char **argv, AppPlatform platform)
    : QApplication(argc, argv), m_site(service::siteFromEnvironment())
{
    // The per-user settings (bar layout and the like) live under this name.
    setOrganizationName(QStringLiteral("Kestova"));
    setApplicationName(QStringLiteral("Quillora"));
    setApplicationVersion(service::programVersion());
    ui::initResources();
    setWindowIcon(ui::programIcon());

    if (platform.messages) {
        m_messages = platform.messages;
    } else {
        m_ownMessages = std::make_unique<ui::QtMessageBoxes>();
        m_messages = m_ownMessages.get();
    }
    if (platform.opener) {
        m_opener = platform.opener;
    } else {
        m_ownOpener = std::make_unique<ui::DesktopSystemOpener>();
        m_opener = m_ownOpener.get();
    }
}

CQuilloraApp::~CQuilloraApp()
{
    delete m_frame.data();
    delete m_connecting.data();
}

bool CQuilloraApp::initInstance()
{
    // A site the service client cannot address would fail every call with
    // the same unexplained message; say what is wrong and end instead.
    if (const QString problem = service::siteEnvironmentProblem(); !problem.isEmpty()) {
        m_messages->ok(problem, platform::programTitle(), platform::MessageIcon::Error);
        return false;
    }
    m_instanceLock = std::make_unique<session::SingleInstanceLock>();
    if (!m_instanceLock->acquired())
        return false; // another copy runs on this desktop: end without a word

    // Between the windows of start-up there are moments with none shown; they
    // must not end the program.
    setQuitOnLastWindowClosed(false);
    Screens screens(*this);
    session::StartupSequence sequence(m_site, screens, *m_messages, *m_opener);
    m_outcome = sequence.run();
    setQuitOnLastWindowClosed(true);
    return m_outcome == session::StartupOutcome::Running;
}

int CQuilloraApp::run()
{
    if (!initInstance())
        return 0;
    return exec();
}

void CQuilloraApp::showAbout()
{
    ui::AboutBox box(m_frame);
    box.exec();
}

} // namespace quillora::app
