#include "add_reply_dialog.h"

#include "dialog_form.h"
#include "ui_resources.h"

#include "plain_tool_tip.h"
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::ui {
namespace {

// A read-only line that still lets the member select and copy its text, and
// looks like information rather than an input box.
QLineEdit *readOnlyLine(QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    edit->setPalette(p);
    return edit;
}

} // namespace

AddReplyDialog::AddReplyDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                               const forum::PostingContext &context, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(forum::CAddReplyDlg::captionText());
    setWindowIcon(programIcon());
    setSizeGripEnabled(true);

    m_zone = readOnlyLine(this);
    m_question = readOnlyLine(this);
    m_solution = new QPlainTextEdit(this);
    m_solution->setTabChangesFocus(true);
    m_solution->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_solutionCount = new QLabel(this);
    m_solutionCount->setForegroundRole(QPalette::PlaceholderText);
    m_solutionCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    limitPlainText(m_solution, forum::kMaxPostTextLength, m_solutionCount);

    auto *form = new QGridLayout;
    form->setHorizontalSpacing(10);
    form->setVerticalSpacing(8);
    auto *zoneLabel = new QLabel(QStringLiteral("Zone:"), this);
    zoneLabel->setBuddy(m_zone);
    auto *questionLabel = new QLabel(QStringLiteral("Question:"), this);
    questionLabel->setBuddy(m_question);
    auto *solutionLabel = new QLabel(QStringLiteral("&Solution:"), this);
    solutionLabel->setBuddy(m_solution);
    solutionLabel->setContentsMargins(0, m_solution->frameWidth() + 2, 0, 0);
    form->addWidget(zoneLabel, 0, 0);
    form->addWidget(m_zone, 0, 1);
    form->addWidget(questionLabel, 1, 0);
    form->addWidget(m_question, 1, 1);
    form->addWidget(solutionLabel, 2, 0, Qt::AlignTop | Qt::AlignLeft);
    form->addWidget(m_solution, 2, 1);
    form->addWidget(m_solutionCount, 3, 1);
    form->setRowStretch(2, 1);
    form->setColumnStretch(1, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_submit = buttons->addButton(QStringLiteral("Submit"), QDialogButtonBox::AcceptRole);
    m_cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_submit->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);

    setTabOrder(m_solution, m_submit);
    setTabOrder(m_submit, m_cancel);
    setMinimumSize(440, 320);
    resize(560, 400);

    m_rules = std::make_unique<forum::CAddReplyDlg>(site, *this, messages, context);
    connect(m_submit, &QPushButton::clicked, this, [this] { m_rules->onSubmit(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_rules->onCancel(); });
    m_rules->onInitDialog();
}

AddReplyDialog::~AddReplyDialog() = default;

void AddReplyDialog::setZoneText(const QString &text)
{
    m_zone->setText(text);
    m_zone->setCursorPosition(0);
}
void AddReplyDialog::setQuestionTitle(const QString &text)
{
    m_question->setText(text);
    m_question->setCursorPosition(0); // a long title shows its beginning
    m_question->setToolTip(plainToolTip(text));
}
QString AddReplyDialog::solutionText() const
{
    return m_solution->toPlainText();
}
void AddReplyDialog::setSolutionText(const QString &text)
{
    m_solution->setPlainText(text);
}

void AddReplyDialog::focusSolution()
{
    m_focusSolution = true;
    if (isVisible())
        m_solution->setFocus(Qt::OtherFocusReason);
}

void AddReplyDialog::endDialog(bool accepted)
{
    done(accepted ? QDialog::Accepted : QDialog::Rejected);
}

void AddReplyDialog::reject()
{
    m_rules->onCancel();
}

void AddReplyDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_focusSolution)
        m_solution->setFocus(Qt::OtherFocusReason);
}

bool execAddReplyDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                        const forum::PostingContext &context, QWidget *parent)
{
    AddReplyDialog dialog(site, messages, context, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace quillora::ui
