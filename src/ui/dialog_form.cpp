#include "dialog_form.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace quillora::ui {

QLabel *fieldLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QLineEdit *limitedEdit(QWidget *parent, int maxLength, bool masked)
{
    auto *edit = new QLineEdit(parent);
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    if (masked)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QPlainTextEdit *multiLineBox(QWidget *parent)
{
    auto *edit = new QPlainTextEdit(parent);
    edit->setTabChangesFocus(true); // Tab moves on; Return makes a new line
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return edit;
}

void limitPlainText(QPlainTextEdit *edit, int maxLength, QLabel *count)
{
    auto cutting = std::make_shared<bool>(false);
    const auto update = [edit, maxLength, count, cutting] {
        if (*cutting)
            return;
        const auto remove = [edit](int from, int to) {
            QTextCursor c(edit->document());
            c.setPosition(from);
            c.setPosition(to, QTextCursor::KeepAnchor);
            c.removeSelectedText(); // the box's own cursor moves along
        };
        int excess = int(edit->toPlainText().size()) - maxLength;
        if (excess > 0) {
            *cutting = true;
            // What went past the limit was typed or pasted just before the
            // cursor: cut it there. Text set from outside is cut at its end.
            const int end = edit->textCursor().position();
            const int start = std::max(0, end - excess);
            if (end > start) {
                remove(start, end);
                excess -= end - start;
            }
            if (excess > 0) {
                const int size = int(edit->toPlainText().size());
                remove(size - excess, size);
            }
            *cutting = false;
        }
        if (count)
            count->setText(QStringLiteral("%1 / %2").arg(edit->toPlainText().size()).arg(maxLength));
    };
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, update);
    update();
}

QLabel *countLabel(QWidget *parent)
{
    auto *count = new QLabel(parent);
    count->setForegroundRole(QPalette::PlaceholderText);
    count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return count;
}

QGridLayout *formGrid(QWidget *owner)
{
    auto *grid = new QGridLayout(owner);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    return grid;
}

QLabel *addFormRow(QGridLayout *grid, int row, const QString &label, QWidget *field, int columns)
{
    QLabel *l = fieldLabel(label, field, field->parentWidget());
    if (auto *box = qobject_cast<QPlainTextEdit *>(field)) {
        // The label's baseline lines up with the first text line of the box.
        l->setContentsMargins(0, box->frameWidth() + 2, 0, 0);
        grid->addWidget(l, row, 0, Qt::AlignTop | Qt::AlignLeft);
    } else {
        grid->addWidget(l, row, 0);
    }
    grid->addWidget(field, row, 1, 1, columns);
    return l;
}

QFrame *horizontalRule(QWidget *parent)
{
    auto *rule = new QFrame(parent);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    return rule;
}

QDialogButtonBox *formButtons(QWidget *parent, const QString &acceptText, QPushButton *&accept,
                              const QString &rejectText, QPushButton *&reject)
{
    auto *box = new QDialogButtonBox(parent);
    accept = box->addButton(acceptText, QDialogButtonBox::AcceptRole);
    reject = box->addButton(rejectText, QDialogButtonBox::RejectRole);
    for (QPushButton *button : {accept, reject})
        button->setAccessibleName(QString(button->text()).remove(QLatin1Char('&')));
    accept->setDefault(true);
    return box;
}

QVBoxLayout *dialogColumn(QWidget *dialog, int spacing)
{
    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(spacing);
    return layout;
}

void setTabChain(const QList<QWidget *> &chain)
{
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace quillora::ui
