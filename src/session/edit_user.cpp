#include "edit_user.h"

#include "custom_face_bitmap.h"
#include "head_images.h"
#include "result_document.h"
#include "varnel_services.h"

#include "platform/file_prompt.h"
#include "platform/message_box.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace quillora::session {

using service::CVarnelServices;
using service::Op;

bool isEmailAddress(const QString &email)
{
    // The whole text must match; a line break is never part of an address.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral(".+@.+\\.[a-z]+")));
    return pattern.match(email).hasMatch();
}

ProfileRule checkProfile(const QString &password, const QString &confirmation, const QString &nickname,
                         const QString &email)
{
    if (password.isEmpty())
        return ProfileRule::EmptyPassword;
    if (password.size() < kMinPasswordLength || password.size() > kMaxPasswordLength)
        return ProfileRule::PasswordLength;
    if (password != confirmation)
        return ProfileRule::PasswordMismatch;
    if (nickname.isEmpty())
        return ProfileRule::EmptyNickname;
    if (email.isEmpty())
        return ProfileRule::EmptyEmail;
    if (!isEmailAddress(email))
        return ProfileRule::InvalidEmail;
    return ProfileRule::Ok;
}

QString CEditUser::messageFor(ProfileRule rule)
{
    switch (rule) {
    case ProfileRule::Ok:
        break;
    case ProfileRule::EmptyPassword:
        return QStringLiteral("You must enter a password");
    case ProfileRule::PasswordLength:
        return QStringLiteral("Password must be between 6 and 16 characters");
    case ProfileRule::PasswordMismatch:
        return QStringLiteral("The password and confirmation password do not match");
    case ProfileRule::EmptyNickname:
        return QStringLiteral("You must enter a nickname");
    case ProfileRule::EmptyEmail:
        return QStringLiteral("Please enter your Email Address");
    case ProfileRule::InvalidEmail:
        return QStringLiteral("You have entered an invalid email address");
    }
    return {};
}

CEditUser::CEditUser(EditUserSetup setup, int userID, EditUserView &view, platform::MessageBoxes &messages,
                     platform::FilePrompts &files)
    : m_setup(std::move(setup)), m_userID(userID), m_view(view), m_messages(messages), m_files(files)
{
}

void CEditUser::warn(const QString &text)
{
    m_messages.ok(text, QStringLiteral("Warning"), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CEditUser::fail(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CEditUser::inform(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Information, m_view.messageOwner());
}

QString CEditUser::cachedPicturePath() const
{
    const QString name = customFaceFileName(QString::number(m_userID));
    return name.isEmpty() ? QString() : QDir(m_setup.customFaceDirectory).filePath(name);
}

void CEditUser::onInitDialog()
{
    const auto finish = [this] { m_view.focusField(EditUserField::NewPassword, false); };

    QString document;
    {
        CVarnelServices proxy(m_setup.site);
        proxy.useServiceAccount(Op::GetUserByUserID);
        if (!service::succeeded(proxy.GetUserByUserID(m_userID, &document))) {
            fail(QStringLiteral("Failed to get user data from server, please try again later!"));
            finish();
            return;
        }
    }
    const service::DocumentRecords read =
        service::readRecords(document, service::kUserTag, 1, service::kProfileUserFields);
    if (read.status != service::DocumentStatus::Ok) {
        fail(service::documentStatusMessage(read.status));
        finish();
        return;
    }
    if (!read.records.empty()) {
        const service::DocumentRecord &user = read.records.front();
        service::takeField(user, kProfileUserNameField, m_userName);
        service::takeField(user, kProfilePasswordField, m_currentPassword);
        service::takeField(user, kProfileEmailField, m_currentEmail);
        service::takeField(user, kProfileFaceField, m_face);
        service::takeField(user, kProfileGradeField, m_grade);
        QString nickname;
        service::takeField(user, kProfileNicknameField, nickname);

        m_view.setUserNameText(m_userName);
        m_view.setNewPasswordText(m_currentPassword);
        m_view.setConfirmationText(m_currentPassword);
        m_view.setNicknameText(nickname);
        m_view.setEmailText(m_currentEmail);
        // A number outside 1..24 (0: never chosen) selects no picture, so
        // that a "Submit" that does not pick one keeps the stored number.
        m_view.setPictureIndex(m_face >= 1 && m_face <= kBuiltInHeadCount ? m_face - 1 : -1);
    }
    if (customImageAllowed()) {
        m_view.setCustomImageEnabled(true);
        const QString cached = cachedPicturePath();
        if (!cached.isEmpty() && QFileInfo(cached).isFile())
            m_view.showCustomPicture(cached);
    }
    finish();
}

void CEditUser::stop(ProfileRule rule)
{
    warn(messageFor(rule));
    m_view.setSubmitEnabled(true);
    switch (rule) {
    case ProfileRule::EmptyPassword:
    case ProfileRule::PasswordLength:
        m_view.focusField(EditUserField::NewPassword, false);
        break;
    case ProfileRule::PasswordMismatch:
        m_view.focusField(EditUserField::Confirmation, false);
        break;
    case ProfileRule::EmptyNickname:
        m_view.focusField(EditUserField::Nickname, false);
        break;
    case ProfileRule::EmptyEmail:
        m_view.focusField(EditUserField::Email, false);
        break;
    case ProfileRule::InvalidEmail:
        m_view.focusField(EditUserField::Email, true);
        break;
    case ProfileRule::Ok:
        break;
    }
}

void CEditUser::onSubmit()
{
    m_view.setSubmitEnabled(false);
    const QString password = m_view.newPasswordText().trimmed();
    const QString confirmation = m_view.confirmationText();
    const QString nickname = m_view.nicknameText().trimmed();
    const QString email = m_view.emailText().trimmed();
    m_view.setNewPasswordText(password);
    m_view.setNicknameText(nickname);
    m_view.setEmailText(email);

    const ProfileRule rule = checkProfile(password, confirmation, nickname, email);
    if (rule != ProfileRule::Ok) {
        stop(rule);
        return;
    }

    if (email != m_currentEmail) {
        bool taken = false;
        CVarnelServices proxy(m_setup.site);
        proxy.useServiceAccount(Op::IsUserExistsByEmail);
        if (!service::succeeded(proxy.IsUserExistsByEmail(email, &taken))) {
            fail(service::connectFailedMessage());
            m_view.setSubmitEnabled(true);
            return;
        }
        if (taken) {
            warn(QStringLiteral("The email already exits in our database. "));
            m_view.setSubmitEnabled(true);
            m_view.focusField(EditUserField::Email, true);
            return;
        }
    }

    const int picked = m_view.pictureIndex();
    const int face = picked >= 0 ? picked + 1 : m_face;
    {
        bool ignored = false;
        CVarnelServices proxy(m_setup.site);
        proxy.useServiceAccount(Op::EditUserInformation);
        if (!service::succeeded(
                proxy.EditUserInformation(m_userID, password, nickname, email, QString::number(face), &ignored))) {
            fail(QStringLiteral("Network Failure (unable to connect)"));
            m_view.setSubmitEnabled(true);
            return;
        }
    }
    m_change = ProfileChange{password, nickname, email, face};
    if (password != m_currentPassword)
        rememberPassword(password);
    m_currentPassword = password;
    m_currentEmail = email;
    m_face = face;
    m_view.endDialog(true);
}

void CEditUser::rememberPassword(const QString &password)
{
    // The service holds the new password already: the dialog ends accepted
    // whatever happens here, so the main frame takes the new password.
    // Without the user name (the profile did not load) there is nothing to
    // remember it under.
    const RememberStatus status =
        m_userName.isEmpty() ? RememberStatus::KeyFailed : m_setup.credentials.remember(m_userName, password);
    switch (status) {
    case RememberStatus::Ok:
        return;
    case RememberStatus::FileFailed:
        // The settings file, read first at sign-in, holds the new pair; the
        // stale record must not come back should that file ever go.
        QFile::remove(m_setup.credentials.paths().recordFile);
        fail(QStringLiteral("Failed to open file!"));
        return;
    case RememberStatus::KeyFailed:
    case RememberStatus::TooLong:
        // The old pair would be checked at the next sign-in and refuse the
        // password the service now holds.
        if (m_setup.credentials.forget())
            inform(notRememberedMessage());
        else
            fail(staleRememberedMessage(m_setup.credentials.paths().settingsFile));
        return;
    }
}

void CEditUser::onCancel()
{
    m_view.endDialog(false);
}

void CEditUser::onCustomImage()
{
    if (!customImageAllowed())
        return;
    const QString chosen = m_files.openFileName({QStringLiteral("Open"), fileFilter(), m_view.messageOwner()});
    if (chosen.isEmpty())
        return;

    const QString notBitmap = QStringLiteral("You entered an invalid image, .bmp file only!");
    QFile file(chosen);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxCustomFaceBytes) {
        warn(notBitmap);
        return;
    }
    const QByteArray data = file.read(kMaxCustomFaceBytes + 1);
    file.close();
    switch (checkCustomFace(data)) {
    case CustomFaceCheck::Ok:
        break;
    case CustomFaceCheck::NotBitmap:
        warn(notBitmap);
        return;
    case CustomFaceCheck::WrongSize:
        warn(QStringLiteral("You entered an invalid image, 32x32 pixels only!"));
        return;
    }

    const QString name = customFaceFileName(QString::number(m_userID));
    const FtpUploadResult upload =
        name.isEmpty() ? FtpUploadResult{}
                       : ftpUpload(m_setup.ftp, QString::fromLatin1(kCustomFaceFtpDirectory) + name, data);
    if (!upload.ok) {
        fail(QStringLiteral("Failed to update your head image!please try again later"));
        return;
    }
    m_customUploaded = true;

    // The cache copy replaces any earlier one; when it cannot be written the
    // picture is shown from the chosen file.
    QString shown = chosen;
    if (ensureCustomFaceDirectory(m_setup.customFaceDirectory)) {
        QSaveFile copy(cachedPicturePath());
        if (copy.open(QIODevice::WriteOnly) && copy.write(data) == data.size() && copy.commit())
            shown = cachedPicturePath();
    }
    m_view.showCustomPicture(shown);

    CVarnelServices proxy(m_setup.site);
    proxy.useServiceAccount(Op::Authenticate);
    if (!service::succeeded(proxy.Authenticate(m_userID))) {
        fail(service::connectFailedMessage());
        return;
    }
    inform(QStringLiteral("Head image has been successfully updated!"));
}

} // namespace quillora::session
