#include "quillora_app.h"

#include "connection_settings.h"
#include "qt_file_prompts.h"
#include "qt_message_boxes.h"
#include "raise_channel.h"
#include "remembered_credentials.h"
#include "screens/about_box.h"
#include "screens/account_entry.h"
#include "screens/connecting_window.h"
#include "screens/login_dialog.h"
#include "screens/mail_dialog_widgets.h"
#include "screens/main_frame_window.h"
#include "screens/message_dialog.h"
#include "screens/net_set_dialog.h"
#include "screens/pane_chat_widget.h"
#include "screens/pane_search_widget.h"
#include "screens/posting_entry.h"
#include "screens/print_save_entry.h"
#include "screens/quillora_view.h"
#include "screens/register_dialog.h"
#include "screens/update_dialog.h"
#include "shared_graphics_context.h"
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
        // "Free Registration": the sign-up dialog, which remembers the new member.
        auto registration = [this, &store](QWidget *parent) {
            const session::SysfsMachineSources machine;
            ui::RegisterDialog dialog(m_app.m_site, *m_app.m_messages, store, machine, parent);
            return dialog.exec() == QDialog::Accepted;
        };
        ui::LoginDialog dialog(m_app.m_site, *m_app.m_messages, *m_app.m_opener, store, m_app.m_quota, registration);
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
        // The message board (hidden) and the "Contact" pane, before the main
        // view's first poll.
        ui::MessageDialog *board = ui::installMessageBoard(*frame, *m_app.m_messages, *m_app.m_opener);
        ui::installContactPane(*frame, m_app.m_browsing, *m_app.m_messages, board);
        // The main view: the four zone views in the frame's tabs.
        m_app.m_browsing.reset();
        m_app.m_view = new ui::CQuilloraView(*frame, m_app.m_browsing, *m_app.m_messages, *m_app.m_opener, frame);
        m_app.m_view->create();
        // "Ask Question" and "Answer Question", from the menu and the zone views.
        ui::installPostingDialogs(*frame, m_app.m_browsing, *m_app.m_messages);
        // "Edit My Account" and "View My Profile".
        ui::installAccountDialogs(*frame, m_app.m_userDocument, *m_app.m_messages, *m_app.m_files);
        // "Connection Settings": the new settings are in use once it ends accepted.
        platform::MessageBoxes *messages = m_app.m_messages;
        QPointer<ui::MainFrameWindow> owner(frame);
        frame->frame().dialogs().connectionSettings = [messages, owner] {
            return owner && ui::execNetSetDialog(*messages, owner);
        };
        frame->updateCommandStates();
        // "Send to Friend" and "Feedback".
        ui::installMailDialogs(*frame, *m_app.m_messages);
        ui::installPrintAndSave(*frame, *m_app.m_view, board, *m_app.m_messages);
        return true;
    }

    void showMainFrameMaximized() override { m_app.m_frame->showMaximizedAndStart(); }

    bool checkForUpdate(QString *currentVersion, QString *latestVersion) override
    {
        mail::CUpdateChecker checker(service::programVersion());
        checker.setTrustedCaFile(m_app.m_site.caFile);
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

void CQuilloraApp::prepareProcess()
{
    // The embedded browser shares the widgets' graphics context, made when
    // the first page is shown.
    ui::deferSharedGraphicsContext();
}

CQuilloraApp::CQuilloraApp(int &argc, char **argv, AppPlatform platform)
    : QApplication(argc, argv), m_site(service::siteFromEnvironment())
{
    // The per-user settings (bar layout and the like) live under this name.
    setOrganizationName(QStringLiteral("Kestova"));
    setApplicationName(QStringLiteral("Quillora"));
    setApplicationVersion(service::programVersion());
    // Ties the windows to the installed menu entry (its icon and name in
    // task switchers, the window's app ID on Wayland).
    setDesktopFileName(QStringLiteral("org.kestova.Quillora"));
    ui::initResources();
    setWindowIcon(ui::programIcon());
    // The member's connection settings carry every connection from sign-in on.
    service::setActiveProxySettings(session::loadProxySettings());

    if (platform.messages) {
        m_messages = platform.messages;
    } else {
        m_ownMessages = std::make_unique<ui::QtMessageBoxes>();
        m_messages = m_ownMessages.get();
    }
    if (platform.files) {
        m_files = platform.files;
    } else {
        m_ownFiles = std::make_unique<ui::QtFilePrompts>();
        m_files = m_ownFiles.get();
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
    const QString raiseSocket = session::raiseSocketPath(m_instanceLock->path());
    if (!m_instanceLock->acquired()) {
        // Another copy runs on this desktop: it comes to the front, and this
        // one ends without a word.
        if (!m_instanceLock->path().isEmpty())
            session::askRunningCopyToRaise(raiseSocket);
        return false;
    }
    m_raiseListener = std::make_unique<session::RaiseListener>(raiseSocket);
    connect(m_raiseListener.get(), &session::RaiseListener::raiseRequested, this, &CQuilloraApp::bringToFront);

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

void CQuilloraApp::bringToFront()
{
    const auto front = [](QWidget *window) {
        if (!window)
            return;
        if (window->isHidden())
            window->show();
        if (window->isMinimized())
            window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->raise();
        window->activateWindow();
    };
    // The frame first, so that a dialog it owns ends up above it.
    front(m_frame);
    QWidget *modal = activeModalWidget();
    if (modal && modal != m_frame)
        front(modal);
    else if (!m_frame && m_connecting)
        front(m_connecting);
}

void CQuilloraApp::showAbout()
{
    ui::AboutBox box(m_frame);
    box.exec();
}

} // namespace quillora::app
