// CEditUser: the rules of the "Edit Profile" dialog. The signed-in member
// changes the password, nickname, e-mail address and head image number; a
// star expert (grade above 5) may also upload a custom 32x32 bitmap as head
// image. The widget shows the fields and forwards the buttons here; every
// message, focus change and the dialog's end go back through EditUserView and
// MessageBoxes, so the rules run without a window.
//
// A changed password is remembered on this machine only once the service
// has accepted it: with remembered credentials the sign-in check is local,
// so a remembered password the service does not hold would lock the member
// out. For the same reason, when the new password cannot be remembered (the
// pair does not fit the record, the settings file cannot be written, the
// profile gave no user name) the old pair is removed, and the next sign-in
// asks the service.
#pragma once

#include "ftp_upload.h"
#include "remembered_credentials.h"
#include "site_config.h"

#include <QObject>
#include <QString>

namespace quillora::platform {
class MessageBoxes;
class FilePrompts;
} // namespace quillora::platform

namespace quillora::session {

// Field positions in the profile User record (GetUserByUserID).
inline constexpr int kProfileUserNameField = 1;
inline constexpr int kProfilePasswordField = 2;
inline constexpr int kProfileNicknameField = 3;
inline constexpr int kProfileEmailField = 4;
inline constexpr int kProfileFaceField = 5;
inline constexpr int kProfileGradeField = 9;

// Grades above this may upload a custom head image.
inline constexpr int kCustomImageMinGrade = 6;
inline constexpr int kMinPasswordLength = 6;
inline constexpr int kMaxPasswordLength = 16;

enum class EditUserField { NewPassword, Confirmation, Nickname, Email };

// What the rules need of the dialog's window.
class EditUserView {
  public:
    virtual ~EditUserView() = default;
    virtual void setUserNameText(const QString &text) = 0;
    virtual QString newPasswordText() const = 0;
    virtual void setNewPasswordText(const QString &text) = 0;
    virtual QString confirmationText() const = 0;
    virtual void setConfirmationText(const QString &text) = 0;
    virtual QString nicknameText() const = 0;
    virtual void setNicknameText(const QString &text) = 0;
    virtual QString emailText() const = 0;
    virtual void setEmailText(const QString &text) = 0;
    // Position in the list of the 24 built-in pictures (number n at n - 1);
    // -1 when nothing is chosen.
    virtual int pictureIndex() const = 0;
    virtual void setPictureIndex(int index) = 0;
    virtual void setCustomImageEnabled(bool enabled) = 0;
    virtual void setSubmitEnabled(bool enabled) = 0;
    // Shows the custom picture in the file `path` in place of the picture list.
    virtual void showCustomPicture(const QString &path) = 0;
    virtual void focusField(EditUserField field, bool selectAll) = 0;
    virtual void endDialog(bool accepted) = 0;
    virtual QObject *messageOwner() = 0;
};

// The first rule a profile breaks, in the order they are checked.
enum class ProfileRule {
    Ok,
    EmptyPassword,
    PasswordLength,
    PasswordMismatch,
    EmptyNickname,
    EmptyEmail,
    InvalidEmail,
};

// Checks the form. `password`, `nickname` and `email` are the stripped texts;
// `confirmation` is compared as typed.
ProfileRule checkProfile(const QString &password, const QString &confirmation, const QString &nickname,
                         const QString &email);
// ".+@.+\.[a-z]+" over the whole address, letters of the last part in lower case.
bool isEmailAddress(const QString &email);

// Everything the dialog talks to besides its window.
struct EditUserSetup {
    service::SiteAddress site;
    FtpConnection ftp;
    QString customFaceDirectory; // the head image cache
    RememberedCredentials credentials;
};

// What a successful "Submit" changed, for the main frame's member values.
struct ProfileChange {
    QString password;
    QString nickname;
    QString email;
    int headImage = 0; // picture position + 1
};

class CEditUser {
  public:
    CEditUser(EditUserSetup setup, int userID, EditUserView &view, platform::MessageBoxes &messages,
              platform::FilePrompts &files);

    // Loads the profile with GetUserByUserID and fills the form.
    void onInitDialog();
    // "Submit": the checks in order, the e-mail check with the service when
    // the address changed, EditUserInformation; ends the dialog accepted when
    // the service took the change.
    void onSubmit();
    // "Custom image": asks for a bitmap, checks it, uploads it, caches it and
    // has the service mark the member's custom picture.
    void onCustomImage();
    void onCancel();

    int userID() const { return m_userID; }
    int grade() const { return m_grade; }
    bool customImageAllowed() const { return m_grade >= kCustomImageMinGrade; }
    const ProfileChange &change() const { return m_change; }
    bool customImageUploaded() const { return m_customUploaded; }
    // Path of the member's picture in the head image cache.
    QString cachedPicturePath() const;

    static QString captionText() { return QStringLiteral("Edit Profile"); }
    static QString messageFor(ProfileRule rule); // empty for Ok
    static QString fileFilter() { return QStringLiteral("bmp file(*.bmp)"); }
    static QString notRememberedMessage()
    {
        return QStringLiteral("Your new password cannot be remembered on this computer. "
                              "You will be asked for your user name and password when you next sign in.");
    }
    // The old pair could not be removed from `path` either.
    static QString staleRememberedMessage(const QString &path)
    {
        return QStringLiteral("Your new password cannot be remembered on this computer, and the old one could not "
                              "be removed from %1.\nRemove that file before you next sign in: until then this "
                              "computer only takes your old password.")
            .arg(path);
    }

  private:
    void warn(const QString &text); // validation: captioned "Warning"
    void fail(const QString &text); // failures: captioned with the program title
    void inform(const QString &text);
    void stop(ProfileRule rule);
    void rememberPassword(const QString &password);

    EditUserSetup m_setup;
    int m_userID;
    EditUserView &m_view;
    platform::MessageBoxes &m_messages;
    platform::FilePrompts &m_files;
    QString m_userName;
    QString m_currentPassword;
    QString m_currentEmail;
    int m_face = 0; // the stored head image number, kept when no picture is chosen
    int m_grade = 0;
    ProfileChange m_change;
    bool m_customUploaded = false;
};

} // namespace quillora::session
