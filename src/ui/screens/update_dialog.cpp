#include "update_dialog.h"

#include "ui_resources.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::ui {

CUpdateDlg::CUpdateDlg(const QString &currentVersion, const QString &latestVersion, QWidget *parent) : QDialog(parent)
{
    initResources();
    setWindowTitle(QStringLiteral("Update Information"));
    setWindowIcon(programIcon());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 14);
    layout->setSpacing(0);

    auto *banner = new QLabel(this);
    banner->setPixmap(QPixmap(QStringLiteral(":/quillora/images/session/update-banner.png")));
    banner->setFixedHeight(76);
    banner->setScaledContents(true);
    layout->addWidget(banner);

    auto *body = new QVBoxLayout;
    body->setContentsMargins(24, 16, 24, 12);
    body->setSpacing(6);
    m_current = new QLabel(QStringLiteral("The Current Version is: ") + currentVersion, this);
    m_latest = new QLabel(QStringLiteral("The Latest Version is : ") + latestVersion, this);
    m_latest->setTextFormat(Qt::PlainText); // read from the site's version file
    QFont bold = m_latest->font();
    bold.setBold(true);
    m_latest->setFont(bold);
    auto *question = new QLabel(QStringLiteral("Do you want to download the latest version?"), this);
    body->addWidget(m_current);
    body->addWidget(m_latest);
    body->addSpacing(10);
    body->addWidget(question);
    layout->addLayout(body);

    auto *buttons = new QDialogButtonBox(this);
    m_yes = buttons->addButton(QStringLiteral("Yes"), QDialogButtonBox::YesRole);
    m_no = buttons->addButton(QStringLiteral("No"), QDialogButtonBox::NoRole);
    m_yes->setDefault(true);
    connect(m_yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(24, 0, 24, 0);
    buttonRow->addWidget(buttons);
    layout->addLayout(buttonRow);

    setFixedSize(420, sizeHint().height());
}

} // namespace quillora::ui
