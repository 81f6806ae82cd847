#include "zone_view_parts.h"

#include "head_image_pictures.h"
#include "markup_list_ctrl.h"
#include "zone_view_widget.h"

#include <QAbstractItemView>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillora::ui::zone_parts {

namespace {

constexpr int kBadgeCount = 10;
constexpr int kExpertRowHeight = 42;

} // namespace

QPixmap badgePixmap(int badgeIndex)
{
    if (badgeIndex < 0 || badgeIndex >= kBadgeCount)
        return {};
    return QPixmap(QStringLiteral(":/quillora/images/badges/level-%1.png").arg(badgeIndex + 1));
}

QPixmap expertPicture(const forum::OnlineExpert &expert, const QPixmap &fallback)
{
    if (!expert.picturePath.isEmpty()) {
        QPixmap custom(expert.picturePath);
        if (!custom.isNull()) {
            if (custom.width() != kHeadSize || custom.height() != kHeadSize)
                custom = custom.scaled(kHeadSize, kHeadSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return custom;
        }
    }
    return expert.builtInPicture > 0 ? builtInHeadPixmap(expert.builtInPicture) : fallback;
}

QSize ExpertDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    (void)index;
    return QSize(option.rect.width(), kExpertRowHeight);
}

void ExpertDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool hover = option.state & QStyle::State_MouseOver;
    if (selected) {
        painter->fillRect(r.adjusted(1, 1, -1, -1), CMarkupListCtrl::kSelectionColor.lighter(125));
        painter->setPen(CMarkupListCtrl::kSelectionColor.darker(115));
        painter->drawRect(r.adjusted(1, 1, -2, -2));
    } else if (hover) {
        painter->fillRect(r.adjusted(1, 1, -1, -1), QColor(236, 244, 252));
    }
    const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
    const QRect face(r.left() + 6, r.top() + (r.height() - kHeadSize) / 2, kHeadSize, kHeadSize);
    if (!picture.isNull())
        painter->drawPixmap(face, picture);
    painter->setPen(QColor(190, 190, 190));
    painter->drawRect(face.adjusted(-1, -1, 0, 0));

    const int textLeft = face.right() + 9;
    QFont font = option.font;
    painter->setFont(font);
    painter->setPen(Qt::black);
    const QFontMetrics metrics(font);
    const QString name =
        metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, r.right() - textLeft - 4);
    painter->drawText(QRect(textLeft, r.top() + 5, r.right() - textLeft - 4, metrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter, name);
    const QPixmap badge = index.data(BadgeRole).value<QPixmap>();
    if (!badge.isNull())
        painter->drawPixmap(textLeft, r.bottom() - 5 - badge.height(), badge);
    painter->restore();
}

QPushButton *barButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFixedHeight(kZoneBottomBarHeight - 4);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(text) + 22);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

ReturnKeyOpens::ReturnKeyOpens(QAbstractItemView *view, std::function<void()> open)
    : QObject(view), m_open(std::move(open))
{
    view->installEventFilter(this);
}

bool ReturnKeyOpens::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            m_open();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QSize screenSizeOr(QSize size)
{
    if (size.isValid() && !size.isEmpty())
        return size;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->geometry().size();
    return QSize(1024, 768);
}

} // namespace quillora::ui::zone_parts

namespace quillora::ui {

ZonePanelGroup::ZonePanelGroup(const QString &caption, QWidget *body, QWidget *parent) : QWidget(parent), m_body(body)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new QToolButton(this);
    m_header->setObjectName(QStringLiteral("groupHeader"));
    m_header->setText(caption);
    m_header->setCheckable(true);
    m_header->setChecked(true);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setArrowType(Qt::DownArrow);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setFixedHeight(24);
    m_header->setAutoRaise(true);
    m_header->setStyleSheet(QStringLiteral(
        "QToolButton { border: none; border-bottom: 1px solid #b0bac8; padding-left: 4px; font-weight: bold;"
        " color: #1f3a5f; text-align: left;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f7fb, stop:1 #dde5ef); }"
        "QToolButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfdff,"
        " stop:1 #e6edf6); }"));
    layout->addWidget(m_header);
    layout->addWidget(body, 1);
    connect(m_header, &QToolButton::toggled, this, [this](bool open) {
        m_header->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_body->setVisible(open);
        // A folded group gives its room to the other one.
        setSizePolicy(QSizePolicy::Preferred, open ? QSizePolicy::Expanding : QSizePolicy::Fixed);
        updateGeometry();
    });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

bool ZonePanelGroup::isOpen() const
{
    return m_header->isChecked();
}

} // namespace quillora::ui
