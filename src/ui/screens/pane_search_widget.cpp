#include "pane_search_widget.h"

#include "main_frame.h"
#include "main_frame_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillora::ui {

namespace {

// A question ID is at most ten digits (an int).
constexpr int kQuestionIdMaxLength = 10;

QGroupBox *makeGroup(const QString &caption, const QString &objectName, QWidget *parent)
{
    auto *group = new QGroupBox(caption, parent);
    group->setObjectName(objectName);
    return group;
}

// One "caption: field" row; the field takes the spare width.
void addRow(QGridLayout *grid, int row, const QString &caption, QWidget *field)
{
    auto *label = new QLabel(caption);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
}

QPushButton *addSearchButton(QGridLayout *grid, int row, const QString &objectName)
{
    auto *button = new QPushButton(QStringLiteral("Start Search"));
    button->setObjectName(objectName);
    grid->addWidget(button, row, 0, 1, 2, Qt::AlignRight);
    return button;
}

} // namespace

PaneSearchWidget::PaneSearchWidget(platform::MessageBoxes &messages, forum::CPaneSearch::ZoneViewsSource zones,
                                   QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("paneSearch"));
    auto *layout = new QVBoxLayout(this);

    QGroupBox *byId = makeGroup(QStringLiteral("Search by Question ID"), QStringLiteral("searchByIdGroup"), this);
    auto *idGrid = new QGridLayout(byId);
    idGrid->setColumnStretch(1, 1);
    m_questionId = new QLineEdit;
    m_questionId->setObjectName(QStringLiteral("questionIdEdit"));
    m_questionId->setMaxLength(kQuestionIdMaxLength);
    m_questionId->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_questionId));
    addRow(idGrid, 0, QStringLiteral("Question ID:"), m_questionId);
    m_byId = addSearchButton(idGrid, 1, QStringLiteral("searchByIdButton"));
    layout->addWidget(byId);

    QGroupBox *byTitle =
        makeGroup(QStringLiteral("Search by Question Title"), QStringLiteral("searchByTitleGroup"), this);
    auto *titleGrid = new QGridLayout(byTitle);
    titleGrid->setColumnStretch(1, 1);
    m_keyword = new QLineEdit;
    m_keyword->setObjectName(QStringLiteral("keywordEdit"));
    addRow(titleGrid, 0, QStringLiteral("Keyword:"), m_keyword);
    // Pick-only lists: a title search always names a catalogue column.
    m_category = new QComboBox;
    m_category->setObjectName(QStringLiteral("categorySelector"));
    m_category->setEditable(false);
    m_category->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_category->setMinimumContentsLength(8);
    addRow(titleGrid, 1, QStringLiteral("Category:"), m_category);
    m_column = new QComboBox;
    m_column->setObjectName(QStringLiteral("columnSelector"));
    m_column->setEditable(false);
    m_column->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_column->setMinimumContentsLength(8);
    addRow(titleGrid, 2, QStringLiteral("Zone:"), m_column);
    m_byTitle = addSearchButton(titleGrid, 3, QStringLiteral("searchByTitleButton"));
    layout->addWidget(byTitle);

    QGroupBox *byAuthor =
        makeGroup(QStringLiteral("Search by Asker's Username"), QStringLiteral("searchByAuthorGroup"), this);
    auto *authorGrid = new QGridLayout(byAuthor);
    authorGrid->setColumnStretch(1, 1);
    m_userName = new QLineEdit;
    m_userName->setObjectName(QStringLiteral("userNameEdit"));
    addRow(authorGrid, 0, QStringLiteral("Username:"), m_userName);
    m_byAuthor = addSearchButton(authorGrid, 1, QStringLiteral("searchByAuthorButton"));
    layout->addWidget(byAuthor);
    layout->addStretch(1);

    m_rules = std::make_unique<forum::CPaneSearch>(*this, messages, std::move(zones));

    connect(m_byId, &QPushButton::clicked, this, [this] { m_rules->onSearchById(); });
    connect(m_byTitle, &QPushButton::clicked, this, [this] { m_rules->onSearchByTitle(); });
    connect(m_byAuthor, &QPushButton::clicked, this, [this] { m_rules->onSearchByAuthor(); });
    // Return in a group's edit starts that group's search.
    connect(m_questionId, &QLineEdit::returnPressed, m_byId, &QPushButton::click);
    connect(m_keyword, &QLineEdit::returnPressed, m_byTitle, &QPushButton::click);
    connect(m_userName, &QLineEdit::returnPressed, m_byAuthor, &QPushButton::click);
    // The narrow pane may cut a label short; the tip shows it whole.
    for (QComboBox *selector : {m_category, m_column})
        connect(selector, &QComboBox::currentTextChanged, selector, &QComboBox::setToolTip);
    connect(m_category, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling)
            m_rules->onCategoryChanged(index);
    });
    connect(m_column, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling)
            m_rules->onColumnChanged(index);
    });
}

PaneSearchWidget::~PaneSearchWidget() = default;

void PaneSearchWidget::followZone(int zoneIndex)
{
    m_rules->followZone(zoneIndex);
}

QString PaneSearchWidget::questionIdText() const
{
    return m_questionId->text();
}

QString PaneSearchWidget::keywordText() const
{
    return m_keyword->text();
}

QString PaneSearchWidget::userNameText() const
{
    return m_userName->text();
}

void PaneSearchWidget::setCategoryItems(const QStringList &labels, int selected)
{
    fill(m_category, labels, selected);
}

void PaneSearchWidget::setColumnItems(const QStringList &labels, int selected)
{
    fill(m_column, labels, selected);
}

void PaneSearchWidget::fill(QComboBox *selector, const QStringList &labels, int selected)
{
    m_filling = true;
    selector->clear();
    selector->addItems(labels);
    selector->setCurrentIndex(selected);
    m_filling = false;
}

void PaneSearchWidget::focusQuestionIdSelectAll()
{
    m_questionId->setFocus(Qt::OtherFocusReason);
    m_questionId->selectAll();
}

void PaneSearchWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_rules->onFirstShow();
}

PaneSearchWidget *installSearchPane(MainFrameWindow &frame, platform::MessageBoxes &messages)
{
    if (!frame.isCreated())
        return nullptr;
    presence::CMainFrame &rules = frame.frame();
    auto *pane = new PaneSearchWidget(messages, [&rules]() -> presence::ZoneViews & { return rules.zoneViews(); });
    QPointer<PaneSearchWidget> guard(pane);
    // The pane's view exists from here on, so a zone change only makes it
    // follow: a pane the member collapsed stays collapsed.
    rules.dialogs().searchPaneZone = [guard](int zoneIndex) {
        if (guard)
            guard->followZone(zoneIndex);
    };
    frame.setPaneView(presence::FramePane::Search, pane);
    return pane;
}

} // namespace quillora::ui
