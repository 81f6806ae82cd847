#include "markup_list_ctrl.h"

#include "markup_list_accessible.h"
#include "markup_text_painter.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace quillora::ui {

const QColor CMarkupListCtrl::kSelectionColor(127, 201, 254);
const QColor CMarkupListCtrl::kOddRowColor(245, 245, 245);
const QColor CMarkupListCtrl::kGridColor(200, 200, 200);

namespace {

constexpr int kCheckBoxSize = 15;
constexpr int kTextPadding = 5; // between the item's left part and its text

} // namespace

CMarkupListCtrl::CMarkupListCtrl(QWidget *parent, int controlId) : QAbstractScrollArea(parent), m_controlId(controlId)
{
    installMarkupListAccessibility();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    setFont(font);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn); // a steady width to measure items in
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(kScrollStep);
    // The page areas move by the same step as the arrows; the page size
    // (thumb length) stays the visible height.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int action) {
        QScrollBar *bar = verticalScrollBar();
        if (action == QAbstractSlider::SliderPageStepAdd)
            bar->setSliderPosition(std::min(bar->maximum(), bar->value() + kScrollStep));
        else if (action == QAbstractSlider::SliderPageStepSub)
            bar->setSliderPosition(std::max(bar->minimum(), bar->value() - kScrollStep));
    });
    const QScreen *screen = QGuiApplication::primaryScreen();
    m_headerHeight = headerHeightForScreen(screen ? screen->geometry().height() : 768);
}

int CMarkupListCtrl::headerHeightForScreen(int screenHeight)
{
    return std::max(0, int(std::trunc(screenHeight * 0.78 - 109)) / 15);
}

void CMarkupListCtrl::SetHeaderHeight(int height)
{
    m_headerHeight = std::max(0, height);
    updateScrollRange();
    viewport()->update();
}

void CMarkupListCtrl::SetHeaderText(const QString &text)
{
    m_headerText = text;
    viewport()->update();
}

int CMarkupListCtrl::textLeftOffset() const
{
    int offset = 0;
    if (m_style & CheckBoxes)
        offset += 16;
    if ((m_style & Images) && !m_images.isEmpty())
        offset += m_images.first().width() + 10;
    return offset + kTextPadding;
}

int CMarkupListCtrl::measure(const Item &item) const
{
    int width = viewport()->width() - ((m_style & CheckBoxes) ? 24 : 5);
    if ((m_style & Images) && !m_images.isEmpty())
        width -= m_images.first().width() + 10;
    width = std::max(1, width);
    int height = 0;
    switch (item.kind) {
    case MarkupText:
        height = MeasureMarkupText(font(), viewport(), item.text, width, MarkupWordBreak | MarkupCalcRect);
        break;
    case PlainText:
        height = QFontMetrics(font(), viewport())
                     .boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, item.text)
                     .height();
        break;
    default:
        height = QFontMetrics(font(), viewport()).height();
        break;
    }
    return height + 10;
}

int CMarkupListCtrl::blockHeight(const Item &item) const
{
    if (!item.fixedHeight || item.kind != MarkupText)
        return 0;
    const int width = std::max(1, viewport()->width() - textLeftOffset());
    return MeasureMarkupText(font(), viewport(), item.text, width, MarkupWordBreak | MarkupCalcRect);
}

int CMarkupListCtrl::AddItem(const QString &text, int image, int kind, int height)
{
    Item item;
    item.text = text;
    item.image = image;
    item.kind = (kind >= MarkupText && kind <= FilePath) ? kind : MarkupText;
    item.fixedHeight = height > 0;
    item.height = item.fixedHeight ? height : measure(item);
    item.blockHeight = blockHeight(item);
    m_items.append(item);
    m_totalHeight += item.height;
    updateScrollRange();
    viewport()->update();
    return int(m_items.size()) - 1;
}

void CMarkupListCtrl::DeleteAllItems()
{
    m_items.clear();
    m_totalHeight = 0;
    m_selected = -1;
    updateScrollRange();
    viewport()->update();
}

void CMarkupListCtrl::SetStyle(int flags)
{
    m_style = flags;
    remeasure();
}

void CMarkupListCtrl::remeasure()
{
    m_totalHeight = 0;
    for (Item &item : m_items) {
        if (!item.fixedHeight)
            item.height = measure(item);
        item.blockHeight = blockHeight(item);
        m_totalHeight += item.height;
    }
    updateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void CMarkupListCtrl::updateScrollRange()
{
    // The header band takes part of the view, so it counts against the range:
    // the last item can always be scrolled fully into sight.
    const int visible = viewport()->height();
    QScrollBar *bar = verticalScrollBar();
    bar->setPageStep(std::max(1, visible));
    bar->setRange(0, std::max(0, m_headerHeight + m_totalHeight - visible));
}

int CMarkupListCtrl::GetScrollPos() const
{
    return verticalScrollBar()->value();
}

int CMarkupListCtrl::itemTop(int index) const
{
    int top = 0;
    for (int i = 0; i < index; ++i)
        top += m_items.at(i).height;
    return top;
}

QRect CMarkupListCtrl::ItemRect(int index) const
{
    if (index < 0 || index >= m_items.size())
        return {};
    return QRect(0, m_headerHeight + itemTop(index) - GetScrollPos(), viewport()->width(), m_items.at(index).height);
}

int CMarkupListCtrl::ItemAt(const QPoint &pos) const
{
    if (pos.x() < 0 || pos.x() >= viewport()->width() || pos.y() < m_headerHeight)
        return -1;
    int top = m_headerHeight - GetScrollPos();
    for (int i = 0; i < m_items.size(); ++i) {
        const int bottom = top + m_items.at(i).height;
        if (pos.y() >= top && pos.y() < bottom)
            return i;
        top = bottom;
    }
    return -1;
}

void CMarkupListCtrl::EnsureVisible(int index)
{
    if (index < 0 || index >= m_items.size())
        return;
    const int top = itemTop(index);
    const int bottom = top + m_items.at(index).height;
    const int visible = std::max(0, viewport()->height() - m_headerHeight);
    QScrollBar *bar = verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (bottom > bar->value() + visible)
        bar->setValue(std::min(top, bottom - visible));
}

void CMarkupListCtrl::SetCheck(int index, bool checked)
{
    if (index < 0 || index >= m_items.size())
        return;
    m_items[index].checked = checked;
    viewport()->update();
}

bool CMarkupListCtrl::GetCheck(int index) const
{
    return index >= 0 && index < m_items.size() && m_items.at(index).checked;
}

void CMarkupListCtrl::SetItemData(int index, qintptr data)
{
    if (index >= 0 && index < m_items.size())
        m_items[index].data = data;
}

qintptr CMarkupListCtrl::GetItemData(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index).data : 0;
}

QString CMarkupListCtrl::GetItemText(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index).text : QString();
}

int CMarkupListCtrl::GetItemHeight(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index).height : 0;
}

void CMarkupListCtrl::SetSelectedIndex(int index)
{
    m_selected = (index >= 0 && index < m_items.size()) ? index : -1;
    viewport()->update();
    announceMarkupListSelection(this, m_selected);
}

void CMarkupListCtrl::SetImageList(const QList<QPixmap> &images)
{
    m_images = images;
    remeasure();
}

void CMarkupListCtrl::SetCheckImages(const QPixmap &unchecked, const QPixmap &checked)
{
    m_checkImages[0] = unchecked;
    m_checkImages[1] = checked;
    viewport()->update();
}

void CMarkupListCtrl::report(int code, int index)
{
    MarkupListNotification n;
    n.controlId = m_controlId;
    n.code = code;
    n.item = index;
    if (index >= 0 && index < m_items.size()) {
        n.text = m_items.at(index).text;
        n.data = m_items.at(index).data;
        n.checked = m_items.at(index).checked;
    }
    Q_EMIT notify(n);
}

QRect CMarkupListCtrl::checkBoxRect(const QRect &itemRect) const
{
    return QRect(itemRect.left() + 3, itemRect.center().y() - 8, kCheckBoxSize, kCheckBoxSize);
}

void CMarkupListCtrl::click(const QPoint &pos, int itemCode)
{
    setFocus(Qt::MouseFocusReason);
    report(Select, -1);
    const int index = ItemAt(pos);
    if (index < 0) {
        report(Activate, -1);
        return;
    }
    if ((m_style & CheckBoxes) && checkBoxRect(ItemRect(index)).contains(pos)) {
        m_items[index].checked = !m_items[index].checked;
        report(CheckToggled, index);
    }
    m_selected = index;
    viewport()->update();
    announceMarkupListSelection(this, index);
    report(itemCode, index);
}

void CMarkupListCtrl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        click(event->position().toPoint(), Select);
    else if (event->button() == Qt::RightButton)
        report(RightClick, -1);
}

void CMarkupListCtrl::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        click(event->position().toPoint(), Activate);
    else if (event->button() == Qt::RightButton)
        report(RightClick, -1);
}

void CMarkupListCtrl::keyPressEvent(QKeyEvent *event)
{
    const int count = int(m_items.size());
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (count == 0)
            break;
        int next = m_selected;
        if (event->key() == Qt::Key_Up)
            next = m_selected < 0 ? 0 : std::max(0, m_selected - 1);
        else
            next = m_selected < 0 ? count - 1 : std::min(count - 1, m_selected + 1);
        if (next != m_selected) {
            m_selected = next;
            EnsureVisible(next);
            viewport()->update();
            announceMarkupListSelection(this, next);
            report(Activate, next);
        }
        break;
    }
    case Qt::Key_Space:
        if ((m_style & CheckBoxes) && m_selected >= 0) {
            m_items[m_selected].checked = !m_items[m_selected].checked;
            viewport()->update();
            report(CheckToggled, m_selected);
        }
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CMarkupListCtrl::wheelEvent(QWheelEvent *event)
{
    // Fine-grained wheels send parts of a step; they add up to whole steps.
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / 120;
    m_wheelRemainder %= 120;
    if (steps == 0) {
        event->accept();
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(std::clamp(bar->value() - steps * kWheelStep, 0, bar->maximum()));
    event->accept();
}

void CMarkupListCtrl::scrollContentsBy(int, int)
{
    viewport()->update();
}

void CMarkupListCtrl::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    remeasure();
}

void CMarkupListCtrl::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CMarkupListCtrl::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void CMarkupListCtrl::paintItem(QPainter &painter, int index, const QRect &rect)
{
    const Item &item = m_items.at(index);
    painter.fillRect(rect, index == m_selected ? kSelectionColor : (index % 2 ? kOddRowColor : QColor(Qt::white)));
    if (m_style & GridLines) {
        painter.setPen(QPen(kGridColor, 1));
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    int x = rect.left();
    if (m_style & CheckBoxes) {
        const QRect box = checkBoxRect(rect);
        const QPixmap &image = m_checkImages[item.checked ? 1 : 0];
        if (!image.isNull()) {
            painter.drawPixmap(box.left(), rect.center().y() - image.height() / 2, image);
        } else {
            painter.setPen(QPen(QColor(90, 90, 90), 1));
            painter.setBrush(Qt::white);
            painter.drawRect(box.adjusted(1, 1, -2, -2));
            if (item.checked) {
                painter.setPen(QPen(QColor(30, 30, 30), 2));
                painter.drawLine(box.left() + 4, box.center().y(), box.left() + 6, box.bottom() - 4);
                painter.drawLine(box.left() + 6, box.bottom() - 4, box.right() - 3, box.top() + 4);
            }
            painter.setBrush(Qt::NoBrush);
        }
        x += 16;
    }
    if ((m_style & Images) && !m_images.isEmpty()) {
        if (item.image >= 0 && item.image < m_images.size()) {
            const QPixmap &image = m_images.at(item.image);
            painter.drawPixmap(x + 5, rect.center().y() - image.height() / 2 + 1, image);
        }
        x += m_images.first().width() + 10;
    }
    x += kTextPadding;

    painter.setPen(palette().color(QPalette::Text));
    painter.setFont(font());
    // The text runs to the item's right edge: left + width, not right(),
    // which is the last pixel inside and would paint one pixel narrower than
    // the item was measured.
    QRect textRect(x, rect.top(), std::max(1, rect.left() + rect.width() - x), rect.height());
    switch (item.kind) {
    case MarkupText: {
        // Measured items keep 5 pixels above and below the text; in a row of
        // fixed height the text block is centred.
        int top = rect.top() + 5;
        if (item.fixedHeight)
            top = rect.top() + std::max(0, (rect.height() - item.blockHeight) / 2);
        QRect area(x, top, textRect.width(), rect.bottom() - top);
        DrawMarkupText(&painter, item.text, -1, &area, MarkupWordBreak);
        break;
    }
    case PlainText: {
        const QRect area = item.fixedHeight ? textRect : textRect.adjusted(0, 5, 0, -5);
        painter.drawText(area,
                         int(Qt::AlignLeft | (item.fixedHeight ? Qt::AlignVCenter : Qt::AlignTop) | Qt::TextWordWrap),
                         item.text);
        break;
    }
    default: {
        // In a measured item the line sits 5 pixels lower, below the padding.
        const QRect area = item.fixedHeight ? textRect : textRect.adjusted(0, 5, 0, 0);
        const QString shown = QFontMetrics(font(), viewport()).elidedText(item.text, Qt::ElideMiddle, area.width());
        painter.drawText(area, int(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine), shown);
        break;
    }
    }

    if (index == m_selected && hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect.adjusted(1, 0, -1, -1);
        option.backgroundColor = kSelectionColor;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void CMarkupListCtrl::paintEvent(QPaintEvent *)
{
    // The backing store already paints off screen and shows the result in
    // one step, so scrolling does not flicker.
    QPainter painter(viewport());
    const QRect client = viewport()->rect();
    painter.fillRect(client, Qt::white);

    int top = m_headerHeight - GetScrollPos();
    for (int i = 0; i < m_items.size() && top < client.bottom(); ++i) {
        const QRect rect(0, top, client.width(), m_items.at(i).height);
        if (rect.bottom() >= m_headerHeight)
            paintItem(painter, i, rect);
        top += m_items.at(i).height;
    }

    if (m_headerHeight > 0) {
        const QRect header(0, 0, client.width(), m_headerHeight);
        QLinearGradient shade(header.topLeft(), header.bottomLeft());
        shade.setColorAt(0, QColor(250, 250, 250));
        shade.setColorAt(1, QColor(228, 232, 238));
        painter.fillRect(header, shade);
        painter.setPen(kGridColor);
        painter.drawLine(header.bottomLeft(), header.bottomRight());
        if (!m_headerText.isEmpty()) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.setFont(font());
            painter.drawText(header, Qt::AlignCenter, m_headerText);
        }
    }
}

} // namespace quillora::ui
