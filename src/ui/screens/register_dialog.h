// The sign-up dialog "Quillora 2007 Sign-Up": a banner across the top, the
// groups "Compulsory" and "Optional" side by side, "Submit" and "Reset". All
// rules are in session::CRegisterDlg; this widget shows and forwards.
#pragma once

#include "platform/message_box.h"

#include "register_dlg.h"

#include <QDialog>
#include <QPixmap>
#include <QPointer>

#include <map>
#include <memory>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillora::ui {

class CIconComboBox;
class CRegWaitDlg;

class RegisterDialog : public QDialog, public session::RegisterView {
    Q_OBJECT
  public:
    RegisterDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                   const session::RememberedCredentials &store, const session::MachineSources &machine,
                   QWidget *parent = nullptr);
    ~RegisterDialog() override;

    session::CRegisterDlg &rules() { return *m_rules; }

    QLineEdit *edit(session::RegisterField field) const { return m_edits.at(field); }
    CIconComboBox *pictureList() const { return m_pictures; }
    QRadioButton *maleButton() const { return m_male; }
    QRadioButton *femaleButton() const { return m_female; }
    QPushButton *submitButton() const { return m_submit; }
    QPushButton *resetButton() const { return m_reset; }

    // session::RegisterView
    session::RegisterForm form() const override;
    void setText(session::RegisterField field, const QString &text) override;
    void setPictureId(int pictureId) override;
    void setMale(bool male) override;
    void focusField(session::RegisterField field, bool selectAll) override;
    void setSubmitEnabled(bool enabled) override;
    void setBusy(bool busy) override;
    void showWaitWindow() override;
    void closeWaitWindow() override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

  protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    void applyFocus();

    QPixmap m_banner;
    std::map<session::RegisterField, QLineEdit *> m_edits;
    CIconComboBox *m_pictures = nullptr;
    QRadioButton *m_male = nullptr;
    QRadioButton *m_female = nullptr;
    QPushButton *m_submit = nullptr;
    QPushButton *m_reset = nullptr;
    QPointer<CRegWaitDlg> m_wait;
    bool m_busy = false;
    QLineEdit *m_focusTarget = nullptr;
    bool m_focusSelectAll = false;
    std::unique_ptr<session::CRegisterDlg> m_rules;
};

} // namespace quillora::ui
