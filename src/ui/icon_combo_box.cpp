#include "icon_combo_box.h"

#include "forum/icon_ids.h"
#include "head_image_pictures.h"
#include "ui_resources.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace quillora::ui {
namespace {

constexpr int kIdRole = Qt::UserRole; // where addItem keeps an entry's data

// Draws an entry: highlight when selected, white otherwise, then the icon one
// pixel right of and below the entry's top-left corner.
class IconEntryDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect, selected ? option.palette.highlight() : QBrush(Qt::white));
        const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
        if (!icon.isNull())
            painter->drawPixmap(
                QRect(option.rect.topLeft() + QPoint(1, 1), QSize(CIconComboBox::kIconSize, CIconComboBox::kIconSize)),
                icon);
        if (option.state & QStyle::State_HasFocus && selected) {
            painter->setPen(QPen(option.palette.highlightedText().color(), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return {CIconComboBox::kEntryHeight, CIconComboBox::kEntryHeight};
    }
};

} // namespace

CIconComboBox::CIconComboBox(QWidget *parent, IconSource source) : QComboBox(parent), m_source(std::move(source))
{
    if (!m_source)
        m_source = &CIconComboBox::headIcon;
    setIconSize(QSize(kIconSize, kIconSize));
    setItemDelegate(new IconEntryDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setMinimumHeight(kEntryHeight + 4);
    // A scrolling list of 8 entries rather than every picture around the current one.
    setMaxVisibleItems(8);
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

QPixmap CIconComboBox::headIcon(int iconId)
{
    const int picture = forum::headPictureOfIcon(iconId);
    if (picture == 0)
        return {};
    initResources();
    QPixmap icon = builtInHeadPixmap(picture);
    if (!icon.isNull() && icon.size() != QSize(kIconSize, kIconSize))
        icon = icon.scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return icon;
}

int CIconComboBox::addIcon(int iconId)
{
    const QPixmap icon = m_source(iconId);
    if (icon.isNull())
        return -1;
    addItem(QIcon(icon), QString(), iconId);
    const int index = count() - 1;
    setItemData(index, icon, Qt::DecorationRole);
    const int picture = forum::headPictureOfIcon(iconId);
    setItemData(index, picture ? QStringLiteral("Picture %1").arg(picture) : QStringLiteral("Icon %1").arg(index + 1),
                Qt::AccessibleTextRole);
    return index;
}

void CIconComboBox::addHeadImages()
{
    for (int picture = 1; picture <= forum::kHeadPictureCount; ++picture)
        addIcon(forum::headIconId(picture));
}

int CIconComboBox::selectById(int iconId)
{
    const int index = findData(iconId, kIdRole);
    if (index < 0)
        return -1;
    setCurrentIndex(index);
    return index;
}

int CIconComboBox::selectedId() const
{
    return idAt(currentIndex());
}

int CIconComboBox::idAt(int index) const
{
    if (index < 0 || index >= count())
        return 0;
    return itemData(index, kIdRole).toInt();
}

} // namespace quillora::ui
