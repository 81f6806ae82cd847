#include "add_post_dialog.h"

#include "ui_resources.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace quillora::ui {

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

namespace {

QLabel *fieldLabel(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

AddPostDialog::AddPostDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                             const forum::PostingContext &context, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(forum::CAddPostDlg::captionText());
    setWindowIcon(programIcon());
    setSizeGripEnabled(true);

    m_zone = new QLabel(this);
    m_zone->setTextFormat(Qt::PlainText);
    QFont zoneFont = m_zone->font();
    zoneFont.setBold(true);
    m_zone->setFont(zoneFont);
    m_zone->setAccessibleName(QStringLiteral("Zone"));
    auto *rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    m_title = new QLineEdit(this);
    m_title->setMaxLength(forum::kMaxTitleLength);
    m_points = new QLineEdit(this);
    m_points->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_points));
    m_points->setMaxLength(9);
    m_points->setAlignment(Qt::AlignRight);
    m_points->setFixedWidth(m_points->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    auto *hint = new QLabel(QStringLiteral("(40 - 200)"), this);
    hint->setForegroundRole(QPalette::PlaceholderText);
    m_question = new QPlainTextEdit(this);
    m_question->setTabChangesFocus(true);
    m_question->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_question->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_questionCount = new QLabel(this);
    m_questionCount->setForegroundRole(QPalette::PlaceholderText);
    m_questionCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    limitPlainText(m_question, forum::kMaxPostTextLength, m_questionCount);

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(8);
    form->addWidget(fieldLabel(QStringLiteral("&Title:"), m_title, this), 0, 0);
    form->addWidget(m_title, 0, 1);
    form->addWidget(fieldLabel(QStringLiteral("&Points:"), m_points, this), 1, 0);
    auto *pointsRow = new QHBoxLayout;
    pointsRow->setSpacing(8);
    pointsRow->addWidget(m_points);
    pointsRow->addWidget(hint);
    pointsRow->addStretch(1);
    form->addLayout(pointsRow, 1, 1);
    auto *questionLabel = fieldLabel(QStringLiteral("&Question:"), m_question, this);
    form->addWidget(questionLabel, 2, 0, Qt::AlignTop | Qt::AlignLeft);
    form->addWidget(m_question, 2, 1);
    form->addWidget(m_questionCount, 3, 1);
    form->setRowStretch(2, 1);
    form->setColumnStretch(1, 1);
    // The labels' baseline lines up with the first text line of the box.
    questionLabel->setContentsMargins(0, m_question->frameWidth() + 2, 0, 0);

    auto *buttons = new QDialogButtonBox(this);
    m_submit = buttons->addButton(QStringLiteral("Submit"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_submit->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(m_zone);
    layout->addWidget(rule);
    layout->addSpacing(2);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);

    setTabOrder(m_title, m_points);
    setTabOrder(m_points, m_question);
    setTabOrder(m_question, m_submit);
    setTabOrder(m_submit, m_cancel);
    setMinimumSize(440, 340);
    resize(560, 430);

    m_rules = std::make_unique<forum::CAddPostDlg>(site, *this, messages, context);
    connect(m_submit, &QPushButton::clicked, this, [this] { m_rules->onSubmit(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
    m_rules->onInitDialog();
}

AddPostDialog::~AddPostDialog() = default;

void AddPostDialog::setZoneLine(const QString &text)
{
    m_zone->setText(text);
    m_zone->setToolTip(text);
}
QString AddPostDialog::titleText() const
{
    return m_title->text();
}
void AddPostDialog::setTitleText(const QString &text)
{
    if (m_title->text() != text)
        m_title->setText(text);
}
QString AddPostDialog::pointsText() const
{
    return m_points->text();
}
void AddPostDialog::setPointsText(const QString &text)
{
    m_points->setText(text);
}
QString AddPostDialog::questionText() const
{
    return m_question->toPlainText();
}
void AddPostDialog::setQuestionText(const QString &text)
{
    m_question->setPlainText(text);
}

void AddPostDialog::focusTitle()
{
    setFocusTarget(m_title, false);
}
void AddPostDialog::focusQuestion()
{
    setFocusTarget(m_question, false);
}
void AddPostDialog::selectPoints()
{
    setFocusTarget(m_points, true);
}

void AddPostDialog::setFocusTarget(QWidget *target, bool selectAll)
{
    m_focusTarget = target;
    m_focusSelectAll = selectAll;
    applyFocus();
}

void AddPostDialog::applyFocus()
{
    if (!isVisible() || !m_focusTarget)
        return; // done when the dialog is shown
    m_focusTarget->setFocus(Qt::OtherFocusReason);
    if (m_focusSelectAll && m_focusTarget == m_points)
        m_points->selectAll();
}

void AddPostDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void AddPostDialog::reject()
{
    m_rules->onCancel();
}

void AddPostDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyFocus();
}

bool execAddPostDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                       const forum::PostingContext &context, QWidget *parent)
{
    AddPostDialog dialog(site, messages, context, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace quillora::ui
