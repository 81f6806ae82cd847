// The body of the "Contact" docking pane: a folder bar with "Online Experts"
// and "Answer Providers", one open at a time, each a white list of members
// with their head picture, rank badge and "user(nickname)" label. All rules
// are in presence::CPaneChat; this widget shows and forwards.
#pragma once

#include "platform/message_box.h"

#include "pane_chat.h"
#include "session/head_images.h"

#include <QList>
#include <QPixmap>
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
    PaneChatWidget(const service::SiteAddress &site, platform::MessageBoxes &messages,
                   std::function<int()> questionPoints, std::function<void(const QStringList &)> openChat,
                   QWidget *parent = nullptr);
    ~PaneChatWidget() override;

    presence::CPaneChat &rules() { return *m_rules; }
    void setCustomFaceCache(const session::CustomFaceCache &cache) { m_cache = cache; }

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
    session::CustomFaceCache m_cache;
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
