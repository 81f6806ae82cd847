#include "pane_chat_widget.h"

#include "browsing_values.h"
#include "chat_pictures.h"
#include "head_image_pictures.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "message_dialog.h"

#include "plain_tool_tip.h"
#include <QAbstractButton>
#include <QAction>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QToolBox>
#include <QVBoxLayout>

namespace quillora::ui {

namespace {

// An item's picture: the head picture above its rank badge.
constexpr QSize kItemIcon(64, 48);
// What an item keeps to redraw its picture when its head slot changes.
constexpr int kSlotRole = Qt::UserRole;
constexpr int kBadgeRole = Qt::UserRole + 1;

QPixmap itemPicture(const QPixmap &head, const QPixmap &badge)
{
    QPixmap picture(kItemIcon);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    if (!head.isNull())
        p.drawPixmap((kItemIcon.width() - 32) / 2, 0, head.scaled(32, 32, Qt::KeepAspectRatio));
    if (!badge.isNull())
        p.drawPixmap(0, 35, badge.scaled(64, 12, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return picture;
}

} // namespace

PaneChatWidget::PaneChatWidget(const service::SiteAddress &site, platform::MessageBoxes &messages,
                               session::CustomFaceDownloads &faces, std::function<int()> questionPoints,
                               std::function<void(const QStringList &)> openChat, QWidget *parent)
    : QWidget(parent), m_faces(&faces)
{
    connect(&faces, &session::CustomFaceDownloads::pictureReady, this, &PaneChatWidget::customPictureArrived);
    setObjectName(QStringLiteral("CPaneChat"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);
    setMinimumWidth(120);

    // 80 head slots: the built-in pictures 1..24 over and over until a load sets them.
    const QList<QPixmap> builtIn = builtInHeadPixmaps();
    for (int i = 0; i < presence::kHeadSlots; ++i)
        m_slots.append(builtIn.value(i % builtIn.size()));
    for (int i = 0; i < presence::kHeadSlots; ++i)
        m_slotUsers.append(QString());

    m_bar = new QToolBox;
    m_bar->setObjectName(QStringLiteral("folderBar"));
    for (int folder = 0; folder < 2; ++folder) {
        auto *list = new QListWidget;
        list->setObjectName(folder == 0 ? QStringLiteral("onlineExperts") : QStringLiteral("answerProviders"));
        list->setAccessibleName(presence::folderCaption(folder));
        list->setViewMode(QListView::IconMode);
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(false);
        list->setMovement(QListView::Static);
        list->setResizeMode(QListView::Adjust);
        list->setIconSize(kItemIcon);
        list->setSpacing(4);
        list->setWordWrap(true);
        list->setFrameShape(QFrame::NoFrame);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        connect(list, &QListWidget::itemClicked, this,
                [this, list](QListWidgetItem *item) { m_rules->itemClicked(list->row(item)); });
        // Enter on the current item does what a click does.
        auto *open = new QAction(list);
        open->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
        open->setShortcutContext(Qt::WidgetShortcut);
        list->addAction(open);
        connect(open, &QAction::triggered, this, [this, list] {
            if (list->currentRow() >= 0)
                m_rules->itemClicked(list->currentRow());
        });
        m_lists[folder] = list;
        m_bar->addItem(list, presence::folderCaption(folder));
        // The folder bar wraps each list in a scroll area of its own; the list
        // is the stop for Tab, the area only carries the folder's name.
        for (QWidget *w = list->parentWidget(); w && w != m_bar; w = w->parentWidget()) {
            if (auto *area = qobject_cast<QScrollArea *>(w)) {
                area->setFocusPolicy(Qt::NoFocus);
                area->setAccessibleName(presence::folderCaption(folder));
            }
        }
    }
    // The folder buttons take no focus of their own: without it the other
    // folder could not be opened from the keyboard. Tab goes through each
    // folder's button, then its list.
    QWidget *previous = nullptr;
    const QList<QAbstractButton *> buttons = m_bar->findChildren<QAbstractButton *>();
    for (int folder = 0; folder < 2; ++folder) {
        for (QAbstractButton *button : buttons) {
            if (button->text() != presence::folderCaption(folder))
                continue;
            button->setFocusPolicy(Qt::StrongFocus);
            button->setAccessibleName(presence::folderCaption(folder));
            if (previous)
                setTabOrder(previous, button);
            setTabOrder(button, m_lists[folder]);
            previous = m_lists[folder];
        }
    }
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bar);

    m_rules =
        std::make_unique<presence::CPaneChat>(site, messages, *this, std::move(questionPoints), std::move(openChat));
    connect(m_bar, &QToolBox::currentChanged, this, [this](int index) {
        if (!m_selecting)
            m_rules->folderChanged(index);
    });
    m_rules->create();
}

PaneChatWidget::~PaneChatWidget() = default;

void PaneChatWidget::selectFolder(int folder)
{
    m_selecting = true;
    m_bar->setCurrentIndex(folder);
    m_selecting = false;
}

void PaneChatWidget::clearFolder(int folder)
{
    m_lists[folder]->clear();
    // The folder's slots no longer wait for anyone's picture.
    const int first = folder == presence::OnlineExpertsFolder ? 0 : presence::kOnlineExpertRows;
    const int count =
        folder == presence::OnlineExpertsFolder ? presence::kOnlineExpertRows : presence::kAnswerProviderRows;
    for (int slot = first; slot < first + count && slot < m_slotUsers.size(); ++slot)
        m_slotUsers[slot].clear();
}

void PaneChatWidget::addItem(int folder, int position, const QString &label, int slot, int badge)
{
    auto *item = new QListWidgetItem(QIcon(itemPicture(m_slots.value(slot), rankBadgePicture(badge))), label);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    item->setToolTip(plainToolTip(label));
    item->setData(kSlotRole, slot);
    item->setData(kBadgeRole, badge);
    m_lists[folder]->insertItem(position, item);
}

void PaneChatWidget::setHeadSlot(int slot, const presence::HeadPictureRequest &request)
{
    if (slot < 0 || slot >= m_slots.size())
        return;
    m_slotUsers[slot] = request.isCustom() ? request.customName : QString();
    if (!m_faces)
        return;
    const QPixmap picture = chatHeadPicture(*m_faces, request);
    if (!picture.isNull()) {
        m_slots[slot] = picture;
        refreshItemsOfSlot(slot);
    }
}

void PaneChatWidget::customPictureArrived(const QString &userId, const QString &path)
{
    QPixmap picture;
    for (int slot = 0; slot < m_slotUsers.size(); ++slot) {
        if (m_slotUsers[slot] != userId)
            continue;
        if (picture.isNull())
            picture = customHeadPicture(path);
        if (picture.isNull())
            return; // a file that does not load leaves the built-in pictures
        m_slots[slot] = picture;
        refreshItemsOfSlot(slot);
    }
}

void PaneChatWidget::refreshItemsOfSlot(int slot)
{
    for (QListWidget *list : m_lists) {
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem *item = list->item(row);
            if (item->data(kSlotRole).toInt() == slot)
                item->setIcon(
                    QIcon(itemPicture(m_slots.value(slot), rankBadgePicture(item->data(kBadgeRole).toInt()))));
        }
    }
}

PaneChatWidget *installContactPane(MainFrameWindow &frame, const forum::BrowsingValues &browsing,
                                   platform::MessageBoxes &messages, MessageDialog *board)
{
    if (!frame.isCreated())
        return nullptr;
    presence::CMainFrame &rules = frame.frame();
    const forum::BrowsingValues *values = &browsing;
    QPointer<MessageDialog> boardGuard(board);
    auto *pane = new PaneChatWidget(
        rules.site(), messages, frame.customFaces(), [values] { return values->mySelectedQuestionPoints; },
        [boardGuard](const QStringList &record) {
            if (boardGuard)
                boardGuard->rules().openChat(record);
        });
    QPointer<PaneChatWidget> guard(pane);
    rules.dialogs().loadQuestionExperts = [guard](int questionId) {
        if (guard)
            guard->rules().load(questionId);
    };
    frame.setPaneView(presence::FramePane::Contact, pane);
    return pane;
}

} // namespace quillora::ui
