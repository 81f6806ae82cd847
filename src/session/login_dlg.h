// CLoginDlg: the rules of the sign-in dialog "Login". The widget shows the
// boxes and buttons and forwards its commands here; every message, focus and
// selection change goes back through LoginView and MessageBoxes, so the rules
// run without a window.
#pragma once

#include "remembered_credentials.h"
#include "site_config.h"

#include <QObject>
#include <QString>

namespace quillora::platform {
class MessageBoxes;
class SystemOpener;
} // namespace quillora::platform

namespace quillora::session {

// What the rules need of the dialog's window.
class LoginView {
  public:
    virtual ~LoginView() = default;
    virtual QString userNameText() const = 0;
    virtual QString passwordText() const = 0;
    virtual void setUserNameText(const QString &text) = 0;
    virtual void setPasswordText(const QString &text) = 0;
    // Keyboard focus to a box, with its whole text selected or not.
    virtual void focusUserName(bool selectAll) = 0;
    virtual void focusPassword(bool selectAll) = 0;
    virtual void setRegistrationEnabled(bool enabled) = 0;
    virtual void setForgotPasswordEnabled(bool enabled) = 0;
    virtual void endDialog(bool accepted) = 0;
    // Owner of the dialog's message boxes.
    virtual QObject *messageOwner() = 0;
};

// Rejected sign-in attempts: one count for the whole process, never reset.
struct SignInQuota {
    static constexpr int kLimit = 3;
    int failed = 0;
};

class CLoginDlg {
  public:
    CLoginDlg(const service::SiteAddress &site, LoginView &view, platform::MessageBoxes &messages,
              platform::SystemOpener &opener, const RememberedCredentials &store, SignInQuota &quota);

    // The dialog opens: "Forgot password" disabled, remembered credentials loaded.
    void onInitDialog();
    // "Sign-In".
    void onSignIn();
    // "Forgot password": the site's password page in the browser.
    void onForgotPassword();
    // The registration dialog has ended; accepted reloads what it remembered.
    void onRegistrationEnded(bool accepted);
    // "Cancel".
    void onCancel();

    // Typed values as used by the last "Sign-In" (stripped of surrounding white space).
    const QString &userName() const { return m_userName; }
    const QString &password() const { return m_password; }
    const QString &rememberedUserName() const { return m_rememberedUserName; }
    const QString &rememberedPassword() const { return m_rememberedPassword; }

    // Texts of the dialog's messages.
    static QString quotaMessage() { return QStringLiteral("You have used up your failed login quota! !"); }
    static QString emptyUserNameMessage() { return QStringLiteral("You must enter a username !"); }
    static QString emptyPasswordMessage() { return QStringLiteral("You must enter a password !"); }
    static QString wrongUserNameMessage() { return QStringLiteral("You have specified an incorrect username!"); }
    static QString wrongPasswordMessage() { return QStringLiteral("You have specified an invalid password!"); }
    static QString fileFailedMessage() { return QStringLiteral("Failed to open file !"); }
    static QString badConfigFileMessage() { return QStringLiteral("Failed to open config file !"); }
    static QString cannotRememberMessage()
    {
        return QStringLiteral("Your user name and password cannot be remembered on this computer. "
                              "You will be asked for them again next time.");
    }
    static QString tooLongToRememberMessage()
    {
        return QStringLiteral("Your user name or password is too long to be remembered on this computer. "
                              "You will be asked for it again next time.");
    }

  private:
    void loadRemembered();
    void rejectUserName();
    void rejectPassword();
    void message(const QString &text);

    service::SiteAddress m_site;
    LoginView &m_view;
    platform::MessageBoxes &m_messages;
    platform::SystemOpener &m_opener;
    const RememberedCredentials &m_store;
    SignInQuota &m_quota;

    QString m_userName;
    QString m_password;
    QString m_rememberedUserName;
    QString m_rememberedPassword;
};

} // namespace quillora::session
