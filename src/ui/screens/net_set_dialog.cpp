#include "net_set_dialog.h"

#include "dialog_form.h"
#include "ui_resources.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillora::ui {

using session::NetSetField;

NetSetDialog::NetSetDialog(const QString &settingsPath, platform::MessageBoxes &messages, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(session::CNetSetDlg::captionText());
    setWindowIcon(programIcon());

    m_desktop = new QRadioButton(QStringLiteral("Using your &IE setting"), this);
    m_proxy = new QRadioButton(QStringLiteral("Using &proxy server"), this);
    m_desktop->setToolTip(QStringLiteral("Connect as the desktop's proxy settings say (http_proxy, no_proxy)"));
    auto *group = new QButtonGroup(this);
    group->addButton(m_desktop);
    group->addButton(m_proxy);

    m_type = new QComboBox(this);
    m_type->addItems({QStringLiteral("Not using proxy"), QStringLiteral("Socks 5"), QStringLiteral("Http")});

    struct FieldSpec {
        NetSetField field;
        const char *label;
    };
    const FieldSpec specs[] = {{NetSetField::Host, "&Host:"},
                               {NetSetField::Port, "Po&rt:"},
                               {NetSetField::Username, "&Username:"},
                               {NetSetField::Password, "Pass&word:"},
                               {NetSetField::Region, "R&egion:"}};

    auto *box = new QGroupBox(QStringLiteral("Proxy server"), this);
    m_box = box;
    auto *form = formGrid(box);
    form->addWidget(fieldLabel(QStringLiteral("&Type:"), m_type, box), 0, 0);
    m_type->setAccessibleName(QStringLiteral("Type:"));
    form->addWidget(m_type, 0, 1);
    int row = 1;
    for (const FieldSpec &entry : specs) {
        auto *edit = new QLineEdit(box);
        QLabel *label = addFormRow(form, row, QString::fromUtf8(entry.label), edit);
        edit->setAccessibleName(label->text().remove(QLatin1Char('&')));
        m_edits[entry.field] = edit;
        ++row;
    }
    m_edits[NetSetField::Password]->setEchoMode(QLineEdit::Password);
    m_edits[NetSetField::Port]->setMaxLength(5);
    m_edits[NetSetField::Port]->setInputMethodHints(Qt::ImhDigitsOnly);
    form->setColumnMinimumWidth(1, 220);

    auto *buttons = formButtons(this, QStringLiteral("OK"), m_ok, QStringLiteral("Cancel"), m_cancel);

    auto *layout = dialogColumn(this, 8);
    layout->addWidget(m_desktop);
    layout->addWidget(m_proxy);
    layout->addWidget(box);
    layout->addSpacing(4);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    QList<QWidget *> chain{m_desktop, m_proxy, m_type};
    for (const FieldSpec &entry : specs)
        chain << m_edits[entry.field];
    setTabChain(chain << m_ok << m_cancel);

    m_rules = std::make_unique<session::CNetSetDlg>(settingsPath, *this, messages);
    connect(m_desktop, &QRadioButton::toggled, this, [this] { m_rules->onModeChanged(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { m_rules->onOk(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
    m_rules->onInitDialog();
}

NetSetDialog::~NetSetDialog() = default;

void NetSetDialog::setUseProxyServer(bool useProxy)
{
    (useProxy ? m_proxy : m_desktop)->setChecked(true);
}

bool NetSetDialog::useProxyServer() const
{
    return m_proxy->isChecked();
}

void NetSetDialog::setProxyType(int position)
{
    m_type->setCurrentIndex(position);
}

int NetSetDialog::proxyType() const
{
    return m_type->currentIndex();
}

void NetSetDialog::setFieldText(NetSetField field, const QString &text)
{
    m_edits.at(field)->setText(text);
}

QString NetSetDialog::fieldText(NetSetField field) const
{
    return m_edits.at(field)->text();
}

void NetSetDialog::setProxyControlsEnabled(bool enabled)
{
    // The whole group, so that the labels grey out with their edits.
    m_box->setEnabled(enabled);
}

void NetSetDialog::focusField(NetSetField field)
{
    QLineEdit *edit = m_edits.at(field);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

void NetSetDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void NetSetDialog::reject()
{
    m_rules->onCancel();
}

bool execNetSetDialog(platform::MessageBoxes &messages, QWidget *parent)
{
    NetSetDialog dialog(session::connectionSettingsPath(), messages, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace quillora::ui
