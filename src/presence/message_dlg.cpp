#include "message_dlg.h"

#include "platform/message_box.h"
#include "platform/system_open.h"
#include "result_document.h"
#include "varnel_services.h"

#include <QSaveFile>

namespace quillora::presence {

using service::CVarnelServices;
using service::Op;

namespace {

// A link's text is opened up to this length.
constexpr int kMaxLinkLength = 511;

QString field(const QStringList &record, int pos)
{
    return record.value(pos);
}

// The picture of a member: a custom one by `customName` when the flag says so
// (and the name can be a file name), else the built-in number.
HeadPictureRequest headFor(int customFlag, const QString &customName, int builtIn, bool mayDownload, bool fallBack)
{
    if (customFlag == 0)
        return builtInHead(builtIn);
    HeadPictureRequest r;
    r.builtIn = builtIn;
    r.customName = isPictureName(customName) ? customName : QString();
    r.mayDownload = mayDownload;
    r.fallBackToBuiltIn = fallBack;
    return r;
}

} // namespace

QString messageBoardTitle()
{
    return QStringLiteral("Communication");
}

QString chattingTitle(const QString &nickname)
{
    return QStringLiteral("Chatting with ") + nickname;
}

QString sentHeader(const QString &userName, const QString &nickname, const QDateTime &localTime)
{
    return QStringLiteral("TO [") + userName + QLatin1Char('(') + nickname + QStringLiteral(")](") +
           localTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(")\r\n\r\n");
}

QString receivedHeader(const QString &userName, const QString &nickname, const QString &timeText)
{
    return QStringLiteral("FROM [") + userName + QLatin1Char('(') + nickname + QStringLiteral(")](") + timeText +
           QStringLiteral(")\r\n\r\n");
}

QString arrivalNotice(int count, const QString &lastNickname)
{
    if (count == 1)
        return QStringLiteral("New message from ") + lastNickname;
    return QStringLiteral("%1 new messages").arg(count);
}

CMessageDlg::CMessageDlg(const service::SiteAddress &site, const MemberValues &member, platform::MessageBoxes &messages,
                         platform::SystemOpener &opener, MessageDlgView &view, ArrivalAlerts alerts)
    : m_site(site), m_member(member), m_messages(messages), m_opener(opener), m_view(view), m_alerts(std::move(alerts)),
      m_now([] { return QDateTime::currentDateTime(); })
{
    m_view.setCaption(messageBoardTitle());
}

void CMessageDlg::showMessage(const QString &text, bool error)
{
    m_messages.ok(text, platform::programTitle(),
                  error ? platform::MessageIcon::Warning : platform::MessageIcon::Information, m_view.messageOwner());
}

const ChatContact *CMessageDlg::selectedContact() const
{
    if (m_selected < 0 || m_selected >= int(m_contacts.size()))
        return nullptr;
    return &m_contacts[m_selected];
}

int CMessageDlg::findContact(const QString &userName) const
{
    for (int i = 0; i < int(m_contacts.size()); ++i) {
        if (m_contacts[i].userName.compare(userName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void CMessageDlg::refreshContacts()
{
    QStringList names;
    names.reserve(qsizetype(m_contacts.size()));
    for (const ChatContact &c : m_contacts)
        names << c.userName;
    m_view.setContactNames(names, m_selected);
}

void CMessageDlg::insertContact(const ChatContact &contact)
{
    m_contacts.insert(m_contacts.begin(), contact);
    m_selected = 0;
    refreshContacts();
}

void CMessageDlg::select(int index)
{
    m_selected = index;
    refreshContacts();
}

void CMessageDlg::append(const QString &text, TranscriptPart part)
{
    m_transcript.push_back({text, part});
    m_view.appendTranscript(text, part);
}

void CMessageDlg::setPeer(const QString &nickname, const QString &credit)
{
    m_peerNickname = nickname;
    m_view.setCaption(chattingTitle(nickname));
    m_view.setPeer(nickname, credit);
}

void CMessageDlg::showPeer(const ChatContact &contact)
{
    setPeer(contact.nickname, contact.credit);
}

void CMessageDlg::showOwn()
{
    m_view.setOwn(m_member.nickname, builtInHead(m_member.headImage));
}

const ChatContact *CMessageDlg::recipient()
{
    const ChatContact *selected = selectedContact();
    const QString chosen = m_view.chosenContactText().trimmed();
    if (selected && chosen == selected->userName)
        return selected;
    // A name typed over the box: a contact of that name is the one meant;
    // anything else is nobody, never the partner selected before.
    const int typed = chosen.isEmpty() ? -1 : findContact(chosen);
    if (typed < 0)
        return nullptr;
    select(typed);
    selectionChanged(typed);
    return selectedContact();
}

bool CMessageDlg::send()
{
    const QString typed = m_view.messageText();
    const ChatContact *to = recipient();
    if (!to) {
        showMessage(QStringLiteral("No recipients selected !"), true);
        m_view.focusMessageText();
        return false;
    }
    const QString text = typed.trimmed();
    if (text.isEmpty()) {
        showMessage(QStringLiteral("You must provide a message !"), true);
        m_view.focusMessageText();
        return false;
    }
    bool delivered = false;
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::SendMessage);
        if (!service::succeeded(
                proxy.SendMessage(m_member.userID, service::leadingInt(to->userId), text, &delivered))) {
            showMessage(QStringLiteral("Failed to send message, please try again later !"), true);
            return false;
        }
    }
    if (!delivered)
        return false;
    // Named as "His(her) Profile" shows him: the nickname the latest message
    // or chat brought, which may be newer than the one stored with the contact.
    append(sentHeader(to->userName, m_peerNickname.isEmpty() ? to->nickname : m_peerNickname, m_now()),
           TranscriptPart::Header);
    append(typed + QStringLiteral("\r\n\r\n"), TranscriptPart::Body);
    m_view.clearMessageText();
    return true;
}

void CMessageDlg::failPoll(PollTrigger trigger, const QString &text)
{
    // With the service down every tick fails; a box already waiting for the
    // member says it, and ticks do not stack more boxes behind it.
    if (trigger == PollTrigger::Timer && m_failureBoxOpen)
        return;
    const bool outer = !m_failureBoxOpen;
    m_failureBoxOpen = true;
    showMessage(text, true);
    if (outer)
        m_failureBoxOpen = false;
}

int CMessageDlg::poll(PollTrigger trigger)
{
    int shown = 0;
    bool answered = false;
    QStringList last;
    for (int round = 0; round < kMaxPollRounds; ++round) {
        QString document;
        {
            CVarnelServices proxy(m_site);
            proxy.useServiceAccount(Op::GetMessage);
            if (!service::succeeded(proxy.GetMessage(m_member.userID, &document))) {
                failPoll(trigger, QStringLiteral("Failed to get chat message!"));
                break;
            }
        }
        const service::DocumentRecords read =
            service::readRecords(document, service::kMessageTag, service::kMessagesMax, service::kMessageFields);
        if (read.status != service::DocumentStatus::Ok) {
            failPoll(trigger, service::documentStatusMessage(read.status));
            break;
        }
        answered = true;
        for (const service::DocumentRecord &record : read.records) {
            const QString userName = field(record, MsgUserName);
            const QString nickname = field(record, MsgNickname);
            const int index = findContact(userName);
            if (index < 0) {
                const bool custom = service::leadingInt(field(record, MsgCustomFlag)) != 0;
                insertContact({userName, field(record, MsgSenderId), nickname, field(record, MsgCredit),
                               custom ? QString::number(kCustomFace) : field(record, MsgHeadImage)});
            } else {
                select(index);
            }
            append(receivedHeader(userName, nickname, field(record, MsgTime)), TranscriptPart::Header);
            append(field(record, MsgText) + QStringLiteral("\r\n\r\n"), TranscriptPart::Body);
            last = record;
            ++shown;
        }
        // The server hands out at most a full document at a time: a full one
        // may leave more waiting.
        if (int(read.records.size()) < service::kMessagesMax)
            break;
    }
    if (!answered)
        return 0; // the first call failed: its message has been shown
    if (shown == 0) {
        showOwn();
        return 0;
    }

    const QString nickname = field(last, MsgNickname);
    setPeer(nickname, field(last, MsgCredit));
    const int customFlag = service::leadingInt(field(last, MsgCustomFlag));
    const HeadPictureRequest head =
        headFor(customFlag, field(last, MsgCustomName), service::leadingInt(field(last, MsgHeadImage)), true, false);
    // A custom picture name that cannot be a file name leaves the picture as it was.
    if (customFlag == 0 || head.isCustom())
        m_view.showPeerHead(head);
    if (!m_view.isShown()) {
        if (m_alerts.playSound)
            m_alerts.playSound();
        if (m_alerts.startTrayAnimation)
            m_alerts.startTrayAnimation();
        if (m_alerts.notify)
            m_alerts.notify(arrivalNotice(shown, nickname));
    }
    showOwn();
    return shown;
}

void CMessageDlg::openChat(const QStringList &record)
{
    m_view.showBoard(true);
    const QString userName = field(record, RecordUserName);
    const QString nickname = field(record, RecordNickname);
    const int customFlag = service::leadingInt(field(record, RecordCustomFlag));
    const int index = findContact(userName);
    if (index < 0) {
        insertContact({userName, field(record, RecordUserId), nickname, field(record, RecordCredit),
                       customFlag != 0 ? QString::number(kCustomFace) : field(record, RecordHeadImage)});
    } else {
        select(index);
    }
    setPeer(nickname, field(record, RecordCredit));
    m_view.showPeerHead(headFor(customFlag, field(record, RecordUserId),
                                service::leadingInt(field(record, RecordHeadImage)), false, true));
    showOwn();
}

void CMessageDlg::selectionChanged(int index)
{
    if (index < 0 || index >= int(m_contacts.size()))
        return;
    m_selected = index;
    const ChatContact &c = m_contacts[index];
    showPeer(c);
    const int face = service::leadingInt(c.face);
    if (face < kCustomFace)
        m_view.showPeerHead(builtInHead(face));
    else if (isPictureName(c.userId))
        m_view.showPeerHead(headFor(1, c.userId, face, false, false));
}

void CMessageDlg::linkClicked(const QString &address)
{
    const QString link = linkToOpen(address.left(kMaxLinkLength));
    if (!link.isEmpty())
        m_opener.openUrl(link);
}

void CMessageDlg::showFromTray()
{
    m_view.showBoard(false);
}

bool CMessageDlg::saveTranscript(const QString &path)
{
    if (m_transcript.empty()) {
        showMessage(QStringLiteral("Message board is empty !"), true);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(transcriptRtf()) < 0 || !file.commit()) {
        showMessage(QStringLiteral("The messages could not be saved to %1:\n%2").arg(path, file.errorString()), true);
        return false;
    }
    return true;
}

} // namespace quillora::presence
