#include "pane_chat.h"

#include "message_dlg.h"
#include "platform/message_box.h"
#include "result_document.h"
#include "varnel_services.h"

namespace quillora::presence {

using service::CVarnelServices;
using service::Op;

bool isPictureName(const QString &text)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString folderCaption(int folder)
{
    return folder == OnlineExpertsFolder ? QStringLiteral("Online Experts") : QStringLiteral("Answer Providers");
}

QString onlineExpertsFailedMessage()
{
    return QStringLiteral("Failed to get online experts list !");
}

QString listedMemberLabel(const QString &userName, const QString &nickname)
{
    return userName + QLatin1Char('(') + nickname + QLatin1Char(')');
}

int rankBadge(int zoneRank)
{
    return zoneRank >= 1 && zoneRank <= 10 ? zoneRank - 1 : -1;
}

CPaneChat::CPaneChat(const service::SiteAddress &site, platform::MessageBoxes &messages, PaneChatView &view,
                     std::function<int()> questionPoints, std::function<void(const QStringList &)> openChat)
    : m_site(site), m_messages(messages), m_view(view), m_points(std::move(questionPoints)),
      m_openChat(std::move(openChat))
{
}

void CPaneChat::create()
{
    m_folder = AnswerProvidersFolder;
    m_view.selectFolder(m_folder);
}

void CPaneChat::showMessage(const QString &text)
{
    m_messages.ok(text, platform::programTitle(), platform::MessageIcon::Warning, m_view.messageOwner());
}

void CPaneChat::load(int questionId)
{
    for (int folder : {OnlineExpertsFolder, AnswerProvidersFolder}) {
        m_view.selectFolder(folder);
        m_view.clearFolder(folder);
    }
    m_folder = AnswerProvidersFolder;
    m_experts.clear();
    m_providers.clear();
    loadFolder(OnlineExpertsFolder, questionId);
    loadFolder(AnswerProvidersFolder, questionId);
}

void CPaneChat::loadFolder(int folder, int questionId)
{
    const bool experts = folder == OnlineExpertsFolder;
    QString document;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(experts ? Op::GetExpertListOnlineByPostID : Op::GetReplierListOnlineByPostID);
        const service::CallResult r = experts ? proxy.GetExpertListOnlineByPostID(questionId, &document)
                                              : proxy.GetReplierListOnlineByPostID(questionId, &document);
        if (!service::succeeded(r)) {
            showMessage(experts ? onlineExpertsFailedMessage()
                                : QStringLiteral("Failed to get solution providers list !"));
            return;
        }
    }
    const service::DocumentRecords read = service::readRecords(
        document, service::kUserTag, experts ? service::kQuestionExpertsMax : service::kAnswerProvidersMax,
        service::kPostExpertFields);
    if (read.status != service::DocumentStatus::Ok) {
        showMessage(service::documentStatusMessage(read.status));
        return;
    }
    std::vector<QStringList> &rows = experts ? m_experts : m_providers;
    const int firstSlot = experts ? 0 : kOnlineExpertRows;
    for (const service::DocumentRecord &record : read.records) {
        QStringList row = record;
        while (row.size() < service::kPostExpertFields)
            row << QString();
        const int i = int(rows.size());
        const int slot = firstSlot + i;
        const int customFlag = service::leadingInt(row.at(RecordCustomFlag));
        HeadPictureRequest head = builtInHead(service::leadingInt(row.at(RecordHeadImage)));
        if (customFlag != 0) {
            head.customName = row.at(RecordUserId);
            head.mayDownload = true;
        }
        // A user ID that cannot name a file leaves the slot as it was.
        if (customFlag == 0 || isPictureName(head.customName))
            m_view.setHeadSlot(slot, head);
        m_view.addItem(folder, i, listedMemberLabel(row.at(RecordUserName), row.at(RecordNickname)), slot,
                       rankBadge(service::leadingInt(row.at(RecordZoneRank))));
        rows.push_back(row);
    }
}

void CPaneChat::itemClicked(int index)
{
    const bool experts = m_folder == OnlineExpertsFolder;
    const std::vector<QStringList> &rows = experts ? m_experts : m_providers;
    if (index < 0 || index >= int(rows.size()))
        return;
    if (experts && (m_points ? m_points() : 0) < kExpertChatMinPoints) {
        showMessage(QStringLiteral("Sorry,your question points is not enough to communicate with online expterts!"));
        return;
    }
    if (m_openChat)
        m_openChat(rows[index]);
}

void CPaneChat::folderChanged(int folder)
{
    if (folder == OnlineExpertsFolder || folder == AnswerProvidersFolder)
        m_folder = folder;
}

} // namespace quillora::presence
