// CPaneChat: the rules of the "Contact" pane. When the member opens one of
// his own questions, the pane lists who could help: the experts online for
// the question (folder 0, at most 20) and the members online who answered it
// (folder 1, at most 60). A click opens the "Communication" dialog on that
// member; an online expert only for a question worth 100 points or more.
#pragma once

#include "head_picture.h"
#include "shared_limits.h"
#include "site_config.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QObject;

namespace quillora::platform {
class MessageBoxes;
}

namespace quillora::presence {

enum ChatFolder : int { OnlineExpertsFolder = 0, AnswerProvidersFolder = 1 };
// Each folder has room for as many members as its list answer carries.
inline constexpr int kOnlineExpertRows = service::kQuestionExpertsMax;
inline constexpr int kAnswerProviderRows = service::kAnswerProvidersMax;
inline constexpr int kHeadSlots = kOnlineExpertRows + kAnswerProviderRows;
// Writing to an online expert needs a question worth at least this many points.
inline constexpr int kExpertChatMinPoints = 100;

QString folderCaption(int folder); // "Online Experts", "Answer Providers"
// "Failed to get online experts list !", from this pane and from a zone view.
QString onlineExpertsFailedMessage();
// "alice(Ali)"
QString listedMemberLabel(const QString &userName, const QString &nickname);
// The rank badge (0..9) for a zone rank 1..10; -1 for none.
int rankBadge(int zoneRank);

class PaneChatView {
  public:
    virtual ~PaneChatView() = default;
    virtual void selectFolder(int folder) = 0;
    virtual void clearFolder(int folder) = 0;
    // Adds an item at `position` of `folder` with head slot `slot` (0..79)
    // and rank badge `badge` (-1 for none).
    virtual void addItem(int folder, int position, const QString &label, int slot, int badge) = 0;
    // Puts a picture into a head slot. A custom picture that cannot be had
    // leaves the slot's previous picture.
    virtual void setHeadSlot(int slot, const HeadPictureRequest &request) = 0;
    virtual QObject *messageOwner() = 0;
};

class CPaneChat {
  public:
    // `questionPoints` reads the points of the member's own question opened
    // last; `openChat` is the message board's open-chat with a seven-text
    // contact record.
    CPaneChat(const service::SiteAddress &site, platform::MessageBoxes &messages, PaneChatView &view,
              std::function<int()> questionPoints, std::function<void(const QStringList &)> openChat);

    // First showing of the pane: "Answer Providers" is the folder shown.
    void create();
    // Replaces both lists with the experts and answer providers of the question.
    void load(int questionId);
    // The member clicked item `index` of the folder shown.
    void itemClicked(int index);
    void folderChanged(int folder);

    int folderShown() const { return m_folder; }
    const std::vector<QStringList> &onlineExperts() const { return m_experts; }
    const std::vector<QStringList> &answerProviders() const { return m_providers; }

  private:
    void loadFolder(int folder, int questionId);
    void showMessage(const QString &text);

    service::SiteAddress m_site;
    platform::MessageBoxes &m_messages;
    PaneChatView &m_view;
    std::function<int()> m_points;
    std::function<void(const QStringList &)> m_openChat;
    std::vector<QStringList> m_experts;
    std::vector<QStringList> m_providers;
    int m_folder = AnswerProvidersFolder;
};

} // namespace quillora::presence
