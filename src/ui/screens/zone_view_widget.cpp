#include "zone_view_widget.h"

#include "forum_icons.h"
#include "head_image_pictures.h"
#include "markup_list_ctrl.h"
#include "member_values.h"
#include "ui_resources.h"
#include "zone_tree_ctrl.h"
#include "zone_view_parts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace quillora::ui {

using namespace zone_parts;

ZoneViewWidget::ZoneViewWidget(int zoneIndex, const ZoneViewContext &context, forum::ZoneViewHooks hooks,
                               QWidget *parent)
    : QWidget(parent), m_zoneIndex(zoneIndex), m_screen(screenSizeOr(context.screenSize)),
      m_faceDirectory(context.customFaceDirectory), m_web(context.web),
      m_runDialog([](CExpertInfo &dialog) { dialog.exec(); })
{
    setObjectName(forum::viewClassName(zoneIndex));
    for (int t = 0; t < forum::kOnlineExpertsMax; ++t)
        m_pictures.append(builtInHeadPixmap(t % session::kBuiltInHeadCount + 1));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildLeftPanel());

    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    m_stack = new QStackedWidget(right);
    m_stack->setObjectName(QStringLiteral("rightArea"));
    buildPostList();
    buildAnnouncementList();
    rightLayout->addWidget(m_stack, 1);
    rightLayout->addWidget(buildBottomBar());
    layout->addWidget(right, 1);

    m_rules = std::make_unique<forum::CZoneView>(zoneIndex, context.site, *context.browsing, *context.member, *this,
                                                 *context.messages, *context.opener, context.customFaceDirectory,
                                                 std::move(hooks), this, context.customFaces);
}

ZoneViewWidget::~ZoneViewWidget()
{
    // The page goes before the profile it was made in (which may be shared).
    if (m_browser) {
        delete m_page;
        delete m_browser;
        m_browser = nullptr;
    }
}

QWidget *ZoneViewWidget::buildLeftPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("leftPanel"));
    panel->setFixedWidth(kZoneLeftPanelWidth);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, QColor(233, 238, 245));
    panel->setPalette(pal);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 1, 0);
    layout->setSpacing(0);

    m_experts = new QListWidget(panel);
    m_experts->setObjectName(QStringLiteral("onlineExperts"));
    m_experts->setAccessibleName(QStringLiteral("Online Experts"));
    m_experts->setItemDelegate(new ExpertDelegate(m_experts));
    m_experts->setFrameShape(QFrame::NoFrame);
    m_experts->setSelectionMode(QAbstractItemView::SingleSelection);
    m_experts->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_experts->setUniformItemSizes(true);
    m_experts->setMouseTracking(true);
    m_experts->setAttribute(Qt::WA_Hover);
    QPalette white = m_experts->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    m_experts->setPalette(white);
    connect(m_experts, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { openExpertProfile(m_experts->row(item)); });

    m_tree = new CZoneTreeCtrl(m_zoneIndex, panel);
    m_tree->setObjectName(QStringLiteral("zoneTree"));
    m_tree->setAccessibleName(QStringLiteral("Select a Zone"));
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The longest column labels fit the 180-pixel panel.
    m_tree->setIndentation(12);
    QFont treeFont = m_tree->font();
    treeFont.setPointSizeF(treeFont.pointSizeF() * 0.92);
    m_tree->setFont(treeFont);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item, int) {
        flush();
        m_rules->openTreeItem(CZoneTreeCtrl::itemData(item));
    });
    new ReturnKeyOpens(m_tree, [this] {
        if (QTreeWidgetItem *item = m_tree->currentItem()) {
            flush();
            m_rules->openTreeItem(CZoneTreeCtrl::itemData(item));
        }
    });
    new ReturnKeyOpens(m_experts, [this] {
        if (QListWidgetItem *item = m_experts->currentItem())
            openExpertProfile(m_experts->row(item));
    });

    m_expertGroup = new ZonePanelGroup(QStringLiteral("Online Experts"), m_experts, panel);
    m_expertGroup->setObjectName(QStringLiteral("expertsGroup"));
    m_treeGroup = new ZonePanelGroup(QStringLiteral("Select a Zone"), m_tree, panel);
    m_treeGroup->setObjectName(QStringLiteral("treeGroup"));
    layout->addWidget(m_expertGroup, 1);
    auto *line = new QFrame(panel);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: #b0bac8; border: none;"));
    layout->addWidget(line);
    layout->addWidget(m_treeGroup, 1);

    // A hairline between the panel and the right area.
    auto *frame = new QWidget(this);
    auto *frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->setSpacing(0);
    frameLayout->addWidget(panel);
    auto *edge = new QFrame(frame);
    edge->setFixedWidth(1);
    edge->setStyleSheet(QStringLiteral("background: #9aa6b6; border: none;"));
    frameLayout->addWidget(edge);
    frame->setFixedWidth(kZoneLeftPanelWidth + 1);
    return frame;
}

void ZoneViewWidget::buildPostList()
{
    m_posts = new QTreeWidget(m_stack);
    m_posts->setObjectName(QStringLiteral("postList"));
    m_posts->setAccessibleName(QStringLiteral("Questions"));
    m_posts->setColumnCount(forum::kPostCellCount);
    m_posts->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Title"), QStringLiteral("Member"),
                              QStringLiteral("Points"), QStringLiteral("Replies"), QStringLiteral("Date"),
                              QStringLiteral("ColumnID")});
    m_posts->setRootIsDecorated(false);
    m_posts->setItemsExpandable(false);
    m_posts->setUniformRowHeights(true);
    m_posts->setSortingEnabled(false);
    m_posts->setSelectionMode(QAbstractItemView::SingleSelection);
    m_posts->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_posts->setAllColumnsShowFocus(true);
    m_posts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_posts->setAlternatingRowColors(true);
    m_posts->setFrameShape(QFrame::NoFrame);
    QPalette pal = m_posts->palette();
    pal.setColor(QPalette::AlternateBase, kOddRowColor);
    m_posts->setPalette(pal);
    m_posts->setItemDelegate(new FixedRowDelegate(forum::postRowHeight(m_screen.height()), m_posts));

    QHeaderView *header = m_posts->header();
    header->setSectionsClickable(false);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(0);
    // Each header sits as its cells do: Title on the left, the figures centred.
    for (int c = 0; c < forum::kPostCellCount; ++c) {
        const bool centred = c >= forum::CellMember && c <= forum::CellDate;
        m_posts->headerItem()->setTextAlignment(c, centred ? Qt::Alignment(Qt::AlignCenter)
                                                           : Qt::AlignLeft | Qt::AlignVCenter);
    }
    const QList<int> widths = forum::postListCellWidths(m_screen.width());
    for (int c = 0; c < forum::kPostCellCount && c < widths.size(); ++c) {
        header->resizeSection(c, widths.at(c));
        if (widths.at(c) == 0)
            m_posts->setColumnHidden(c, true);
    }
    // The widths come from the screen, but docked panes take part of it: the
    // Title cell gives or takes the difference, so Member to Date stay in view
    // without a horizontal scroll bar.
    header->setSectionResizeMode(forum::CellTitle, QHeaderView::Stretch);
    connect(m_posts, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *, int) {
        flush();
        QTreeWidgetItem *item = m_posts->currentItem();
        m_rules->openRow(item ? m_posts->indexOfTopLevelItem(item) : -1);
    });
    new ReturnKeyOpens(m_posts, [this] {
        if (QTreeWidgetItem *item = m_posts->currentItem()) {
            flush();
            m_rules->openRow(m_posts->indexOfTopLevelItem(item));
        }
    });
    m_stack->addWidget(m_posts);
}

void ZoneViewWidget::buildAnnouncementList()
{
    m_announcements = new CMarkupListCtrl(m_stack, 1000 + m_zoneIndex);
    m_announcements->setObjectName(QStringLiteral("announcementList"));
    m_announcements->setAccessibleName(QStringLiteral("Announcements"));
    m_announcements->SetStyle(CMarkupListCtrl::Images);
    m_announcements->SetImageList(announcementKindIcons());
    m_announcements->SetHeaderText(QStringLiteral("Announcements"));
    m_announcements->SetHeaderHeight(CMarkupListCtrl::headerHeightForScreen(m_screen.height()));
    m_announcements->setFrameShape(QFrame::NoFrame);
    connect(m_announcements, &CMarkupListCtrl::notify, this, [this](const MarkupListNotification &n) {
        if (n.code == CMarkupListCtrl::Activate && n.item >= 0) {
            flush();
            m_rules->activateAnnouncement(n.item);
        }
    });
    m_stack->addWidget(m_announcements);
}

QWidget *ZoneViewWidget::buildBottomBar()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("bottomBar"));
    bar->setFixedHeight(kZoneBottomBarHeight);
    // A hairline on top sets the bar off from the list above it.
    bar->setAttribute(Qt::WA_StyledBackground);
    bar->setStyleSheet(QStringLiteral("QWidget#bottomBar { background: #eceff4; border-top: 1px solid #b8c2d0; }"));
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);

    m_previous = barButton(QStringLiteral("Previous"), QStringLiteral("previous"), bar);
    m_current = barButton(QStringLiteral("Current"), QStringLiteral("current"), bar);
    m_next = barButton(QStringLiteral("Next"), QStringLiteral("next"), bar);
    layout->addWidget(m_previous);
    layout->addWidget(m_current);
    layout->addWidget(m_next);
    layout->addStretch(1);

    m_pageCount = new QLabel(forum::singlePageText(), bar);
    m_pageCount->setObjectName(QStringLiteral("pageCount"));
    m_pageField = new QLineEdit(QStringLiteral("1"), bar);
    m_pageField->setObjectName(QStringLiteral("pageField"));
    m_pageField->setToolTip(QStringLiteral("Page number"));
    m_pageField->setAccessibleName(QStringLiteral("Page number"));
    m_pageField->setFixedSize(44, kZoneBottomBarHeight - 4);
    m_pageField->setAlignment(Qt::AlignCenter);
    m_jump = barButton(QStringLiteral("Jump to"), QStringLiteral("jump"), bar);
    layout->addWidget(m_pageCount);
    layout->addSpacing(2);
    layout->addWidget(m_pageField);
    layout->addWidget(m_jump);
    layout->addStretch(1);

    m_ask = barButton(QStringLiteral("Ask Question"), QStringLiteral("ask"), bar);
    m_answer = barButton(QStringLiteral("Answer Question"), QStringLiteral("answer"), bar);
    m_close = barButton(QStringLiteral("Close Questions"), QStringLiteral("closeQuestions"), bar);
    m_ask->setIcon(commandIcon(QStringLiteral("ask-question")));
    m_answer->setIcon(commandIcon(QStringLiteral("answer-question")));
    m_close->setIcon(commandIcon(QStringLiteral("close-questions")));
    m_answer->hide();
    layout->addWidget(m_ask);
    layout->addWidget(m_answer);
    layout->addWidget(m_close);

    auto run = [this](void (forum::CZoneView::*command)()) {
        return [this, command] {
            flush();
            (m_rules.get()->*command)();
        };
    };
    connect(m_previous, &QPushButton::clicked, this, run(&forum::CZoneView::previousPage));
    connect(m_next, &QPushButton::clicked, this, run(&forum::CZoneView::nextPage));
    connect(m_current, &QPushButton::clicked, this, run(&forum::CZoneView::current));
    connect(m_jump, &QPushButton::clicked, this, run(&forum::CZoneView::jumpToPage));
    connect(m_pageField, &QLineEdit::returnPressed, this, run(&forum::CZoneView::jumpToPage));
    connect(m_ask, &QPushButton::clicked, this, run(&forum::CZoneView::askQuestion));
    connect(m_answer, &QPushButton::clicked, this, run(&forum::CZoneView::answerQuestion));
    connect(m_close, &QPushButton::clicked, this, run(&forum::CZoneView::closeQuestions));
    return bar;
}

void ZoneViewWidget::flush()
{
    // Let the click's own painting finish before a synchronous call blocks.
    if (QWidget *w = window())
        w->repaint();
}

QWidget *ZoneViewWidget::frontPane() const
{
    return m_stack->currentWidget();
}

void ZoneViewWidget::showPane(forum::ZonePane pane)
{
    switch (pane) {
    case forum::ZonePane::PostList:
        m_stack->setCurrentWidget(m_posts);
        break;
    case forum::ZonePane::Announcements:
        m_stack->setCurrentWidget(m_announcements);
        break;
    case forum::ZonePane::QuestionPage:
        m_stack->setCurrentWidget(ensureBrowser());
        break;
    }
}

void ZoneViewWidget::setListsEnabled(bool postListEnabled, bool announcementsEnabled)
{
    m_posts->setEnabled(postListEnabled);
    m_announcements->setEnabled(announcementsEnabled);
}

void ZoneViewWidget::setBottomBar(const forum::BottomBarState &state)
{
    m_previous->setEnabled(state.previousEnabled);
    m_next->setEnabled(state.nextEnabled);
    m_current->setEnabled(state.currentEnabled);
    m_jump->setEnabled(state.jumpEnabled);
    m_pageField->setEnabled(state.pageFieldEnabled);
    m_close->setEnabled(state.closeQuestionsEnabled);
    m_ask->setEnabled(state.askEnabled);
    m_answer->setEnabled(state.answerEnabled);
    m_ask->setVisible(state.askShown);
    m_answer->setVisible(!state.askShown);
}

void ZoneViewWidget::setPageCountText(const QString &text)
{
    m_pageCount->setText(text);
}

void ZoneViewWidget::setPageFieldText(const QString &text)
{
    m_pageField->setText(text);
}

QString ZoneViewWidget::pageFieldText() const
{
    return m_pageField->text();
}

void ZoneViewWidget::focusPageField()
{
    m_pageField->setFocus(Qt::OtherFocusReason);
    m_pageField->selectAll();
}

} // namespace quillora::ui
