// The sign-in dialog "Login": a fixed-size window whose background picture is
// stretched over the whole client area, the labels "Username:" and
// "Password:" drawn as centred text over it, two boxes and four buttons. All
// rules are in session::CLoginDlg; this widget shows and forwards.
#pragma once

#include "platform/message_box.h"
#include "platform/system_open.h"

#include "login_dlg.h"

#include <QDialog>
#include <QPixmap>

#include <functional>
#include <memory>

class QLineEdit;
class QPushButton;

namespace quillora::ui {

class LoginDialog : public QDialog, public session::LoginView {
    Q_OBJECT
  public:
    // Runs the registration dialog; true when it ended accepted.
    using Registration = std::function<bool(QWidget *parent)>;

    // Without a registration runner, "Free Registration" stays disabled.
    LoginDialog(const service::SiteAddress &site, platform::MessageBoxes &messages, platform::SystemOpener &opener,
                const session::RememberedCredentials &store, session::SignInQuota &quota,
                Registration registration = {}, QWidget *parent = nullptr);
    ~LoginDialog() override;

    session::CLoginDlg &rules() { return *m_rules; }

    QLineEdit *userNameEdit() const { return m_userName; }
    QLineEdit *passwordEdit() const { return m_password; }
    QPushButton *signInButton() const { return m_signIn; }
    QPushButton *registrationButton() const { return m_register; }
    QPushButton *forgotPasswordButton() const { return m_forgot; }
    QPushButton *cancelButton() const { return m_cancel; }

    // session::LoginView
    QString userNameText() const override;
    QString passwordText() const override;
    void setUserNameText(const QString &text) override;
    void setPasswordText(const QString &text) override;
    void focusUserName(bool selectAll) override;
    void focusPassword(bool selectAll) override;
    void setRegistrationEnabled(bool enabled) override;
    void setForgotPasswordEnabled(bool enabled) override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    void applyFocus();
    void runRegistration();

    QPixmap m_background;
    QLineEdit *m_userName = nullptr;
    QLineEdit *m_password = nullptr;
    QPushButton *m_signIn = nullptr;
    QPushButton *m_register = nullptr;
    QPushButton *m_forgot = nullptr;
    QPushButton *m_cancel = nullptr;
    Registration m_registration;
    QLineEdit *m_focusTarget = nullptr;
    bool m_focusSelectAll = false;
    std::unique_ptr<session::CLoginDlg> m_rules;
};

} // namespace quillora::ui
