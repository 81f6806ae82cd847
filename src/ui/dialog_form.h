// The pieces the form dialogs are built from, so that every form reads and
// answers the keyboard the same way: a label whose mnemonic reaches its field,
// a one-line edit with a length limit, a multi-line box that Tab leaves, the
// labelled grid, the rule between a dialog's parts and the button box. Each
// dialog still places the pieces itself: its own layout, texts and sizes.
#pragma once

#include <QList>
#include <QString>

class QDialogButtonBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace quillora::ui {

// A label whose mnemonic ("&Title:") moves the focus to `buddy`.
QLabel *fieldLabel(const QString &text, QWidget *buddy, QWidget *parent);

// A one-line edit that takes at most `maxLength` characters (0: no limit of
// its own); `masked` shows dots instead of the text, for passwords.
QLineEdit *limitedEdit(QWidget *parent, int maxLength = 0, bool masked = false);

// A multi-line box in which Return makes a new line and Tab moves on; lines
// wrap at the box's width and the vertical scroll bar is always there.
QPlainTextEdit *multiLineBox(QWidget *parent);

// Keeps a multi-line box at `maxLength` characters: typing or pasting past it
// is cut off at the cursor. `count`, when given, shows "used / max".
void limitPlainText(QPlainTextEdit *edit, int maxLength, QLabel *count = nullptr);

// The greyed, right-aligned "used / max" line under a limited box.
QLabel *countLabel(QWidget *parent);

// The grid of a form: labels in column 0, their fields from column 1 (the
// column that takes the width), 10 pixels across and 8 down. `owner` is the
// widget the grid lays out, if any.
QGridLayout *formGrid(QWidget *owner = nullptr);

// One row of a form grid: the label, buddy of `field`, in column 0 and the
// field from column 1 over `columns` columns. Beside a multi-line box the
// label sits at the top, level with the box's first line of text. The label
// belongs to the field's parent. Returns the label.
QLabel *addFormRow(QGridLayout *grid, int row, const QString &label, QWidget *field, int columns = 1);

// The sunken line between two parts of a dialog.
QFrame *horizontalRule(QWidget *parent);

// The dialog's two buttons in a button box, set into `accept` (the default
// button) and `reject`. Each button's accessible name is its text without the
// mnemonic mark.
QDialogButtonBox *formButtons(QWidget *parent, const QString &acceptText, QPushButton *&accept,
                              const QString &rejectText, QPushButton *&reject);

// The column that holds a dialog's parts: 14 pixels from the left and right
// edges, 12 from the top and bottom, `spacing` between the parts.
QVBoxLayout *dialogColumn(QWidget *dialog, int spacing);

// Tab goes through `chain` in the order given.
void setTabChain(const QList<QWidget *> &chain);

} // namespace quillora::ui
