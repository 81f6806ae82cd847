#include "markup_list_accessible.h"

#include "markup_list_ctrl.h"
#include "markup_text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>

namespace quillora::ui {
namespace {

class MarkupListAccessible;

// One row. It holds its list and index only: rows are made on request and
// the list's contents may change under them.
class MarkupRowAccessible : public QAccessibleInterface {
  public:
    MarkupRowAccessible(CMarkupListCtrl *list, int index) : m_list(list), m_index(index) {}

    bool isValid() const override { return m_list && m_index >= 0 && m_index < m_list->GetItemCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return m_list ? QAccessible::queryAccessibleInterface(m_list.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || (t != QAccessible::Name && t != QAccessible::Description))
            return QString();
        return t == QAccessible::Name ? forum::markup::plainText(m_list->GetItemText(m_index)) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}

    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect local = m_list->ItemRect(m_index).intersected(m_list->viewport()->rect());
        if (local.isEmpty())
            return QRect();
        return QRect(m_list->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid())
            return s;
        s.selectable = true;
        s.focusable = true;
        s.selected = m_list->GetSelectedIndex() == m_index;
        s.focused = s.selected && m_list->hasFocus();
        if (m_list->GetStyle() & CMarkupListCtrl::CheckBoxes) {
            s.checkable = true;
            s.checked = m_list->GetCheck(m_index);
        }
        const QRect local = m_list->ItemRect(m_index);
        if (!local.intersects(m_list->viewport()->rect()))
            s.invisible = s.offscreen = true;
        return s;
    }

  private:
    QPointer<CMarkupListCtrl> m_list;
    int m_index;
};

class MarkupListAccessible : public QAccessibleWidget {
  public:
    explicit MarkupListAccessible(CMarkupListCtrl *list) : QAccessibleWidget(list, QAccessible::List) {}

    CMarkupListCtrl *list() const { return static_cast<CMarkupListCtrl *>(widget()); }

    // Rows first, then the scroll bar (the only child widget that takes part).
    int childCount() const override { return list()->GetItemCount(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= list()->GetItemCount())
            return nullptr;
        // The registry keeps one interface per row object; rows have no
        // object, so one is kept here per index, valid while the index is.
        while (m_rows.size() <= index)
            m_rows.append(
                QAccessible::registerAccessibleInterface(new MarkupRowAccessible(list(), int(m_rows.size()))));
        return QAccessible::accessibleInterface(m_rows.at(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < m_rows.size(); ++i) {
            if (QAccessible::accessibleInterface(m_rows.at(i)) == child)
                return i < list()->GetItemCount() ? i : -1;
        }
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = list()->viewport()->mapFromGlobal(QPoint(x, y));
        const int index = list()->ItemAt(local);
        return index >= 0 ? child(index) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Description && s.isEmpty())
            s = QStringLiteral("%1 items").arg(list()->GetItemCount());
        return s;
    }

    ~MarkupListAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
    }

  private:
    mutable QList<QAccessible::Id> m_rows;
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("quillora::ui::CMarkupListCtrl") && object && object->isWidgetType())
        return new MarkupListAccessible(static_cast<CMarkupListCtrl *>(object));
    return nullptr;
}

} // namespace

void installMarkupListAccessibility()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    (void)installed;
}

void announceMarkupListSelection(CMarkupListCtrl *list, int index)
{
    if (!QAccessible::isActive() || index < 0)
        return;
    QAccessibleEvent selection(list, QAccessible::SelectionAdd);
    selection.setChild(index);
    QAccessible::updateAccessibility(&selection);
    if (list->hasFocus()) {
        QAccessibleEvent focus(list, QAccessible::Focus);
        focus.setChild(index);
        QAccessible::updateAccessibility(&focus);
    }
}

} // namespace quillora::ui
