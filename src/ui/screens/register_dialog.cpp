#include "register_dialog.h"

#include "dialog_form.h"
#include "icon_combo_box.h"
#include "reg_wait_dialog.h"
#include "ui_resources.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillora::ui {

using session::RegisterField;

namespace {

constexpr int kMinimumWidth = 720;
constexpr int kBannerHeight = 84;

} // namespace

RegisterDialog::RegisterDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                               const session::RememberedCredentials &store, const session::MachineSources &machine,
                               QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(QStringLiteral("Quillora 2007 Sign-Up"));
    setWindowIcon(programIcon());
    m_banner.load(QStringLiteral(":/quillora/images/session/register-banner.png"));

    auto makeEdit = [this](RegisterField field, const QString &label, int limit, bool masked) {
        QLineEdit *e = limitedEdit(this, limit, masked);
        e->setAccessibleName(label);
        e->setMinimumWidth(180);
        m_edits[field] = e;
        return e;
    };
    auto addRow = [](QFormLayout *form, const QString &label, QWidget *field) {
        form->addRow(fieldLabel(label, field, form->parentWidget()), field);
    };

    auto *compulsory = new QGroupBox(QStringLiteral("Compulsory"), this);
    auto *left = new QFormLayout(compulsory);
    left->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QString userLabel = QStringLiteral("Username:(6-16 characters)");
    const QString passwordLabel = QStringLiteral("Password:(6-16 characters)");
    addRow(left, userLabel, makeEdit(RegisterField::UserName, userLabel, 16, false));
    addRow(left, passwordLabel, makeEdit(RegisterField::Password, passwordLabel, 16, true));
    addRow(left, QStringLiteral("Confirm password:"),
           makeEdit(RegisterField::Confirmation, QStringLiteral("Confirm password:"), 0, true));
    addRow(left, QStringLiteral("Nickname:"),
           makeEdit(RegisterField::NickName, QStringLiteral("Nickname:"), 16, false));
    addRow(left, QStringLiteral("Email address:"),
           makeEdit(RegisterField::Email, QStringLiteral("Email address:"), 0, false));
    m_pictures = new CIconComboBox(this);
    m_pictures->addHeadImages();
    m_pictures->setAccessibleName(QStringLiteral("Pick your image:"));
    auto *pictureRow = new QHBoxLayout;
    pictureRow->addWidget(m_pictures);
    pictureRow->addStretch(1);
    left->addRow(fieldLabel(QStringLiteral("Pick your image:"), m_pictures, compulsory), pictureRow);

    auto *optional = new QGroupBox(QStringLiteral("Optional"), this);
    auto *right = new QFormLayout(optional);
    right->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    addRow(right, QStringLiteral("Your name:"),
           makeEdit(RegisterField::PersonalName, QStringLiteral("Your name:"), 8, false));
    addRow(right, QStringLiteral("Phone number:"),
           makeEdit(RegisterField::Phone, QStringLiteral("Phone number:"), 0, false));
    m_male = new QRadioButton(QStringLiteral("Male"), this);
    m_female = new QRadioButton(QStringLiteral("Female"), this);
    auto *gender = new QButtonGroup(this);
    gender->addButton(m_male);
    gender->addButton(m_female);
    auto *genderRow = new QHBoxLayout;
    genderRow->addWidget(m_male);
    genderRow->addWidget(m_female);
    genderRow->addStretch(1);
    right->addRow(new QLabel(QStringLiteral("Gender:")), genderRow);
    const QString recommenderLabel = QStringLiteral("Recommender:(It's optional)");
    addRow(right, recommenderLabel, makeEdit(RegisterField::Recommender, recommenderLabel, 0, false));
    addRow(right, QStringLiteral("Your address:"),
           makeEdit(RegisterField::Address, QStringLiteral("Your address:"), 0, false));

    m_submit = new QPushButton(QStringLiteral("Submit"), this);
    m_reset = new QPushButton(QStringLiteral("Reset"), this);
    m_submit->setDefault(true);
    m_reset->setAutoDefault(false);

    auto *groups = new QHBoxLayout;
    groups->setSpacing(12);
    groups->addWidget(compulsory, 1);
    groups->addWidget(optional, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_submit);
    buttons->addWidget(m_reset);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, kBannerHeight + 12, 14, 12);
    outer->setSpacing(12);
    outer->addLayout(groups);
    outer->addLayout(buttons);

    // Tab order follows the form: the compulsory group, the optional group, the buttons.
    setTabChain({edit(RegisterField::UserName), edit(RegisterField::Password), edit(RegisterField::Confirmation),
                 edit(RegisterField::NickName), edit(RegisterField::Email), m_pictures,
                 edit(RegisterField::PersonalName), edit(RegisterField::Phone), m_male, m_female,
                 edit(RegisterField::Recommender), edit(RegisterField::Address), m_submit, m_reset});

    // As wide as the labels need, never narrower than the banner was drawn.
    setFixedSize(qMax(kMinimumWidth, sizeHint().width()), sizeHint().height());

    m_rules = std::make_unique<session::CRegisterDlg>(site, *this, messages, store, machine);
    connect(m_submit, &QPushButton::clicked, this, [this] { m_rules->onSubmit(); });
    connect(m_reset, &QPushButton::clicked, this, [this] { m_rules->onReset(); });
    m_rules->onInitDialog();
}

RegisterDialog::~RegisterDialog()
{
    closeWaitWindow();
    setBusy(false);
}

session::RegisterForm RegisterDialog::form() const
{
    session::RegisterForm f;
    f.userName = edit(RegisterField::UserName)->text();
    f.password = edit(RegisterField::Password)->text();
    f.confirmation = edit(RegisterField::Confirmation)->text();
    f.nickName = edit(RegisterField::NickName)->text();
    f.email = edit(RegisterField::Email)->text();
    f.personalName = edit(RegisterField::PersonalName)->text();
    f.phone = edit(RegisterField::Phone)->text();
    f.recommender = edit(RegisterField::Recommender)->text();
    f.address = edit(RegisterField::Address)->text();
    f.pictureId = m_pictures->selectedId();
    f.male = m_male->isChecked();
    return f;
}

void RegisterDialog::setText(RegisterField field, const QString &text)
{
    edit(field)->setText(text);
}

void RegisterDialog::setPictureId(int pictureId)
{
    m_pictures->loadId(pictureId);
}

void RegisterDialog::setMale(bool male)
{
    (male ? m_male : m_female)->setChecked(true);
}

void RegisterDialog::focusField(RegisterField field, bool selectAll)
{
    m_focusTarget = edit(field);
    m_focusSelectAll = selectAll;
    applyFocus();
}

void RegisterDialog::applyFocus()
{
    if (!isVisible() || !m_focusTarget)
        return; // done when the dialog is shown
    m_focusTarget->setFocus(Qt::OtherFocusReason);
    if (m_focusSelectAll)
        m_focusTarget->selectAll();
}

void RegisterDialog::setSubmitEnabled(bool enabled)
{
    m_submit->setEnabled(enabled);
}

void RegisterDialog::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void RegisterDialog::showWaitWindow()
{
    if (m_wait)
        return;
    m_wait = new CRegWaitDlg;
    m_wait->showNow();
}

void RegisterDialog::closeWaitWindow()
{
    if (m_wait)
        m_wait->close(); // deletes itself
}

void RegisterDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void RegisterDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyFocus();
}

void RegisterDialog::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!m_banner.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(QRect(0, 0, width(), m_banner.height()), m_banner);
    }
}

} // namespace quillora::ui
