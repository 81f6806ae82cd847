// Every top-level window the program opens, each opened as the program
// opens it against a demo community: the in-process accessibility walk and
// the walk over the real accessibility bus (atspi_window_host) go through
// the same list. A new screen joins by adding a row to windowOpeners().
#pragma once

#include "add_post_dlg.h"
#include "browsing_values.h"
#include "login_dlg.h"
#include "mail/mail_settings.h"
#include "platform/file_prompt.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "remembered_credentials.h"
#include "result_document.h"
#include "screens/about_box.h"
#include "screens/add_post_dialog.h"
#include "screens/add_reply_dialog.h"
#include "screens/connecting_window.h"
#include "screens/edit_user_dialog.h"
#include "screens/expert_info.h"
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
#include "screens/reg_wait_dialog.h"
#include "screens/register_dialog.h"
#include "screens/update_dialog.h"
#include "screens/user_info_dialog.h"
#include "session/ftp_upload.h"
#include "session/head_images.h"
#include "session/machine_identity.h"
#include "startup_sequence.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QDockWidget>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace quillora::ui::test {

using testpeers::VarnelServerOptions;
using testpeers::VarnelServerProcess;

// Everything the program shows, from one place: the main window as start-up
// builds it (zone views, search pane, posting commands) against the demo
// community, and every dialog with the figures of a signed-in member.
class Program {
  public:
    Program()
    {
        m_server = std::make_unique<VarnelServerProcess>(VarnelServerOptions{.demo = true});
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
        m_site = service::SiteAddress{QStringLiteral("127.0.0.1"), quint16(m_server->port())};
    }

    bool started() const { return m_server->started(); }
    const service::SiteAddress &site() const { return m_site; }
    platform::RecordingMessageBoxes &messages() { return m_messages; }
    platform::RecordingSystemOpener &opener() { return m_opener; }
    forum::BrowsingValues &browsing() { return m_browsing; }
    session::SignInQuota &quota() { return m_quota; }

    QString userDocument(const QString &name, const QString &password)
    {
        service::CVarnelServices proxy(m_site);
        proxy.useServiceAccount(service::Op::GetUserByUserName);
        QString document;
        if (!service::succeeded(proxy.GetUserByUserName(name, password, &document)))
            return QString();
        return document;
    }

    // The signed-in member's user ID.
    int aliceId()
    {
        const QString document = userDocument(QStringLiteral("alice"), QStringLiteral("alice123"));
        const service::DocumentRecords read = service::readRecords(document, service::kUserTag, 1, 1);
        return read.records.empty() ? 0 : read.records.front().value(0).toInt();
    }
    platform::RecordingFilePrompts &files() { return m_files; }
    QString homePath(const QString &name) const { return m_home.filePath(name); }
    session::CustomFaceDownloads &faces()
    {
        if (!m_faces)
            m_faces = std::make_unique<session::CustomFaceDownloads>(m_site, m_home.filePath(QStringLiteral("faces")));
        return *m_faces;
    }

    std::unique_ptr<ui::MainFrameWindow> mainWindow()
    {
        m_document = userDocument(QStringLiteral("alice"), QStringLiteral("alice123"));
        auto frame =
            std::make_unique<ui::MainFrameWindow>(ui::MainFrameContext{m_site, m_document, &m_messages, &m_opener});
        if (!frame->isCreated())
            return nullptr;
        ui::installSearchPane(*frame, m_messages);
        ui::MessageDialog *board = ui::installMessageBoard(*frame, m_messages, m_opener);
        ui::installContactPane(*frame, m_browsing, m_messages, board);
        auto *view = new ui::CQuilloraView(*frame, m_browsing, m_messages, m_opener, frame.get());
        view->create();
        ui::installPostingDialogs(*frame, m_browsing, m_messages);
        return frame;
    }

  private:
    std::unique_ptr<VarnelServerProcess> m_server;
    QTemporaryDir m_home;
    service::SiteAddress m_site;
    platform::RecordingMessageBoxes m_messages;
    platform::RecordingSystemOpener m_opener;
    forum::BrowsingValues m_browsing;
    session::SignInQuota m_quota;
    platform::RecordingFilePrompts m_files;
    std::unique_ptr<session::CustomFaceDownloads> m_faces;
    QString m_document;
};

// A computer whose identity reads the same every time.
struct FixedMachine : session::MachineSources {
    session::AdapterQuery firstAdapter() const override
    {
        return {session::AdapterQuery::Status::Ok, QByteArray::fromHex("020000000001")};
    }
    QString diskSerial() const override { return QStringLiteral("TESTDISK01"); }
    QString biosSerial() const override { return {}; }
};

struct WindowOpener {
    const char *name;
    std::function<std::unique_ptr<QWidget>(Program &)> open;
};

inline forum::PostingContext postingContext()
{
    forum::PostingContext context;
    context.userID = 1;
    context.points = 500;
    context.credit = 100;
    context.currentColumn = 31;
    context.selectedQuestionId = 1;
    context.selectedQuestionTitle = QStringLiteral("How do I read a {b}config{/b} file?");
    return context;
}

// Every top-level window the program opens. Message boxes are Qt's own.
inline const std::vector<WindowOpener> &windowOpeners()
{
    static const std::vector<WindowOpener> openers{
        {"Login",
         [](Program &p) -> std::unique_ptr<QWidget> {
             static const session::RememberedCredentials store;
             return std::make_unique<ui::LoginDialog>(p.site(), p.messages(), p.opener(), store, p.quota());
         }},
        {"Connecting", [](Program &) -> std::unique_ptr<QWidget> { return std::make_unique<ui::CModeless>(); }},
        {"Main window", [](Program &p) -> std::unique_ptr<QWidget> { return p.mainWindow(); }},
        {"Ask Question",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::AddPostDialog>(p.site(), p.messages(), postingContext());
         }},
        {"Answer Question",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::AddReplyDialog>(p.site(), p.messages(), postingContext());
         }},
        {"Expert Profile",
         [](Program &) -> std::unique_ptr<QWidget> {
             ui::ExpertProfile profile;
             profile.userName = QStringLiteral("alice");
             profile.nickname = QStringLiteral("Alice");
             profile.headImage = 3;
             profile.credit = QStringLiteral("100");
             profile.zoneRank = 4;
             profile.expertArea = 31;
             return std::make_unique<ui::CExpertInfo>(profile, QString());
         }},
        {"About", [](Program &) -> std::unique_ptr<QWidget> { return std::make_unique<ui::AboutBox>(); }},
        {"Update Information",
         [](Program &) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::CUpdateDlg>(QStringLiteral("3.5.0.1"), QStringLiteral("3.5.0.2"));
         }},
        {"Sign Up",
         [](Program &p) -> std::unique_ptr<QWidget> {
             static const session::RememberedCredentials store;
             static const FixedMachine machine;
             return std::make_unique<ui::RegisterDialog>(p.site(), p.messages(), store, machine);
         }},
        {"Registration wait",
         [](Program &) -> std::unique_ptr<QWidget> { return std::make_unique<ui::CRegWaitDlg>(); }},
        {"Edit Profile",
         [](Program &p) -> std::unique_ptr<QWidget> {
             session::EditUserSetup setup{p.site(), session::compiledFtpConnection(),
                                          p.homePath(QStringLiteral("faces")),
                                          session::RememberedCredentials({p.homePath(QStringLiteral("k.ini")),
                                                                          p.homePath(QStringLiteral("w.dat"))})};
             return std::make_unique<ui::EditUserDialog>(std::move(setup), p.aliceId(), p.messages(), p.files());
         }},
        {"My Profile",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::UserInfoDialog>(
                 p.site(), p.messages(), p.userDocument(QStringLiteral("alice"), QStringLiteral("alice123")),
                 p.aliceId());
         }},
        {"Connection Settings",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::NetSetDialog>(p.homePath(QStringLiteral("net.ini")), p.messages());
         }},
        {"Send to Friend",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::EmailDialog>(p.site(), mail::compiledMailSettings(), p.messages(), 1);
         }},
        {"Feedback",
         [](Program &p) -> std::unique_ptr<QWidget> {
             return std::make_unique<ui::FeedbackDialog>(mail::compiledMailSettings(), p.messages(),
                                                         QStringLiteral("alice"));
         }},
        {"Communication",
         [](Program &p) -> std::unique_ptr<QWidget> {
             static presence::MemberValues member;
             member.userID = p.aliceId();
             member.userName = QStringLiteral("alice");
             member.nickname = QStringLiteral("Alice");
             member.headImage = 3;
             auto board = std::make_unique<ui::MessageDialog>(p.site(), member, p.messages(), p.opener(), p.faces(),
                                                              presence::ArrivalAlerts{});
             board->rules().openChat({QStringLiteral("2"), QStringLiteral("bob"), QStringLiteral("Bob"),
                                      QStringLiteral("4"), QStringLiteral("10"), QStringLiteral("3"),
                                      QStringLiteral("0")});
             return board;
         }},
        {"Print Preview",
         [](Program &) -> std::unique_ptr<QWidget> {
             static QPrinter printer;
             return ui::makePrintPreview(&printer, nullptr);
         }},
        {"Contact pane",
         [](Program &p) -> std::unique_ptr<QWidget> {
             std::unique_ptr<ui::MainFrameWindow> frame = p.mainWindow();
             if (!frame)
                 return nullptr;
             // The pane opened on the member's own question, as the zone views open it.
             auto *dock = frame->findChild<QDockWidget *>(QStringLiteral("pane1446"));
             if (!dock)
                 return nullptr;
             frame->frame().openExpertsOfOwnQuestion(1);
             dock->show();
             return frame;
         }},
    };
    return openers;
}

} // namespace quillora::ui::test
