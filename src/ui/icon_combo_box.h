// CIconComboBox: a drop-down list of 32x32 icons without text. Each entry is
// known by its icon's resource identifier (forum/icon_ids.h), and a dialog
// exchanges that identifier, not the entry's position, with its data. Every
// entry, and the selection field, is 34 pixels high: the icon with one pixel
// above and below.
#pragma once

#include <QComboBox>
#include <QPixmap>

#include <functional>

namespace quillora::ui {

class CIconComboBox : public QComboBox {
    Q_OBJECT
  public:
    // Loads the 32x32 icon of a resource identifier; a null pixmap when the
    // identifier has none.
    using IconSource = std::function<QPixmap(int iconId)>;

    // The built-in head pictures by their identifiers, when no source is given.
    explicit CIconComboBox(QWidget *parent = nullptr, IconSource source = {});

    // Appends the icon of `iconId` and returns its position; -1, and nothing
    // added, when the identifier has no icon.
    int addIcon(int iconId);
    // Appends the 24 built-in head pictures in picture order.
    void addHeadImages();

    // Selects the first entry with `iconId` and returns its position; -1 (the
    // selection unchanged) when no entry has it.
    int selectById(int iconId);

    // Exchange with a dialog's field: loading selects the field's entry (an
    // unknown identifier leaves the selection as it was); saving gives the
    // selected entry's identifier, or 0 when nothing is selected.
    void loadId(int iconId) { selectById(iconId); }
    int selectedId() const;

    // Identifier of the entry at `index`; 0 outside the list.
    int idAt(int index) const;

    // The icon of a built-in head picture's identifier (null for others).
    static QPixmap headIcon(int iconId);

    static constexpr int kIconSize = 32;
    static constexpr int kEntryHeight = kIconSize + 2;

  private:
    IconSource m_source;
};

} // namespace quillora::ui
