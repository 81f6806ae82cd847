// The start-up sequence of the application object, from the sign-in dialog
// to the update offer. The windows it opens are behind StartupScreens, so a
// test runs every step, and every way it can end, without a display.
#pragma once

#include "site_config.h"

#include <QString>

#include <functional>

namespace quillora::platform {
class MessageBoxes;
class SystemOpener;
} // namespace quillora::platform

namespace quillora::session {

class StartupScreens {
  public:
    virtual ~StartupScreens() = default;
    // Runs the sign-in dialog modally; true when it ended accepted, with the
    // user name and password it accepted.
    virtual bool runSignIn(QString *userName, QString *password) = 0;
    // The "Connecting" window: shown and painted at once; destroyed.
    virtual void showConnecting() = 0;
    virtual void destroyConnecting() = 0;
    // Creates the main frame from the user document; false when creation failed
    // (the frame has shown its own message).
    virtual bool createMainFrame(const QString &userDocument) = 0;
    virtual void showMainFrameMaximized() = 0;
    // The update check: true when a newer version is offered, with both version texts.
    virtual bool checkForUpdate(QString *currentVersion, QString *latestVersion) = 0;
    // "Update Information", owned by the main frame; true for "Yes".
    virtual bool askToDownload(const QString &currentVersion, const QString &latestVersion) = 0;
};

enum class StartupOutcome {
    Running,         // the main frame runs
    SignInCancelled, // the dialog ended without a sign-in
    ConnectFailed,   // IsUserExistsByName failed
    UnknownMember,   // the member does not exist
    UserDataFailed,  // GetUserByUserName failed
    DocumentFailed,  // the user document does not parse
    OnlineFailed,    // SetUserOnline failed
    FrameFailed,     // the main frame could not be created
};

class StartupSequence {
  public:
    StartupSequence(const service::SiteAddress &site, StartupScreens &screens, platform::MessageBoxes &messages,
                    platform::SystemOpener &opener, std::function<QString()> machineAddress = {});

    // Steps from the sign-in dialog on; anything but Running means the program ends.
    StartupOutcome run();

    // The session's user document (kept for the whole process) and the user ID read from it.
    const QString &userDocument() const { return m_userDocument; }
    int userId() const { return m_userId; }
    const QString &ipAddressSent() const { return m_ipAddress; }

    static QString unknownMemberMessage() { return QStringLiteral("You have entered an invalid username!"); }
    static QString userDataFailedMessage()
    {
        return QStringLiteral("Failed to get user data from server, please try again later.!");
    }
    static QString downloadPath() { return QStringLiteral("/Quillora/download.htm"); }

  private:
    StartupOutcome fail(StartupOutcome outcome, const QString &message);

    service::SiteAddress m_site;
    StartupScreens &m_screens;
    platform::MessageBoxes &m_messages;
    platform::SystemOpener &m_opener;
    std::function<QString()> m_machineAddress;
    QString m_userDocument;
    int m_userId = 0;
    QString m_ipAddress;
};

} // namespace quillora::session
