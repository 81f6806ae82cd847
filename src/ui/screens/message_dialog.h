// The "Communication" dialog: banner, transcript, message box, "Send" and
// "Receive", the "Chat with:" drop-down and the two profile groups. It is the
// thin widget of presence::CMessageDlg; every rule and message lives there.
// Closing it only hides it; the main frame owns it for its whole life.
// Custom head pictures come through the program's downloads object: the
// built-in picture at once, the custom one when it arrives, if the profile
// group still shows that member.
#pragma once

#include "platform/message_box.h"
#include "platform/system_open.h"

#include "message_dlg.h"
#include "session/head_images.h"

#include <QDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBrowser>

#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quillora::ui {

class MainFrameWindow;

// The read-only transcript: links open through the rules, and its context
// menu carries the board's own labels.
class TranscriptView : public QTextBrowser {
    Q_OBJECT
  public:
    explicit TranscriptView(QWidget *parent = nullptr);
    // Appends `text` at the end in the header or body look, addresses as links.
    void appendPiece(const QString &text, presence::TranscriptPart part);
    // The context menu as it would open now (for tests and the event).
    QMenu *buildContextMenu();
    // Where the menu's Paste puts the clipboard's text: the transcript is a
    // read-only record, so pasting goes to the box the member writes in.
    void setPasteTarget(QPlainTextEdit *target) { m_pasteTarget = target; }

  protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

  private:
    QPointer<QPlainTextEdit> m_pasteTarget;
};

class MessageDialog : public QDialog, public presence::MessageDlgView {
    Q_OBJECT
  public:
    // `faces` is the program's downloads object; the dialog stops using it
    // when it goes first.
    MessageDialog(const service::SiteAddress &site, const presence::MemberValues &member,
                  platform::MessageBoxes &messages, platform::SystemOpener &opener, session::CustomFaceDownloads &faces,
                  presence::ArrivalAlerts alerts, QWidget *parent = nullptr);
    ~MessageDialog() override;

    presence::CMessageDlg &rules() { return *m_rules; }

    TranscriptView *transcript() const { return m_transcript; }
    QPlainTextEdit *messageBox() const { return m_message; }
    QComboBox *chatWith() const { return m_chatWith; }
    QPushButton *sendButton() const { return m_send; }
    QPushButton *receiveButton() const { return m_receive; }
    QLabel *peerHead() const { return m_peerHead; }
    QLabel *peerNickname() const { return m_peerNick; }
    QLabel *peerCredit() const { return m_peerCredit; }
    QLabel *ownHead() const { return m_ownHead; }
    QLabel *ownNickname() const { return m_ownNick; }

    // presence::MessageDlgView
    void setContactNames(const QStringList &names, int selected) override;
    QString chosenContactText() const override;
    QString messageText() const override;
    void clearMessageText() override;
    void focusMessageText() override;
    void appendTranscript(const QString &text, presence::TranscriptPart part) override;
    void setCaption(const QString &title) override;
    void setPeer(const QString &nickname, const QString &credit) override;
    void showPeerHead(const presence::HeadPictureRequest &request) override;
    void setOwn(const QString &nickname, const presence::HeadPictureRequest &head) override;
    bool isShown() const override;
    void showBoard(bool activate) override;
    QObject *messageOwner() override { return this; }

  protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void showHead(QLabel *label, QString &shownUser, const presence::HeadPictureRequest &request);
    void customPictureArrived(const QString &userId, const QString &path);

    QPointer<session::CustomFaceDownloads> m_faces;
    // The members whose custom pictures the two profile groups wait for or show.
    QString m_peerHeadUser;
    QString m_ownHeadUser;
    QPixmap m_banner;
    TranscriptView *m_transcript = nullptr;
    QPlainTextEdit *m_message = nullptr;
    QPushButton *m_send = nullptr;
    QPushButton *m_receive = nullptr;
    QComboBox *m_chatWith = nullptr;
    QLabel *m_peerHead = nullptr;
    QLabel *m_peerNick = nullptr;
    QLabel *m_peerCredit = nullptr;
    QLabel *m_ownHead = nullptr;
    QLabel *m_ownNick = nullptr;
    bool m_filling = false; // "Chat with:" changes made by the rules are not forwarded back
    std::unique_ptr<presence::CMessageDlg> m_rules;
};

// Creates the frame's one message board, hidden: timer 1 and the main view's
// first poll run its poll, the tray icon shows it, and arrivals while it is
// hidden play the sound, animate the tray icon and post a notification.
// Null when the frame was not created.
MessageDialog *installMessageBoard(MainFrameWindow &frame, platform::MessageBoxes &messages,
                                   platform::SystemOpener &opener);

} // namespace quillora::ui
