// The body of the "Contact" docking pane: a folder bar with "Online Experts"
// and "Answer Providers", one open at a time, each a white list of members
// with their head picture, rank badge and "user(nickname)" label. All rules
// are in presence::CPaneChat; this widget shows and forwards. Custom head
// pictures come through the program's downloads object: the built-in picture
// at once, the custom one swapped into every row of that member when it
// arrives.
#pragma once

#include "platform/message_box.h"

#include "pane_chat.h"
#include "session/head_images.h"

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class QListWidget;
class QToolBox;

namespace quillora::forum {
struct BrowsingValues;
}

namespace quillora::ui {

class MainFrameWindow;
class MessageDialog;

class PaneChatWidget : public QWidget, public presence::PaneChatView {
    Q_OBJECT
  public:
    // `faces` is the program's downloads object; the pane stops using it
    // when it goes first.
    PaneChatWidget(const service::SiteAddress &site, platform::MessageBoxes &messages,
                   session::CustomFaceDownloads &faces, std::function<int()> questionPoints,
                   std::function<void(const QStringList &)> openChat, QWidget *parent = nullptr);
    ~PaneChatWidget() override;

    presence::CPaneChat &rules() { return *m_rules; }

    QToolBox *folderBar() const { return m_bar; }
    QListWidget *folder(int index) const { return m_lists[index]; }
    const QList<QPixmap> &headSlots() const { return m_slots; }

    // presence::PaneChatView
    void selectFolder(int folder) override;
    void clearFolder(int folder) override;
    void addItem(int folder, int position, const QString &label, int slot, int badge) override;
    void setHeadSlot(int slot, const presence::HeadPictureRequest &request) override;
    QObject *messageOwner() override { return this; }

  private:
    void customPictureArrived(const QString &userId, const QString &path);
    void refreshItemsOfSlot(int slot);

    QPointer<session::CustomFaceDownloads> m_faces;
    // The user ID whose custom picture each head slot waits for or shows;
    // empty for a built-in picture.
    QStringList m_slotUsers;
    QToolBox *m_bar = nullptr;
    std::array<QListWidget *, 2> m_lists{};
    QList<QPixmap> m_slots;
    bool m_selecting = false;
    std::unique_ptr<presence::CPaneChat> m_rules;
};

// Puts the expert panes into the frame's "Contact" dock: a click opens the
// message board on the member, and the frame's "open the experts of my own
// question" loads them. Null when the frame was not created.
PaneChatWidget *installContactPane(MainFrameWindow &frame, const forum::BrowsingValues &browsing,
                                   platform::MessageBoxes &messages, MessageDialog *board);

} // namespace quillora::ui
