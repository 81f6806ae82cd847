#include "register_dlg.h"

#include "edit_user.h"

#include "forum/icon_ids.h"
#include "platform/message_box.h"
#include "varnel_services.h"

#include <optional>

namespace quillora::session {

using service::CVarnelServices;
using service::Op;
using service::succeeded;

namespace {

// The answer of one IsUserExistsBy... call: nullopt when the call failed.
std::optional<bool> userExists(const service::SiteAddress &site, Op op, const QString &value)
{
    CVarnelServices proxy(site);
    proxy.useServiceAccount(op);
    bool exists = false;
    const bool ok = op == Op::IsUserExistsByEmail ? succeeded(proxy.IsUserExistsByEmail(value, &exists))
                                                  : succeeded(proxy.IsUserExistsByName(value, &exists));
    if (!ok)
        return std::nullopt;
    return exists;
}

// Texts go out as empty elements, never as nil ones, when a box is empty.
QString wireText(const QString &text)
{
    const QString t = text.trimmed();
    return t.isNull() ? QStringLiteral("") : t;
}

bool lengthFits(const QString &text)
{
    return text.size() >= CRegisterDlg::kMinLength && text.size() <= CRegisterDlg::kMaxLength;
}

} // namespace

CRegisterDlg::CRegisterDlg(const service::SiteAddress &site, RegisterView &view, platform::MessageBoxes &messages,
                           const RememberedCredentials &store, const MachineSources &machine)
    : m_site(site), m_view(view), m_messages(messages), m_store(store), m_machine(machine),
      m_pictureId(forum::headIconId(1))
{
}

bool CRegisterDlg::emailLooksValid(const QString &email)
{
    return isEmailAddress(email); // the same pattern as the profile's
}

QString CRegisterDlg::emptyPasswordMessage()
{
    return CEditUser::messageFor(ProfileRule::EmptyPassword);
}

QString CRegisterDlg::confirmationMessage()
{
    return CEditUser::messageFor(ProfileRule::PasswordMismatch);
}

QString CRegisterDlg::emptyNickNameMessage()
{
    return CEditUser::messageFor(ProfileRule::EmptyNickname);
}

QString CRegisterDlg::emptyEmailMessage()
{
    return CEditUser::messageFor(ProfileRule::EmptyEmail);
}

QString CRegisterDlg::invalidEmailMessage()
{
    return CEditUser::messageFor(ProfileRule::InvalidEmail);
}

void CRegisterDlg::onInitDialog()
{
    m_view.setPictureId(m_pictureId);
    m_view.setMale(true);
    m_view.setSubmitEnabled(true);
    m_view.focusField(RegisterField::UserName, false);
}

void CRegisterDlg::onReset()
{
    for (RegisterField field : {RegisterField::UserName, RegisterField::Password, RegisterField::Confirmation,
                                RegisterField::NickName, RegisterField::Email, RegisterField::PersonalName,
                                RegisterField::Phone, RegisterField::Recommender, RegisterField::Address})
        m_view.setText(field, QString());
    m_view.setMale(true);
    m_view.setPictureId(m_pictureId);
}

void CRegisterDlg::message(const QString &text, const QString &caption)
{
    m_messages.ok(text, caption, platform::MessageIcon::None, m_view.messageOwner());
}

void CRegisterDlg::stop(const QString &text, const QString &caption, bool focus, RegisterField field, bool selectAll)
{
    m_view.closeWaitWindow();
    m_view.setBusy(false);
    m_view.setSubmitEnabled(true);
    message(text, caption);
    if (focus)
        m_view.focusField(field, selectAll);
}

QString CRegisterDlg::stripped(RegisterField field, const QString &typed)
{
    const QString text = typed.trimmed();
    if (text != typed)
        m_view.setText(field, text);
    return text;
}

void CRegisterDlg::onSubmit()
{
    m_view.setSubmitEnabled(false);
    m_view.setBusy(true);
    m_view.showWaitWindow();
    const RegisterForm form = m_view.form();
    m_pictureId = form.pictureId;

    const QString userName = stripped(RegisterField::UserName, form.userName);
    if (userName.isEmpty())
        return warn(emptyUserNameMessage(), RegisterField::UserName);
    if (!lengthFits(userName))
        return warn(userNameLengthMessage(), RegisterField::UserName);
    const std::optional<bool> nameTaken = userExists(m_site, Op::IsUserExistsByName, userName);
    if (!nameTaken)
        return stop(service::connectFailedMessage(), platform::programTitle());
    if (*nameTaken)
        return warn(userNameTakenMessage(), RegisterField::UserName, true);

    const QString password = stripped(RegisterField::Password, form.password);
    if (password.isEmpty())
        return warn(emptyPasswordMessage(), RegisterField::Password);
    if (!lengthFits(password))
        return warn(passwordLengthMessage(), RegisterField::Password, true);
    // The confirmation is compared as typed.
    if (password != form.confirmation)
        return warn(confirmationMessage(), RegisterField::Confirmation, true);

    const QString nickName = stripped(RegisterField::NickName, form.nickName);
    if (nickName.isEmpty())
        return warn(emptyNickNameMessage(), RegisterField::NickName);

    const QString email = stripped(RegisterField::Email, form.email);
    if (email.isEmpty())
        return warn(emptyEmailMessage(), RegisterField::Email);
    if (!emailLooksValid(email))
        return warn(invalidEmailMessage(), RegisterField::Email, true);
    const std::optional<bool> emailTaken = userExists(m_site, Op::IsUserExistsByEmail, email);
    if (!emailTaken)
        return stop(service::connectFailedMessage(), platform::programTitle());
    if (*emailTaken)
        return warn(emailTakenMessage(), RegisterField::Email, true);

    const QString recommender = stripped(RegisterField::Recommender, form.recommender);
    if (!recommender.isEmpty()) {
        const std::optional<bool> known = userExists(m_site, Op::IsUserExistsByName, recommender);
        if (!known)
            return stop(service::connectFailedMessage(), platform::programTitle());
        if (!*known)
            return warn(noRecommenderMessage(), RegisterField::Recommender, true);
    }

    const MachineIdentity identity = machineIdentity(m_machine);
    if (identity.adapter == AdapterQuery::Status::NoAdapters)
        message(noAdapterMessage(), platform::programTitle());
    else if (identity.adapter == AdapterQuery::Status::Unsupported)
        message(adapterQueryUnsupportedMessage(), platform::programTitle());

    // The list shows the built-in pictures in order: picture n sits at position n - 1.
    const int picture = forum::headPictureOfIcon(form.pictureId);
    m_sentFace = QString::number(picture > 0 ? picture : 1);
    m_sentIdentity = identity.text;

    bool created = false;
    bool callOk = false;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::CreateNewUser);
        callOk = succeeded(
            proxy.CreateNewUser(wireText(userName), wireText(password), wireText(nickName), form.male ? 1 : 0,
                                wireText(email), m_sentFace, wireText(form.personalName), wireText(form.address),
                                wireText(form.phone), wireText(recommender), wireText(m_sentIdentity), &created));
    }
    m_view.closeWaitWindow();
    m_view.setBusy(false);

    if (!callOk) {
        message(createFailedMessage(), platform::programTitle());
        m_view.setSubmitEnabled(true);
        return;
    }
    if (!created) {
        message(refusedMessage(), platform::programTitle());
        m_view.endDialog(false);
        return;
    }

    switch (m_store.remember(userName, password)) {
    case RememberStatus::Ok:
        break;
    case RememberStatus::KeyFailed:
    case RememberStatus::FileFailed:
        // The member exists on the service; only this machine does not
        // remember him. Keeping the dialog would only invite a second
        // "Submit" that the service refuses as a taken name: he is
        // registered, and signs in by typing his name and password.
        m_messages.ok(registeredNotRememberedMessage(), platform::programTitle(), platform::MessageIcon::Information,
                      m_view.messageOwner());
        m_view.endDialog(true);
        return;
    case RememberStatus::TooLong:
        m_messages.ok(tooLongToRememberMessage(), platform::programTitle(), platform::MessageIcon::Information,
                      m_view.messageOwner());
        break;
    }
    message(registeredMessage(), platform::programTitle());
    m_view.endDialog(true);
}

} // namespace quillora::session
