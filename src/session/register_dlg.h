// CRegisterDlg: the rules of the sign-up dialog "Quillora 2007 Sign-Up". The
// widget shows the form and forwards "Submit" and "Reset" here; every check,
// message, focus change and the service calls run here, through RegisterView
// and MessageBoxes, so the rules run without a window.
#pragma once

#include "machine_identity.h"
#include "remembered_credentials.h"
#include "site_config.h"

#include <QObject>
#include <QString>

namespace quillora::platform {
class MessageBoxes;
} // namespace quillora::platform

namespace quillora::session {

// The boxes of the form that a rule can point the member at.
enum class RegisterField {
    UserName,
    Password,
    Confirmation,
    NickName,
    Email,
    PersonalName,
    Phone,
    Recommender,
    Address
};

// What the form holds, as typed.
struct RegisterForm {
    QString userName;
    QString password;
    QString confirmation;
    QString nickName;
    QString email;
    QString personalName;
    QString phone;
    QString recommender;
    QString address;
    int pictureId = 0; // resource identifier of the chosen head picture (forum/icon_ids.h)
    bool male = true;
};

// What the rules need of the dialog's window.
class RegisterView {
  public:
    virtual ~RegisterView() = default;
    virtual RegisterForm form() const = 0;
    virtual void setText(RegisterField field, const QString &text) = 0;
    // Selects the entry of a picture identifier in the picture list.
    virtual void setPictureId(int pictureId) = 0;
    virtual void setMale(bool male) = 0;
    // Keyboard focus to a box, with its whole text selected or not.
    virtual void focusField(RegisterField field, bool selectAll) = 0;
    virtual void setSubmitEnabled(bool enabled) = 0;
    // The busy cursor and the wait window "Registration" while submitting.
    virtual void setBusy(bool busy) = 0;
    virtual void showWaitWindow() = 0;
    virtual void closeWaitWindow() = 0;
    virtual void endDialog(bool accepted) = 0;
    // Owner of the dialog's message boxes.
    virtual QObject *messageOwner() = 0;
};

class CRegisterDlg {
  public:
    static constexpr int kMinLength = 6;
    static constexpr int kMaxLength = 16;

    CRegisterDlg(const service::SiteAddress &site, RegisterView &view, platform::MessageBoxes &messages,
                 const RememberedCredentials &store, const MachineSources &machine);

    // The dialog opens: the first picture and "Male" are chosen.
    void onInitDialog();
    // "Submit".
    void onSubmit();
    // "Reset": empty text boxes, "Male", the picture read at the last "Submit".
    void onReset();

    // The e-mail pattern: the whole address matches ".+@.+\.[a-z]+", case-sensitive.
    static bool emailLooksValid(const QString &email);

    // What the last "Submit" sent (or would have sent) as CreateNewUser's
    // `face` and `userGuid`.
    const QString &sentFace() const { return m_sentFace; }
    const QString &sentMachineIdentity() const { return m_sentIdentity; }

    static QString warningCaption() { return QStringLiteral("Warning"); }
    static QString emptyUserNameMessage() { return QStringLiteral("You must enter a username"); }
    static QString userNameLengthMessage() { return QStringLiteral("Username must be between 6 and 16 characters"); }
    static QString userNameTakenMessage()
    {
        return QStringLiteral("The username you entered already exits in our database. ");
    }
    // The fields the profile dialog has too are checked in its words.
    static QString emptyPasswordMessage();
    static QString passwordLengthMessage() { return QStringLiteral("Password must be between 6 and 16 characters !"); }
    static QString confirmationMessage();
    static QString emptyNickNameMessage();
    static QString emptyEmailMessage();
    static QString invalidEmailMessage();
    static QString emailTakenMessage() { return QStringLiteral("The email already exits in our database."); }
    static QString noRecommenderMessage() { return QStringLiteral("Recommender does not exist in member list !"); }
    static QString noAdapterMessage() { return QStringLiteral("No adapter information exists for the local computer"); }
    static QString adapterQueryUnsupportedMessage()
    {
        return QStringLiteral("GetAdaptersInfo is not supported by the operating system running on the local computer");
    }
    static QString createFailedMessage()
    {
        return QStringLiteral(
            "If you have already registered with Quillora, enter your username and password before. ");
    }
    static QString refusedMessage() { return QStringLiteral("Register unsuccessfully, please try again later"); }
    static QString registeredMessage() { return QStringLiteral("You have successfully registered !"); }
    // Registered, but this computer cannot remember the new member.
    static QString registeredNotRememberedMessage()
    {
        return QStringLiteral("You have successfully registered !\n"
                              "Your user name and password cannot be remembered on this computer: "
                              "type them in when you sign in.");
    }
    static QString tooLongToRememberMessage()
    {
        return QStringLiteral("Your user name or password is too long to be remembered on this computer. "
                              "You will be asked for it again next time.");
    }

  private:
    // Ends the submission at a failed check: the wait window goes, then the message.
    void stop(const QString &text, const QString &caption, bool focus = false,
              RegisterField field = RegisterField::UserName, bool selectAll = false);
    void warn(const QString &text, RegisterField field, bool selectAll = false)
    {
        stop(text, warningCaption(), true, field, selectAll);
    }
    void message(const QString &text, const QString &caption);
    // Strips a text box and shows the stripped text in it.
    QString stripped(RegisterField field, const QString &typed);

    service::SiteAddress m_site;
    RegisterView &m_view;
    platform::MessageBoxes &m_messages;
    const RememberedCredentials &m_store;
    const MachineSources &m_machine;

    int m_pictureId = 0; // the picture read at the last "Submit"
    QString m_sentFace;
    QString m_sentIdentity;
};

} // namespace quillora::session
