#include "login_dialog.h"

#include "ui_resources.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

namespace quillora::ui {
namespace {

// Client area and places, matching the background picture (440x290).
constexpr QSize kClientSize(440, 290);
constexpr QRect kUserNameLabel(30, 124, 110, 30);
constexpr QRect kPasswordLabel(30, 172, 110, 30);
constexpr QRect kUserNameEdit(146, 124, 258, 30);
constexpr QRect kPasswordEdit(146, 172, 258, 30);
constexpr QRect kButtonRow(18, 250, 404, 30);

} // namespace

LoginDialog::LoginDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                         platform::SystemOpener &opener, const session::RememberedCredentials &store,
                         session::SignInQuota &quota, Registration registration, QWidget *parent)
    : QDialog(parent), m_registration(std::move(registration))
{
    initResources();
    setWindowTitle(QStringLiteral("Login"));
    setWindowIcon(programIcon());
    setFixedSize(kClientSize);
    m_background.load(QStringLiteral(":/quillora/images/session/login-background.png"));

    m_userName = new QLineEdit(this);
    m_userName->setGeometry(kUserNameEdit);
    m_userName->setAccessibleName(QStringLiteral("Username:"));
    m_password = new QLineEdit(this);
    m_password->setGeometry(kPasswordEdit);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(QStringLiteral("Password:"));

    auto *row = new QWidget(this);
    row->setGeometry(kButtonRow);
    auto *buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(8);
    m_signIn = new QPushButton(QStringLiteral("Sign-In"), row);
    m_register = new QPushButton(QStringLiteral("Free Registration"), row);
    m_forgot = new QPushButton(QStringLiteral("Forgot password"), row);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), row);
    m_signIn->setDefault(true);
    for (QPushButton *b : {m_signIn, m_register, m_forgot, m_cancel}) {
        b->setAutoDefault(b == m_signIn);
        buttons->addWidget(b);
    }
    setTabOrder(m_userName, m_password);
    setTabOrder(m_password, m_signIn);
    setTabOrder(m_signIn, m_register);
    setTabOrder(m_register, m_forgot);
    setTabOrder(m_forgot, m_cancel);

    m_rules = std::make_unique<session::CLoginDlg>(site, *this, messages, opener, store, quota);
    connect(m_signIn, &QPushButton::clicked, this, [this] { m_rules->onSignIn(); });
    connect(m_forgot, &QPushButton::clicked, this, [this] { m_rules->onForgotPassword(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
    connect(m_register, &QPushButton::clicked, this, &LoginDialog::runRegistration);

    m_focusTarget = m_userName;
    m_rules->onInitDialog();
}

LoginDialog::~LoginDialog() = default;

QString LoginDialog::userNameText() const
{
    return m_userName->text();
}
QString LoginDialog::passwordText() const
{
    return m_password->text();
}
void LoginDialog::setUserNameText(const QString &text)
{
    m_userName->setText(text);
}
void LoginDialog::setPasswordText(const QString &text)
{
    m_password->setText(text);
}

void LoginDialog::focusUserName(bool selectAll)
{
    m_focusTarget = m_userName;
    m_focusSelectAll = selectAll;
    applyFocus();
}

void LoginDialog::focusPassword(bool selectAll)
{
    m_focusTarget = m_password;
    m_focusSelectAll = selectAll;
    applyFocus();
}

void LoginDialog::applyFocus()
{
    if (!isVisible() || !m_focusTarget)
        return; // done when the dialog is shown
    m_focusTarget->setFocus(Qt::OtherFocusReason);
    if (m_focusSelectAll)
        m_focusTarget->selectAll();
}

void LoginDialog::setRegistrationEnabled(bool enabled)
{
    m_register->setEnabled(enabled && m_registration);
}
void LoginDialog::setForgotPasswordEnabled(bool enabled)
{
    m_forgot->setEnabled(enabled);
}

void LoginDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void LoginDialog::reject()
{
    m_rules->onCancel();
}

void LoginDialog::runRegistration()
{
    if (!m_registration)
        return;
    m_rules->onRegistrationEnded(m_registration(this));
}

void LoginDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyFocus();
}

void LoginDialog::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_background.isNull())
        p.drawPixmap(rect(), m_background);
    else
        p.fillRect(rect(), palette().window());
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x2b, 0x3a, 0x4e));
    p.drawText(kUserNameLabel, Qt::AlignCenter, QStringLiteral("Username:"));
    p.drawText(kPasswordLabel, Qt::AlignCenter, QStringLiteral("Password:"));
}

} // namespace quillora::ui
