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
    m_solution = multiLineBox(this);
    m_solutionCount = countLabel(this);
    limitPlainText(m_solution, forum::kMaxPostTextLength, m_solutionCount);

    auto *form = formGrid();
    addFormRow(form, 0, QStringLiteral("Zone:"), m_zone);
    addFormRow(form, 1, QStringLiteral("Question:"), m_question);
    addFormRow(form, 2, QStringLiteral("&Solution:"), m_solution);
    form->addWidget(m_solutionCount, 3, 1);
    form->setRowStretch(2, 1);

    auto *buttons = formButtons(this, QStringLiteral("Submit"), m_submit, QStringLiteral("Cancel"), m_cancel);

    auto *layout = dialogColumn(this, 10);
    layout->addLayout(form, 1);
    layout->addWidget(buttons);

    setTabChain({m_solution, m_submit, m_cancel});
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
