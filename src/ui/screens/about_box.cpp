#include "about_box.h"

#include "site_config.h"
#include "ui_resources.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::ui {

AboutBox::AboutBox(QWidget *parent) : QDialog(parent)
{
    initResources();
    setWindowTitle(QStringLiteral("About Quillora 2007"));
    setWindowIcon(programIcon());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 14);
    layout->setSpacing(0);
    auto *banner = new QLabel(this);
    banner->setPixmap(QPixmap(QStringLiteral(":/quillora/images/session/about-banner.png")));
    banner->setFixedHeight(110);
    banner->setScaledContents(true);
    layout->addWidget(banner);

    auto *body = new QVBoxLayout;
    body->setContentsMargins(24, 16, 24, 12);
    body->setSpacing(4);
    auto *version = new QLabel(QStringLiteral("Quillora 2007 Version 3.5"), this);
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    body->addWidget(version);
    const QString lines[] = {
        QStringLiteral("Build %1").arg(service::programVersion()),
        QStringLiteral("Ask questions, post solutions, talk with experts."),
        QStringLiteral("Copyright (C) 2007 Kestova. All rights reserved."),
    };
    for (const QString &line : lines) {
        auto *label = new QLabel(line, this);
        label->setWordWrap(true);
        body->addWidget(label);
    }
    layout->addLayout(body);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(24, 0, 24, 0);
    row->addWidget(buttons);
    layout->addLayout(row);
    setFixedSize(400, sizeHint().height());
}

} // namespace quillora::ui
