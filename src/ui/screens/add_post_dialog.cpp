#include "add_post_dialog.h"

#include "dialog_form.h"
#include "ui_resources.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace quillora::ui {

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
    auto *rule = horizontalRule(this);

    m_title = limitedEdit(this, forum::kMaxTitleLength);
    m_points = limitedEdit(this, 9);
    m_points->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_points));
    m_points->setAlignment(Qt::AlignRight);
    m_points->setFixedWidth(m_points->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    auto *hint = new QLabel(QStringLiteral("(40 - 200)"), this);
    hint->setForegroundRole(QPalette::PlaceholderText);
    m_question = multiLineBox(this);
    m_questionCount = countLabel(this);
    limitPlainText(m_question, forum::kMaxPostTextLength, m_questionCount);

    auto *form = formGrid();
    addFormRow(form, 0, QStringLiteral("&Title:"), m_title);
    form->addWidget(fieldLabel(QStringLiteral("&Points:"), m_points, this), 1, 0);
    auto *pointsRow = new QHBoxLayout;
    pointsRow->setSpacing(8);
    pointsRow->addWidget(m_points);
    pointsRow->addWidget(hint);
    pointsRow->addStretch(1);
    form->addLayout(pointsRow, 1, 1);
    addFormRow(form, 2, QStringLiteral("&Question:"), m_question);
    form->addWidget(m_questionCount, 3, 1);
    form->setRowStretch(2, 1);

    auto *buttons = formButtons(this, QStringLiteral("Submit"), m_submit, QStringLiteral("Cancel"), m_cancel);

    auto *layout = dialogColumn(this, 8);
    layout->addWidget(m_zone);
    layout->addWidget(rule);
    layout->addSpacing(2);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);

    setTabChain({m_title, m_points, m_question, m_submit, m_cancel});
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
