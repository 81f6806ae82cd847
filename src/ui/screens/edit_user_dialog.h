// The "Edit Profile" dialog: user name (read-only), new password and its
// confirmation, nickname, e-mail, the picture list with the "Custom image"
// button, and "Submit" / "Cancel". All rules are in session::CEditUser; this
// widget shows and forwards.
#pragma once

#include "platform/file_prompt.h"
#include "platform/message_box.h"

#include "edit_user.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace quillora::ui {

// The picture list: the 24 built-in head pictures, number n at position n - 1.
QComboBox *newHeadPictureChoice(QWidget *parent);

class EditUserDialog : public QDialog, public session::EditUserView {
    Q_OBJECT
  public:
    EditUserDialog(session::EditUserSetup setup, int userID, platform::MessageBoxes &messages,
                   platform::FilePrompts &files, QWidget *parent = nullptr);
    ~EditUserDialog() override;

    session::CEditUser &rules() { return *m_rules; }

    QLineEdit *userNameEdit() const { return m_userName; }
    QLineEdit *passwordEdit() const { return m_password; }
    QLineEdit *confirmationEdit() const { return m_confirmation; }
    QLineEdit *nicknameEdit() const { return m_nickname; }
    QLineEdit *emailEdit() const { return m_email; }
    QComboBox *pictureChoice() const { return m_pictures; }
    QLabel *customPictureLabel() const { return m_customPicture; }
    QPushButton *customImageButton() const { return m_customButton; }
    QPushButton *submitButton() const { return m_submit; }
    QPushButton *cancelButton() const { return m_cancel; }

    // session::EditUserView
    void setUserNameText(const QString &text) override;
    QString newPasswordText() const override;
    void setNewPasswordText(const QString &text) override;
    QString confirmationText() const override;
    void setConfirmationText(const QString &text) override;
    QString nicknameText() const override;
    void setNicknameText(const QString &text) override;
    QString emailText() const override;
    void setEmailText(const QString &text) override;
    int pictureIndex() const override;
    void setPictureIndex(int index) override;
    void setCustomImageEnabled(bool enabled) override;
    void setSubmitEnabled(bool enabled) override;
    void showCustomPicture(const QString &path) override;
    void focusField(session::EditUserField field, bool selectAll) override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void applyFocus();

    QLineEdit *m_userName = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_confirmation = nullptr;
    QLineEdit *m_nickname = nullptr;
    QLineEdit *m_email = nullptr;
    QStackedWidget *m_pictureStack = nullptr;
    QComboBox *m_pictures = nullptr;
    QLabel *m_customPicture = nullptr;
    QPushButton *m_customButton = nullptr;
    QPushButton *m_submit = nullptr;
    QPushButton *m_cancel = nullptr;
    QLineEdit *m_focusTarget = nullptr;
    bool m_focusSelectAll = false;
    std::unique_ptr<session::CEditUser> m_rules;
};

// Opens "Edit Profile" modally over `parent`. True when the service took the
// change; `change` (when given) then holds the new values.
bool execEditUserDialog(session::EditUserSetup setup, int userID, platform::MessageBoxes &messages,
                        platform::FilePrompts &files, QWidget *parent, session::ProfileChange *change = nullptr);

} // namespace quillora::ui
