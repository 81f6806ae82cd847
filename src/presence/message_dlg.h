// CMessageDlg: the rules of the "Communication" dialog, the message board.
// It keeps the contacts one can write to (newest first), the transcript of
// everything sent and received in this run, sends with SendMessage and polls
// with GetMessage. The dialog widget, the sound, the tray animation and the
// desktop notification are reached through small interfaces, so every rule
// runs in a test without a window.
#pragma once

#include "head_picture.h"
#include "member_values.h"
#include "site_config.h"
#include "transcript.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QObject;

namespace quillora::platform {
class MessageBoxes;
class SystemOpener;
} // namespace quillora::platform

namespace quillora::presence {

// A chat partner. Face is the head image number, or "24" for a member with a
// custom picture.
struct ChatContact {
    QString userName;
    QString userId;
    QString nickname;
    QString credit;
    QString face;
    bool operator==(const ChatContact &) const = default;
};

// Positions in a contact record handed in by the expert panes.
enum ContactRecordField : int {
    RecordUserId,
    RecordUserName,
    RecordNickname,
    RecordHeadImage,
    RecordCredit,
    RecordZoneRank,
    RecordCustomFlag,
};

// Positions in a Message record of the GetMessage document.
enum MessageField : int {
    MsgSenderId,
    MsgText,
    MsgUserName,
    MsgNickname,
    MsgHeadImage,
    MsgCredit,
    MsgTime,
    MsgCustomName,
    MsgCustomFlag,
};

// A face of this number or more stands for a custom picture.
inline constexpr int kCustomFace = 24;
// A poll that brings a full document asks again at once, at most this many
// times in all, so that waiting messages show now and not a period later.
inline constexpr int kMaxPollRounds = 5;

QString messageBoardTitle(); // "Communication"
QString chattingTitle(const QString &nickname);
// "TO [bob(Bobby)](2007-05-01 09:30:00)\r\n\r\n"
QString sentHeader(const QString &userName, const QString &nickname, const QDateTime &localTime);
// "FROM [bob(Bobby)](time as the service wrote it)\r\n\r\n"
QString receivedHeader(const QString &userName, const QString &nickname, const QString &timeText);
// The desktop notification of one poll: "New message from NICK" for one
// message, "N new messages" for more.
QString arrivalNotice(int count, const QString &lastNickname);

class MessageDlgView {
  public:
    virtual ~MessageDlgView() = default;
    // The "Chat with:" drop-down: every contact's user name, and the selected
    // row (-1 for none).
    virtual void setContactNames(const QStringList &names, int selected) = 0;
    // What "Chat with:" shows now: the selected contact's user name, or
    // whatever the member typed into the box over it.
    virtual QString chosenContactText() const = 0;
    virtual QString messageText() const = 0;
    virtual void clearMessageText() = 0;
    virtual void focusMessageText() = 0;
    // Appends at the end of the transcript in the header or body look, with
    // its addresses as links, and scrolls to the end.
    virtual void appendTranscript(const QString &text, TranscriptPart part) = 0;
    virtual void setCaption(const QString &title) = 0;
    // "His(her) Profile": nickname and credit, and the head picture. A
    // custom picture that cannot be had leaves the previous picture.
    virtual void setPeer(const QString &nickname, const QString &credit) = 0;
    virtual void showPeerHead(const HeadPictureRequest &request) = 0;
    // "My Profile".
    virtual void setOwn(const QString &nickname, const HeadPictureRequest &head) = 0;
    virtual bool isShown() const = 0;
    virtual void showBoard(bool activate) = 0;
    virtual QObject *messageOwner() = 0;
};

// What the frame does when messages arrive while the dialog is hidden.
struct ArrivalAlerts {
    std::function<void()> playSound;          // "msg.wav", without blocking
    std::function<void()> startTrayAnimation; // 500 ms frames
    std::function<void(const QString &)> notify;
};

enum class PollTrigger { Timer, Receive, Startup };

class CMessageDlg {
  public:
    // `member` is the main frame's member values (user ID, nickname, head
    // image number are read at every poll).
    CMessageDlg(const service::SiteAddress &site, const MemberValues &member, platform::MessageBoxes &messages,
                platform::SystemOpener &opener, MessageDlgView &view, ArrivalAlerts alerts = {});

    // The local clock of the sent headers; tests set a fixed one.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

    // "Send": true when the message went out and was appended.
    bool send();
    // The message poll; the number of messages shown.
    int poll(PollTrigger trigger);
    // The expert panes' "open chat" with a seven-text contact record.
    void openChat(const QStringList &record);
    // The member picked another row of "Chat with:".
    void selectionChanged(int index);
    // A left click on a link of the transcript.
    void linkClicked(const QString &address);
    // The tray icon was clicked: shown without activation.
    void showFromTray();

    bool isTranscriptEmpty() const { return m_transcript.empty(); }
    const std::vector<TranscriptPiece> &transcript() const { return m_transcript; }
    QByteArray transcriptRtf() const { return transcriptToRtf(m_transcript); }
    // Writes the transcript to `path` as RTF. An empty transcript shows
    // "Message board is empty !" and leaves the file system alone; a file
    // that cannot be written shows why. True when written.
    bool saveTranscript(const QString &path);

    const std::vector<ChatContact> &contacts() const { return m_contacts; }
    int selectedIndex() const { return m_selected; }
    const ChatContact *selectedContact() const;

  private:
    // The contact "Send" writes to: the selected one while "Chat with:" shows
    // its name, a contact whose name was typed over it, else none.
    const ChatContact *recipient();
    void showMessage(const QString &text, bool error);
    void failPoll(PollTrigger trigger, const QString &text);
    int findContact(const QString &userName) const;
    void insertContact(const ChatContact &contact);
    void select(int index);
    void refreshContacts();
    void showPeer(const ChatContact &contact);
    void setPeer(const QString &nickname, const QString &credit);
    void showOwn();
    void append(const QString &text, TranscriptPart part);

    service::SiteAddress m_site;
    const MemberValues &m_member;
    platform::MessageBoxes &m_messages;
    platform::SystemOpener &m_opener;
    MessageDlgView &m_view;
    ArrivalAlerts m_alerts;
    std::function<QDateTime()> m_now;
    std::vector<ChatContact> m_contacts;
    int m_selected = -1;
    // The nickname under "His(her) Profile": a sent message's header names
    // the recipient by it.
    QString m_peerNickname;
    std::vector<TranscriptPiece> m_transcript;
    bool m_failureBoxOpen = false;
};

} // namespace quillora::presence
