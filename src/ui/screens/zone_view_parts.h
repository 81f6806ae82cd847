// The zone view's pieces: how its lists draw their rows (the question list's
// fixed row height, an online expert with picture and badge), the bottom
// bar's buttons, Return on a list, and the left panel's folding groups.
#pragma once

#include "zone_view.h"

#include <QColor>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>

class QAbstractItemView;
class QPushButton;
class QToolButton;

namespace quillora::ui::zone_parts {

inline constexpr int kHeadSize = 32;
inline const QColor kOddRowColor{245, 245, 245};

// The zone-rank badge for levels 0..9; none outside them.
QPixmap badgePixmap(int badgeIndex);

// The expert's custom picture when it loads, else the record's built-in one.
QPixmap expertPicture(const forum::OnlineExpert &expert, const QPixmap &fallback);

// Every post list row is one fixed height, whatever the font.
class FixedRowDelegate : public QStyledItemDelegate {
  public:
    FixedRowDelegate(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height) {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(m_height);
        return size;
    }

  private:
    int m_height;
};

// An online expert: the 32x32 picture, the nickname and, below it, the
// zone-rank badge, on white.
enum ExpertRole { BadgeRole = Qt::UserRole + 1 };

class ExpertDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// A button of the bottom bar: the bar's height, wide enough for its text,
// reached with Tab.
QPushButton *barButton(const QString &text, const QString &objectName, QWidget *parent);

// Return or Enter on a list does what a double-click on its current row
// does, so the lists work from the keyboard.
class ReturnKeyOpens : public QObject {
  public:
    ReturnKeyOpens(QAbstractItemView *view, std::function<void()> open);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    std::function<void()> m_open;
};

// `size` when it is one, else the primary screen's (or 1024x768).
QSize screenSizeOr(QSize size);

} // namespace quillora::ui::zone_parts

namespace quillora::ui {

// One of the left panel's two groups: a header that folds the body away.
class ZonePanelGroup : public QWidget {
  public:
    ZonePanelGroup(const QString &caption, QWidget *body, QWidget *parent);
    bool isOpen() const;
    QToolButton *header() const { return m_header; }

  private:
    QToolButton *m_header;
    QWidget *m_body;
};

} // namespace quillora::ui
