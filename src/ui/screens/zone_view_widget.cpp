#include "zone_view_widget.h"

#include "forum_icons.h"
#include "head_image_pictures.h"
#include "markup_list_ctrl.h"
#include "member_values.h"
#include "platform/message_box.h"
#include "result_document.h"
#include "shared_graphics_context.h"
#include "ui/system_open.h"
#include "ui_resources.h"
#include "web_engine_host.h"
#include "zone_tree_ctrl.h"

#include "plain_tool_tip.h"
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>

namespace quillora::ui {

namespace {

constexpr int kHeadSize = 32;
constexpr int kBadgeCount = 10;
constexpr int kExpertRowHeight = 42;
const QColor kOddRowColor(245, 245, 245);
const QColor kPanelLine(176, 186, 200);

QPixmap badgePixmap(int badgeIndex)
{
    if (badgeIndex < 0 || badgeIndex >= kBadgeCount)
        return {};
    return QPixmap(QStringLiteral(":/quillora/images/badges/level-%1.png").arg(badgeIndex + 1));
}

// Every post list row is one fixed height, whatever the font.
class FixedRowDelegate : public QStyledItemDelegate {
  public:
    FixedRowDelegate(int height, QObject *parent) : QStyledItemDelegate(parent), m_height(height) {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(m_height);
        return size;
    }

  private:
    int m_height;
};

// An online expert: the 32x32 picture, the nickname and, below it, the
// zone-rank badge, on white.
enum ExpertRole { BadgeRole = Qt::UserRole + 1 };

class ExpertDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        (void)index;
        return QSize(option.rect.width(), kExpertRowHeight);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painter->save();
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        const bool hover = option.state & QStyle::State_MouseOver;
        if (selected) {
            painter->fillRect(r.adjusted(1, 1, -1, -1), CMarkupListCtrl::kSelectionColor.lighter(125));
            painter->setPen(CMarkupListCtrl::kSelectionColor.darker(115));
            painter->drawRect(r.adjusted(1, 1, -2, -2));
        } else if (hover) {
            painter->fillRect(r.adjusted(1, 1, -1, -1), QColor(236, 244, 252));
        }
        const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
        const QRect face(r.left() + 6, r.top() + (r.height() - kHeadSize) / 2, kHeadSize, kHeadSize);
        if (!picture.isNull())
            painter->drawPixmap(face, picture);
        painter->setPen(QColor(190, 190, 190));
        painter->drawRect(face.adjusted(-1, -1, 0, 0));

        const int textLeft = face.right() + 9;
        QFont font = option.font;
        painter->setFont(font);
        painter->setPen(Qt::black);
        const QFontMetrics metrics(font);
        const QString name =
            metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, r.right() - textLeft - 4);
        painter->drawText(QRect(textLeft, r.top() + 5, r.right() - textLeft - 4, metrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, name);
        const QPixmap badge = index.data(BadgeRole).value<QPixmap>();
        if (!badge.isNull())
            painter->drawPixmap(textLeft, r.bottom() - 5 - badge.height(), badge);
        painter->restore();
    }
};

QPushButton *barButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFixedHeight(kZoneBottomBarHeight - 4);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(text) + 22);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

// Return or Enter on a list does what a double-click on its current row
// does, so the lists work from the keyboard.
class ReturnKeyOpens : public QObject {
  public:
    ReturnKeyOpens(QAbstractItemView *view, std::function<void()> open) : QObject(view), m_open(std::move(open))
    {
        view->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                m_open();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> m_open;
};

QSize screenSizeOr(QSize size)
{
    if (size.isValid() && !size.isEmpty())
        return size;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->geometry().size();
    return QSize(1024, 768);
}

} // namespace

// One of the left panel's two groups: a header that folds the body away.
class ZonePanelGroup : public QWidget {
  public:
    ZonePanelGroup(const QString &caption, QWidget *body, QWidget *parent) : QWidget(parent), m_body(body)
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        m_header = new QToolButton(this);
        m_header->setObjectName(QStringLiteral("groupHeader"));
        m_header->setText(caption);
        m_header->setCheckable(true);
        m_header->setChecked(true);
        m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        m_header->setArrowType(Qt::DownArrow);
        m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_header->setFixedHeight(24);
        m_header->setAutoRaise(true);
        m_header->setStyleSheet(QStringLiteral(
            "QToolButton { border: none; border-bottom: 1px solid #b0bac8; padding-left: 4px; font-weight: bold;"
            " color: #1f3a5f; text-align: left;"
            " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f7fb, stop:1 #dde5ef); }"
            "QToolButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfdff,"
            " stop:1 #e6edf6); }"));
        layout->addWidget(m_header);
        layout->addWidget(body, 1);
        connect(m_header, &QToolButton::toggled, this, [this](bool open) {
            m_header->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
            m_body->setVisible(open);
            // A folded group gives its room to the other one.
            setSizePolicy(QSizePolicy::Preferred, open ? QSizePolicy::Expanding : QSizePolicy::Fixed);
            updateGeometry();
        });
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    }
    bool isOpen() const { return m_header->isChecked(); }
    QToolButton *header() const { return m_header; }

  private:
    QToolButton *m_header;
    QWidget *m_body;
};

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

QWebEngineView *ZoneViewWidget::ensureBrowser()
{
    if (m_browser)
        return m_browser;
    // The first browser of the program starts the engine: the graphics
    // context it shares with the widgets and its page (which carries the
    // connection settings into the engine's start) come before the view.
    realizeSharedGraphicsContext();
    QWebEnginePage *page = m_web ? m_web->pageFor(nullptr, this) : nullptr;
    m_browser = new QWebEngineView(m_stack);
    m_browser->setObjectName(QStringLiteral("questionPage"));
    m_browser->setAccessibleName(QStringLiteral("Question page"));
    m_browser->setContextMenuPolicy(Qt::NoContextMenu);
    if (page) {
        page->setParent(m_browser);
        m_browser->setPage(page);
        m_page = page;
    } else {
        m_page = m_browser->page(); // the engine's default profile
    }
    m_stack->addWidget(m_browser);
    connect(m_browser, &QWebEngineView::loadFinished, this, &ZoneViewWidget::pageLoadFinished);
    return m_browser;
}

void ZoneViewWidget::preparePage()
{
    if (!m_web)
        return;
    QWebEnginePage *page = m_web->pageFor(m_page, m_browser);
    if (page == m_page)
        return;
    // The view does not delete a page it did not make; the old one (and with
    // the last of them the old profile) goes now, not with the view.
    const QPointer<QWebEnginePage> old = m_page;
    m_browser->setPage(page);
    m_page = page;
    if (old)
        old->deleteLater();
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

ExpertProfile ZoneViewWidget::expertProfileOf(const forum::OnlineExpert &expert)
{
    ExpertProfile profile;
    const QStringList &f = expert.fields;
    auto text = [&f](int i) { return i < f.size() ? f.at(i) : QString(); };
    auto number = [&f](int i) { return i < f.size() ? service::leadingInt(f.at(i)) : 0; };
    profile.customImageName = text(0);
    profile.userName = text(1);
    profile.nickname = text(2);
    profile.headImage = number(4);
    profile.credit = text(5);
    profile.zoneRank = number(6);
    profile.expertArea = number(7);
    profile.customFlag = number(8);
    return profile;
}

void ZoneViewWidget::openExpertProfile(int index)
{
    const QList<forum::OnlineExpert> &experts = m_rules->onlineExperts();
    if (index < 0 || index >= experts.size())
        return;
    CExpertInfo dialog(expertProfileOf(experts.at(index)), m_faceDirectory, this);
    m_runDialog(dialog);
}

void ZoneViewWidget::setPostRows(const QList<QStringList> &rows)
{
    m_posts->setUpdatesEnabled(false);
    m_posts->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(rows.size());
    for (const QStringList &cells : rows) {
        auto *item = new QTreeWidgetItem;
        for (int c = 0; c < forum::kPostCellCount && c < cells.size(); ++c) {
            item->setText(c, cells.at(c));
            const bool centred = c >= forum::CellMember && c <= forum::CellDate;
            item->setTextAlignment(c, centred ? Qt::Alignment(Qt::AlignCenter) : Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (cells.size() > forum::CellTitle)
            item->setToolTip(forum::CellTitle, plainToolTip(cells.at(forum::CellTitle)));
        items.append(item);
    }
    m_posts->addTopLevelItems(items);
    m_posts->setUpdatesEnabled(true);
}

void ZoneViewWidget::setAnnouncementRows(const QList<forum::AnnouncementRow> &rows)
{
    m_announcements->DeleteAllItems();
    const int height = forum::announcementRowHeight(m_screen.height());
    for (const forum::AnnouncementRow &row : rows)
        m_announcements->AddItem(row.title, row.kindNumber(), CMarkupListCtrl::MarkupText, height);
}

namespace {

// The expert's custom picture when it loads, else the record's built-in one.
QPixmap expertPicture(const forum::OnlineExpert &expert, const QPixmap &fallback)
{
    if (!expert.picturePath.isEmpty()) {
        QPixmap custom(expert.picturePath);
        if (!custom.isNull()) {
            if (custom.width() != kHeadSize || custom.height() != kHeadSize)
                custom = custom.scaled(kHeadSize, kHeadSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return custom;
        }
    }
    return expert.builtInPicture > 0 ? builtInHeadPixmap(expert.builtInPicture) : fallback;
}

} // namespace

void ZoneViewWidget::setOnlineExperts(const QList<forum::OnlineExpert> &experts)
{
    m_experts->clear();
    for (int t = 0; t < experts.size() && t < forum::kOnlineExpertsMax; ++t) {
        const forum::OnlineExpert &expert = experts.at(t);
        m_pictures[t] = expertPicture(expert, m_pictures.at(t));
        auto *item = new QListWidgetItem(expert.nickname, m_experts);
        item->setData(Qt::DecorationRole, m_pictures.at(t));
        item->setData(BadgeRole, badgePixmap(expert.badge));
        QString tip = expert.nickname;
        if (expert.fields.size() > 1 && !expert.fields.at(1).isEmpty())
            tip = expert.fields.at(1) + QStringLiteral(" (") + expert.nickname + QStringLiteral(")");
        item->setToolTip(plainToolTip(tip));
    }
}

void ZoneViewWidget::setOnlineExpertPicture(int index, const forum::OnlineExpert &expert)
{
    QListWidgetItem *item = m_experts->item(index);
    if (!item || index >= m_pictures.size())
        return;
    m_pictures[index] = expertPicture(expert, m_pictures.at(index));
    item->setData(Qt::DecorationRole, m_pictures.at(index));
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

void ZoneViewWidget::navigate(const QString &url)
{
    // The address is already percent-encoded: take it byte for byte.
    QUrl address = QUrl::fromEncoded(url.toUtf8(), QUrl::StrictMode);
    if (!address.isValid())
        address = QUrl(url);
    if (m_browser)
        preparePage();
    else
        ensureBrowser();
    m_browser->setUrl(address);
}

void ZoneViewWidget::reloadPage()
{
    if (!m_browser)
        return; // no page shown yet: nothing to reload
    QWebEnginePage *before = m_page;
    const QUrl address = m_browser->url();
    preparePage();
    if (m_page == before)
        m_browser->reload();
    else if (!address.isEmpty())
        m_browser->setUrl(address); // a new page after the connection settings changed
}

} // namespace quillora::ui
