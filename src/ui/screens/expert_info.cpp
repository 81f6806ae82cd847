#include "expert_info.h"

#include "head_image_pictures.h"
#include "session/head_images.h"
#include "ui_resources.h"
#include "zone_catalogue.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::ui {

namespace {

constexpr int kHeadSize = 32;
constexpr int kBadgeCount = 10;

QLabel *valueLabel(QWidget *parent, const QString &objectName)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText); // the values come from the network
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(220);
    return label;
}

} // namespace

ExpertProfileView expertProfileView(const ExpertProfile &profile, const QString &faceDirectory)
{
    ExpertProfileView view;
    const QString line = forum::zoneLine(profile.expertArea);
    const QString prefix = QStringLiteral("Zone: ");
    if (line.startsWith(prefix))
        view.expertArea = line.mid(prefix.size());
    if (profile.customFlag != 0) {
        // Only a plain decimal name becomes a file name (the name comes from a document).
        const QString file = session::customFaceFileName(profile.customImageName);
        if (!file.isEmpty() && !faceDirectory.isEmpty())
            view.imagePath = QDir(faceDirectory).filePath(file);
    }
    view.builtInPicture = session::builtInPictureNumber(profile.headImage);
    if (profile.zoneRank >= 1 && profile.zoneRank <= kBadgeCount)
        view.badge = profile.zoneRank;
    return view;
}

QString CExpertInfo::noteText()
{
    return QStringLiteral("Note: You can communicate with the online experts if the points of your question is more "
                          "then 100, otherwise you can only communicate with the repliers by select your question "
                          "then click 'Communicate' tag on the right.");
}

CExpertInfo::CExpertInfo(const ExpertProfile &profile, const QString &faceDirectory, QWidget *parent) : QDialog(parent)
{
    initResources();
    setObjectName(QStringLiteral("ExpertInfo"));
    setWindowTitle(QStringLiteral("Expert Profile"));
    setWindowIcon(programIcon());
    const ExpertProfileView view = expertProfileView(profile, faceDirectory);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(12);

    auto *group = new QFrame(this);
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto *form = new QFormLayout(group);
    form->setContentsMargins(14, 12, 14, 12);
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(8);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_userName = valueLabel(group, QStringLiteral("userName"));
    m_userName->setText(profile.userName);
    QFont bold = m_userName->font();
    bold.setBold(true);
    m_userName->setFont(bold);
    m_nickname = valueLabel(group, QStringLiteral("nickname"));
    m_nickname->setText(profile.nickname);
    m_credit = valueLabel(group, QStringLiteral("credit"));
    m_credit->setText(profile.credit);
    m_area = valueLabel(group, QStringLiteral("expertArea"));
    m_area->setText(view.expertArea);
    m_area->setWordWrap(true);

    m_image = new QLabel(group);
    m_image->setObjectName(QStringLiteral("image"));
    m_image->setFixedSize(kHeadSize + 4, kHeadSize + 4);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_image->setStyleSheet(QStringLiteral("QLabel { background: white; border: 1px solid #b8b8b8; }"));
    QPixmap picture;
    if (!view.imagePath.isEmpty() && QFileInfo::exists(view.imagePath))
        picture = QPixmap(view.imagePath);
    if (picture.isNull())
        picture = builtInHeadPixmap(view.builtInPicture);
    else if (picture.width() > kHeadSize || picture.height() > kHeadSize)
        picture = picture.scaled(kHeadSize, kHeadSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_image->setPixmap(picture);

    m_rank = new QLabel(group);
    m_rank->setObjectName(QStringLiteral("zoneRank"));
    m_rank->setFixedHeight(16);
    if (view.badge > 0) {
        m_rank->setPixmap(QPixmap(QStringLiteral(":/quillora/images/badges/level-%1.png").arg(view.badge)));
        m_rank->setToolTip(QStringLiteral("Zone rank %1").arg(view.badge));
    }

    form->addRow(QStringLiteral("Username:"), m_userName);
    form->addRow(QStringLiteral("Nickname:"), m_nickname);
    form->addRow(QStringLiteral("Credit:"), m_credit);
    form->addRow(QStringLiteral("Expert Area:"), m_area);
    form->addRow(QStringLiteral("Image:"), m_image);
    form->addRow(QStringLiteral("Zone Rank:"), m_rank);
    layout->addWidget(group);

    auto *note = new QLabel(noteText(), this);
    note->setObjectName(QStringLiteral("note"));
    note->setWordWrap(true);
    QPalette muted = note->palette();
    muted.setColor(QPalette::WindowText, muted.color(QPalette::Disabled, QPalette::WindowText).darker(130));
    note->setPalette(muted);
    layout->addWidget(note);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("OK"));
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);

    setFixedWidth(400);
    setFixedHeight(sizeHint().height());
}

} // namespace quillora::ui
