// CMarkupListCtrl: an owner-drawn, variable-height, vertically scrolling list
// whose items are markup text (DrawMarkupText), plain text or a file path,
// with optional check boxes, grid lines and one image per item. It reports to
// its owner through the notify() signal with the codes below.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QList>
#include <QPixmap>
#include <QString>

namespace quillora::ui {

struct MarkupListNotification {
    int controlId = 0;
    int code = 0;
    int item = -1; // -1: no item
    QString text;
    qintptr data = 0;
    bool checked = false;
};

class CMarkupListCtrl : public QAbstractScrollArea {
    Q_OBJECT
  public:
    enum Kind { MarkupText = 1, PlainText = 2, FilePath = 3 };
    enum StyleFlag { CheckBoxes = 1, GridLines = 2, Images = 4 };
    enum Code {
        Activate = 1,    // double-click on an item, arrow-key move, click on empty space (item -1)
        Select = 2,      // click on an item; every click first reports it with item -1
        RightClick = 3,  // item -1
        CheckToggled = 5 // check box clicked, or Space
    };

    // Arrows and page areas of the scroll bar move this far; a wheel step 40.
    static constexpr int kScrollStep = 50;
    static constexpr int kWheelStep = 40;
    static const QColor kSelectionColor; // RGB(127,201,254)
    static const QColor kOddRowColor;    // RGB(245,245,245)
    static const QColor kGridColor;      // RGB(200,200,200)

    explicit CMarkupListCtrl(QWidget *parent = nullptr, int controlId = 0);

    // Appends an item; height 0 means the item is measured (and measured again
    // after a resize or style change), any other height is kept.
    int AddItem(const QString &text, int image = -1, int kind = MarkupText, int height = 0);
    void DeleteAllItems();
    void SetStyle(int flags);
    int GetStyle() const { return m_style; }
    void EnsureVisible(int index);
    void SetCheck(int index, bool checked);
    bool GetCheck(int index) const;
    void SetItemData(int index, qintptr data);
    qintptr GetItemData(int index) const;
    QString GetItemText(int index) const;
    int GetItemHeight(int index) const;
    int GetItemCount() const { return int(m_items.size()); }
    int GetSelectedIndex() const { return m_selected; }
    void SetSelectedIndex(int index);
    // Sum of the item heights: the scroll range.
    int GetTotalHeight() const { return m_totalHeight; }
    int GetScrollPos() const;

    // The item images (style Images) and the check box images (unchecked,
    // checked); without check box images a plain box is drawn.
    void SetImageList(const QList<QPixmap> &images);
    void SetCheckImages(const QPixmap &unchecked, const QPixmap &checked);

    // The band above the first item: trunc(H * 0.78 - 109) / 15 pixels for a
    // screen H pixels high, with an optional centred caption.
    static int headerHeightForScreen(int screenHeight);
    void SetHeaderHeight(int height);
    int HeaderHeight() const { return m_headerHeight; }
    void SetHeaderText(const QString &text);

    // Item under a point of the viewport, or -1; an item's rectangle in the
    // viewport as it is drawn now.
    int ItemAt(const QPoint &pos) const;
    QRect ItemRect(int index) const;

  Q_SIGNALS:
    void notify(const quillora::ui::MarkupListNotification &notification);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    struct Item {
        int height = 0;
        int kind = MarkupText;
        QString text;
        int image = -1;
        bool fixedHeight = false;
        // Markup text in a row of fixed height: the height of its text block,
        // measured with the item (not while painting) to centre it.
        int blockHeight = 0;
        bool checked = false;
        qintptr data = 0;
    };

    int measure(const Item &item) const;
    int blockHeight(const Item &item) const;
    int textLeftOffset() const;
    void remeasure();
    void updateScrollRange();
    void report(int code, int index);
    void click(const QPoint &pos, int itemCode);
    QRect checkBoxRect(const QRect &itemRect) const;
    int itemTop(int index) const;
    void paintItem(QPainter &painter, int index, const QRect &rect);

    QList<Item> m_items;
    int m_totalHeight = 0;
    int m_selected = -1;
    int m_style = 0;
    int m_controlId = 0;
    int m_headerHeight = 0;
    QString m_headerText;
    QList<QPixmap> m_images;
    QPixmap m_checkImages[2];
    int m_wheelRemainder = 0;
};

} // namespace quillora::ui
