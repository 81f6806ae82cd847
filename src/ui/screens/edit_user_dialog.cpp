#include "edit_user_dialog.h"

#include "dialog_form.h"
#include "head_image_pictures.h"
#include "icon_combo_box.h"
#include "ui_resources.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quillora::ui {

QComboBox *newHeadPictureChoice(QWidget *parent)
{
    // The 24 built-in pictures in picture order: entry i is picture i + 1.
    auto *combo = new CIconComboBox(parent);
    combo->addHeadImages();
    return combo;
}

EditUserDialog::EditUserDialog(session::EditUserSetup setup, int userID, platform::MessageBoxes &messages,
                               platform::FilePrompts &files, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(session::CEditUser::captionText());
    setWindowIcon(programIcon());

    m_userName = new QLineEdit(this);
    m_userName->setReadOnly(true);
    m_userName->setFocusPolicy(Qt::ClickFocus);
    m_password = limitedEdit(this, 64, true);
    m_confirmation = limitedEdit(this, 64, true);
    m_nickname = limitedEdit(this, 64);
    m_email = limitedEdit(this, 128);

    m_pictures = newHeadPictureChoice(this);
    m_pictures->setAccessibleName(QStringLiteral("Pick your image"));
    // Shown while no picture is chosen (a stored number outside 1..24).
    m_pictures->setPlaceholderText(QStringLiteral("None"));
    m_customPicture = new QLabel(this);
    m_customPicture->setFixedSize(36, 36);
    m_customPicture->setAlignment(Qt::AlignCenter);
    m_customPicture->setFrameShape(QFrame::StyledPanel);
    m_customPicture->setAccessibleName(QStringLiteral("Custom image"));
    m_pictureStack = new QStackedWidget(this);
    m_pictureStack->addWidget(m_pictures);
    auto *customHolder = new QWidget(this);
    auto *customRow = new QHBoxLayout(customHolder);
    customRow->setContentsMargins(0, 0, 0, 0);
    customRow->addWidget(m_customPicture);
    customRow->addStretch(1);
    m_pictureStack->addWidget(customHolder);
    m_pictureStack->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_customButton = new QPushButton(QStringLiteral("Custom &image"), this);
    m_customButton->setEnabled(false);
    m_customButton->setAutoDefault(false);

    auto *note = new QLabel(QStringLiteral("Only star expert can select custom image(32x32 bmp)"), this);
    note->setForegroundRole(QPalette::PlaceholderText);
    note->setWordWrap(true);

    auto *form = formGrid();
    addFormRow(form, 0, QStringLiteral("&Username:(6-16 characters)"), m_userName, 2);
    addFormRow(form, 1, QStringLiteral("&New password:(6-16 characters)"), m_password, 2);
    addFormRow(form, 2, QStringLiteral("C&onfirm password:"), m_confirmation, 2);
    addFormRow(form, 3, QStringLiteral("Nic&kname:"), m_nickname, 2);
    addFormRow(form, 4, QStringLiteral("&Email address:"), m_email, 2);
    form->addWidget(fieldLabel(QStringLiteral("&Pick your image:"), m_pictures, this), 5, 0);
    form->addWidget(m_pictureStack, 5, 1);
    form->addWidget(m_customButton, 5, 2);
    form->addWidget(note, 6, 1, 1, 2);
    m_userName->setAccessibleName(QStringLiteral("Username"));
    m_password->setAccessibleName(QStringLiteral("New password"));
    m_confirmation->setAccessibleName(QStringLiteral("Confirm password"));
    m_nickname->setAccessibleName(QStringLiteral("Nickname"));
    m_email->setAccessibleName(QStringLiteral("Email address"));

    auto *rule = horizontalRule(this);
    auto *buttons = formButtons(this, QStringLiteral("Submit"), m_submit, QStringLiteral("Cancel"), m_cancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(10);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(rule);
    layout->addWidget(buttons);

    setTabChain({m_password, m_confirmation, m_nickname, m_email, m_pictures, m_customButton, m_submit, m_cancel});
    setMinimumWidth(460);
    setFixedHeight(sizeHint().height());

    m_rules = std::make_unique<session::CEditUser>(std::move(setup), userID, *this, messages, files);
    connect(m_submit, &QPushButton::clicked, this, [this] { m_rules->onSubmit(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
    connect(m_customButton, &QPushButton::clicked, this, [this] { m_rules->onCustomImage(); });
    m_rules->onInitDialog();
}

EditUserDialog::~EditUserDialog() = default;

void EditUserDialog::setUserNameText(const QString &text)
{
    m_userName->setText(text);
}
QString EditUserDialog::newPasswordText() const
{
    return m_password->text();
}
void EditUserDialog::setNewPasswordText(const QString &text)
{
    if (m_password->text() != text)
        m_password->setText(text);
}
QString EditUserDialog::confirmationText() const
{
    return m_confirmation->text();
}
void EditUserDialog::setConfirmationText(const QString &text)
{
    m_confirmation->setText(text);
}
QString EditUserDialog::nicknameText() const
{
    return m_nickname->text();
}
void EditUserDialog::setNicknameText(const QString &text)
{
    if (m_nickname->text() != text)
        m_nickname->setText(text);
}
QString EditUserDialog::emailText() const
{
    return m_email->text();
}
void EditUserDialog::setEmailText(const QString &text)
{
    if (m_email->text() != text)
        m_email->setText(text);
}
int EditUserDialog::pictureIndex() const
{
    return m_pictures->currentIndex();
}
void EditUserDialog::setPictureIndex(int index)
{
    m_pictures->setCurrentIndex(index);
}
void EditUserDialog::setCustomImageEnabled(bool enabled)
{
    m_customButton->setEnabled(enabled);
}
void EditUserDialog::setSubmitEnabled(bool enabled)
{
    m_submit->setEnabled(enabled);
}

void EditUserDialog::showCustomPicture(const QString &path)
{
    const QImage picture(path);
    m_customPicture->setPixmap(QPixmap::fromImage(picture));
    m_customPicture->setToolTip(QStringLiteral("Custom image"));
    m_pictureStack->setCurrentIndex(1);
}

void EditUserDialog::focusField(session::EditUserField field, bool selectAll)
{
    using F = session::EditUserField;
    switch (field) {
    case F::NewPassword:
        m_focusTarget = m_password;
        break;
    case F::Confirmation:
        m_focusTarget = m_confirmation;
        break;
    case F::Nickname:
        m_focusTarget = m_nickname;
        break;
    case F::Email:
        m_focusTarget = m_email;
        break;
    }
    m_focusSelectAll = selectAll;
    applyFocus();
}

void EditUserDialog::applyFocus()
{
    if (!isVisible() || !m_focusTarget)
        return; // done when the dialog is shown
    m_focusTarget->setFocus(Qt::OtherFocusReason);
    if (m_focusSelectAll)
        m_focusTarget->selectAll();
}

void EditUserDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void EditUserDialog::reject()
{
    m_rules->onCancel();
}

void EditUserDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyFocus();
}

bool execEditUserDialog(session::EditUserSetup setup, int userID, platform::MessageBoxes &messages,
                        platform::FilePrompts &files, QWidget *parent, session::ProfileChange *change)
{
    EditUserDialog dialog(std::move(setup), userID, messages, files, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (change)
        *change = dialog.rules().change();
    return true;
}

} // namespace quillora::ui
