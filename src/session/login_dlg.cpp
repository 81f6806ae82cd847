#include "login_dlg.h"

#include "platform/message_box.h"
#include "platform/system_open.h"
#include "varnel_services.h"

namespace quillora::session {

using service::CVarnelServices;
using service::Op;
using service::succeeded;

CLoginDlg::CLoginDlg(const service::SiteAddress &site, LoginView &view, platform::MessageBoxes &messages,
                     platform::SystemOpener &opener, const RememberedCredentials &store, SignInQuota &quota)
    : m_site(site), m_view(view), m_messages(messages), m_opener(opener), m_store(store), m_quota(quota)
{
}

void CLoginDlg::message(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::None, m_view.messageOwner());
}

void CLoginDlg::onInitDialog()
{
    m_view.setForgotPasswordEnabled(false);
    m_view.setRegistrationEnabled(true);
    loadRemembered();
}

void CLoginDlg::loadRemembered()
{
    const LoadedCredentials loaded = m_store.load();
    if (loaded.found)
        m_view.setRegistrationEnabled(false);
    if (loaded.badRecord) {
        message(badConfigFileMessage());
        return;
    }
    m_rememberedUserName = loaded.userName;
    m_rememberedPassword = loaded.password;
    if (loaded.show) {
        m_userName = loaded.userName;
        m_view.setUserNameText(loaded.userName);
        m_view.focusPassword(false);
    }
}

void CLoginDlg::rejectUserName()
{
    m_view.focusUserName(true);
    message(wrongUserNameMessage());
    ++m_quota.failed;
}

void CLoginDlg::rejectPassword()
{
    message(wrongPasswordMessage());
    m_view.focusPassword(true);
    ++m_quota.failed;
}

void CLoginDlg::onSignIn()
{
    if (m_quota.failed > 0)
        m_view.setForgotPasswordEnabled(true);
    if (m_quota.failed >= SignInQuota::kLimit) {
        message(quotaMessage());
        m_view.endDialog(false);
        return;
    }

    m_userName = m_view.userNameText().trimmed();
    m_password = m_view.passwordText().trimmed();
    m_view.setUserNameText(m_userName);
    m_view.setPasswordText(m_password);

    if (m_userName.isEmpty()) {
        message(emptyUserNameMessage());
        m_view.focusUserName(false);
        return;
    }
    if (m_password.isEmpty()) {
        message(emptyPasswordMessage());
        m_view.focusPassword(false);
        return;
    }

    // Only the remembered member signs in on this machine; his password is
    // checked against the remembered copy (start-up asks the service again).
    if (!m_rememberedUserName.isEmpty() && !m_rememberedPassword.isEmpty()) {
        if (m_userName != m_rememberedUserName) {
            rejectUserName();
            return;
        }
        if (m_password == m_rememberedPassword)
            m_view.endDialog(true);
        else
            rejectPassword();
        return;
    }

    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::IsUserExistsByName);
        bool exists = false;
        if (!succeeded(proxy.IsUserExistsByName(m_userName, &exists))) {
            message(service::connectFailedMessage());
            return;
        }
        if (!exists) {
            rejectUserName();
            return;
        }
    }
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::GetUserByUserName);
        QString document;
        if (!succeeded(proxy.GetUserByUserName(m_userName, m_password, &document))) {
            rejectPassword();
            return;
        }
    }

    switch (m_store.remember(m_userName, m_password)) {
    case RememberStatus::Ok:
        break;
    case RememberStatus::KeyFailed:
        // The settings file cannot be written (a read-only or full disk):
        // nothing was written, so sign in without remembering the pair
        // rather than keep the dialog open for ever.
        m_messages.ok(cannotRememberMessage(), platform::programTitle(), platform::MessageIcon::Information,
                      m_view.messageOwner());
        break;
    case RememberStatus::FileFailed:
        message(fileFailedMessage());
        return;
    case RememberStatus::TooLong:
        // The record cannot hold this pair; sign in without remembering it.
        m_messages.ok(tooLongToRememberMessage(), platform::programTitle(), platform::MessageIcon::Information,
                      m_view.messageOwner());
        break;
    }
    m_view.endDialog(true);
}

void CLoginDlg::onForgotPassword()
{
    m_opener.openUrl(service::siteUrl(m_site, QStringLiteral("/Quillora/Password.htm")));
}

void CLoginDlg::onRegistrationEnded(bool accepted)
{
    if (accepted)
        loadRemembered();
}

void CLoginDlg::onCancel()
{
    m_view.endDialog(false);
}

} // namespace quillora::session
