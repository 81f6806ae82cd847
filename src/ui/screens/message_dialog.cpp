#include "message_dialog.h"

#include "chat_pictures.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "ui/ui_resources.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace quillora::ui {

namespace {

constexpr int kBannerHeight = 35;

QTextCharFormat pieceFormat(presence::TranscriptPart part)
{
    QTextCharFormat f;
    QFont font(QLatin1String(presence::kTranscriptFont));
    font.setPointSizeF(presence::kTranscriptHalfPoints / 2.0);
    font.setBold(false);
    font.setUnderline(false);
    f.setFont(font);
    f.setForeground(part == presence::TranscriptPart::Header ? QColor(255, 0, 0) : QColor(0, 0, 0));
    return f;
}

QLabel *headLabel(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setFixedSize(36, 36);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setAccessibleName(QStringLiteral("Head image"));
    return label;
}

} // namespace

TranscriptView::TranscriptView(QWidget *parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("transcript"));
    setAccessibleName(QStringLiteral("Transcript"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    document()->setUndoRedoEnabled(false);
}

void TranscriptView::appendPiece(const QString &text, presence::TranscriptPart part)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QTextCharFormat plain = pieceFormat(part);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    qsizetype at = 0;
    for (const presence::TranscriptLink &link : presence::findLinks(shown)) {
        cursor.insertText(shown.mid(at, link.start - at), plain);
        QTextCharFormat anchor = plain;
        anchor.setAnchor(true);
        anchor.setAnchorHref(link.address);
        anchor.setForeground(QColor(0, 0, 255));
        anchor.setFontUnderline(true);
        cursor.insertText(shown.mid(link.start, link.length), anchor);
        at = link.start + link.length;
    }
    cursor.insertText(shown.mid(at), plain);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

QMenu *TranscriptView::buildContextMenu()
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("transcriptMenu"));
    const bool selection = textCursor().hasSelection();
    const bool editable = !isReadOnly();
    QAction *undoAction = menu->addAction(QString::fromUtf16(u"&\u64a4\u9500"), this, &QTextEdit::undo);
    undoAction->setEnabled(editable && document()->isUndoAvailable());
    menu->addSeparator();
    // Cut, Copy and Clear with a selection, Paste with something to paste.
    // The transcript is the record of the conversation ("Save Message"
    // writes it) and stays as it is: Cut copies, Clear leaves it, and Paste
    // goes to the message box.
    QAction *cutAction = menu->addAction(QString::fromUtf16(u"&\u526a\u5207"), this, [this] {
        if (isReadOnly())
            copy();
        else
            cut();
    });
    cutAction->setEnabled(selection);
    QAction *copyAction = menu->addAction(QString::fromUtf16(u"&\u590d\u5236"), this, &QTextEdit::copy);
    copyAction->setEnabled(selection);
    QAction *pasteAction = menu->addAction(QString::fromUtf16(u"&\u7c98\u8d34"), this, [this] {
        if (!isReadOnly())
            paste();
        else if (m_pasteTarget) {
            m_pasteTarget->setFocus();
            m_pasteTarget->paste();
        }
    });
    const QMimeData *clipboard = QApplication::clipboard()->mimeData();
    pasteAction->setEnabled(clipboard && canInsertFromMimeData(clipboard) && (editable || m_pasteTarget));
    QAction *clearAction = menu->addAction(QString::fromUtf16(u"&\u6e05\u9664"), this, [this] {
        if (!isReadOnly())
            textCursor().removeSelectedText();
    });
    clearAction->setEnabled(selection);
    menu->addSeparator();
    menu->addAction(QString::fromUtf16(u"\u5168\u9009"), this, &QTextEdit::selectAll);
    return menu;
}

void TranscriptView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = buildContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

MessageDialog::MessageDialog(const service::SiteAddress &site, const presence::MemberValues &member,
                             platform::MessageBoxes &messages, platform::SystemOpener &opener,
                             session::CustomFaceDownloads &faces, presence::ArrivalAlerts alerts, QWidget *parent)
    : QDialog(parent), m_faces(&faces), m_banner(messageBoardBanner())
{
    connect(&faces, &session::CustomFaceDownloads::pictureReady, this, &MessageDialog::customPictureArrived);
    setObjectName(QStringLiteral("CMessageDlg"));
    setWindowIcon(commandIcon(QStringLiteral("communication")));
    setModal(false);
    // 370x265 dialog units at the usual 6x13-pixel font cell.
    resize(640, 470);
    setMinimumSize(520, 380);

    m_transcript = new TranscriptView;
    m_message = new QPlainTextEdit;
    m_transcript->setPasteTarget(m_message);
    m_message->setObjectName(QStringLiteral("messageBox"));
    m_message->setAccessibleName(QStringLiteral("Message"));
    m_message->setTabChangesFocus(true);
    m_message->setFixedHeight(88);
    m_send = new QPushButton(QStringLiteral("Send"));
    m_send->setObjectName(QStringLiteral("send"));
    m_send->setDefault(false);
    m_send->setAutoDefault(false);
    m_receive = new QPushButton(QStringLiteral("Receive"));
    m_receive->setObjectName(QStringLiteral("receive"));
    m_receive->setAutoDefault(false);

    m_chatWith = new QComboBox;
    m_chatWith->setObjectName(QStringLiteral("chatWith"));
    m_chatWith->setEditable(true);
    m_chatWith->setInsertPolicy(QComboBox::NoInsert);
    m_chatWith->setAccessibleName(QStringLiteral("Chat with:"));
    // The box's edit is a control of its own on the accessibility bus.
    m_chatWith->lineEdit()->setAccessibleName(QStringLiteral("Chat with:"));
    auto *chatLabel = new QLabel(QStringLiteral("Chat &with:"));
    chatLabel->setBuddy(m_chatWith);

    auto *peer = new QGroupBox(QStringLiteral("His(her) Profile"));
    peer->setObjectName(QStringLiteral("peerProfile"));
    m_peerHead = headLabel(QStringLiteral("peerHead"));
    // Nicknames and credit come from other members: shown as plain text.
    m_peerNick = new QLabel;
    m_peerNick->setObjectName(QStringLiteral("peerNickname"));
    m_peerNick->setTextFormat(Qt::PlainText);
    m_peerCredit = new QLabel;
    m_peerCredit->setObjectName(QStringLiteral("peerCredit"));
    m_peerCredit->setTextFormat(Qt::PlainText);
    auto *peerGrid = new QGridLayout(peer);
    peerGrid->addWidget(m_peerHead, 0, 0, 1, 2, Qt::AlignLeft);
    peerGrid->addWidget(new QLabel(QStringLiteral("Nickname:")), 1, 0);
    peerGrid->addWidget(m_peerNick, 1, 1);
    peerGrid->addWidget(new QLabel(QStringLiteral("Credit:")), 2, 0);
    peerGrid->addWidget(m_peerCredit, 2, 1);
    peerGrid->setColumnStretch(1, 1);

    auto *own = new QGroupBox(QStringLiteral("My Profile"));
    own->setObjectName(QStringLiteral("ownProfile"));
    m_ownHead = headLabel(QStringLiteral("ownHead"));
    m_ownNick = new QLabel;
    m_ownNick->setObjectName(QStringLiteral("ownNickname"));
    m_ownNick->setTextFormat(Qt::PlainText);
    auto *ownGrid = new QGridLayout(own);
    ownGrid->addWidget(m_ownHead, 0, 0, 1, 2, Qt::AlignLeft);
    ownGrid->addWidget(new QLabel(QStringLiteral("Nickname:")), 1, 0);
    ownGrid->addWidget(m_ownNick, 1, 1);
    ownGrid->setColumnStretch(1, 1);

    auto *side = new QVBoxLayout;
    side->addWidget(chatLabel);
    side->addWidget(m_chatWith);
    side->addSpacing(6);
    side->addWidget(peer);
    side->addWidget(own);
    side->addStretch(1);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_send);
    buttons->addWidget(m_receive);
    buttons->addStretch(1);
    auto *input = new QHBoxLayout;
    input->addWidget(m_message, 1);
    input->addLayout(buttons);

    auto *left = new QVBoxLayout;
    left->addWidget(m_transcript, 1);
    left->addLayout(input);

    auto *body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(side);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(9, kBannerHeight + 8, 9, 9);
    outer->addLayout(body);

    setTabOrder(m_message, m_send);
    setTabOrder(m_send, m_receive);
    setTabOrder(m_receive, m_chatWith);
    setTabOrder(m_chatWith, m_transcript);

    m_rules = std::make_unique<presence::CMessageDlg>(site, member, messages, opener, *this, std::move(alerts));
    connect(m_send, &QPushButton::clicked, this, [this] { m_rules->send(); });
    connect(m_receive, &QPushButton::clicked, this, [this] { m_rules->poll(presence::PollTrigger::Receive); });
    connect(m_chatWith, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling)
            m_rules->selectionChanged(index);
    });
    connect(m_transcript, &QTextBrowser::anchorClicked, this,
            [this](const QUrl &url) { m_rules->linkClicked(url.toString()); });
}

MessageDialog::~MessageDialog() = default;

void MessageDialog::setContactNames(const QStringList &names, int selected)
{
    m_filling = true;
    m_chatWith->clear();
    m_chatWith->addItems(names);
    m_chatWith->setCurrentIndex(selected);
    m_filling = false;
}

QString MessageDialog::chosenContactText() const
{
    return m_chatWith->currentText();
}

QString MessageDialog::messageText() const
{
    return m_message->toPlainText();
}

void MessageDialog::clearMessageText()
{
    m_message->clear();
}

void MessageDialog::focusMessageText()
{
    m_message->setFocus();
}

void MessageDialog::appendTranscript(const QString &text, presence::TranscriptPart part)
{
    m_transcript->appendPiece(text, part);
}

void MessageDialog::setCaption(const QString &title)
{
    setWindowTitle(title);
}

void MessageDialog::setPeer(const QString &nickname, const QString &credit)
{
    m_peerNick->setText(nickname);
    m_peerCredit->setText(credit);
}

void MessageDialog::showHead(QLabel *label, QString &shownUser, const presence::HeadPictureRequest &request)
{
    shownUser = request.isCustom() ? request.customName : QString();
    if (!m_faces)
        return;
    const QPixmap picture = chatHeadPicture(*m_faces, request);
    if (!picture.isNull())
        label->setPixmap(picture);
}

void MessageDialog::customPictureArrived(const QString &userId, const QString &path)
{
    const bool peer = !m_peerHeadUser.isEmpty() && m_peerHeadUser == userId;
    const bool own = !m_ownHeadUser.isEmpty() && m_ownHeadUser == userId;
    if (!peer && !own)
        return;
    const QPixmap picture = customHeadPicture(path);
    if (picture.isNull())
        return;
    if (peer)
        m_peerHead->setPixmap(picture);
    if (own)
        m_ownHead->setPixmap(picture);
}

void MessageDialog::showPeerHead(const presence::HeadPictureRequest &request)
{
    showHead(m_peerHead, m_peerHeadUser, request);
}

void MessageDialog::setOwn(const QString &nickname, const presence::HeadPictureRequest &head)
{
    m_ownNick->setText(nickname);
    showHead(m_ownHead, m_ownHeadUser, head);
}

bool MessageDialog::isShown() const
{
    return isVisible() && !isMinimized();
}

void MessageDialog::showBoard(bool activate)
{
    if (!activate)
        setAttribute(Qt::WA_ShowWithoutActivating, true);
    if (isMinimized())
        showNormal();
    else
        show();
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    if (activate) {
        raise();
        activateWindow();
        m_message->setFocus();
    }
}

void MessageDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter p(this);
    // Stretched across the client width at its own height.
    p.drawPixmap(QRect(0, 0, width(), kBannerHeight), m_banner);
}

void MessageDialog::closeEvent(QCloseEvent *event)
{
    // Closing only hides: contacts and transcript stay for the life of the frame.
    QDialog::closeEvent(event);
    hide();
}

void MessageDialog::keyPressEvent(QKeyEvent *event)
{
    // Enter belongs to the message box (a line break); Escape hides as closing does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

MessageDialog *installMessageBoard(MainFrameWindow &frame, platform::MessageBoxes &messages,
                                   platform::SystemOpener &opener)
{
    if (!frame.isCreated())
        return nullptr;
    QPointer<MainFrameWindow> guard(&frame);
    presence::ArrivalAlerts alerts;
    alerts.playSound = [] { playMessageSound(); };
    alerts.startTrayAnimation = [guard] {
        if (guard)
            guard->startTrayAnimation(500);
    };
    alerts.notify = [guard](const QString &text) {
        if (guard)
            guard->notifyArrival(text);
    };
    presence::CMainFrame &rules = frame.frame();
    auto *board = new MessageDialog(rules.site(), rules.member(), messages, opener, frame.customFaces(),
                                    std::move(alerts), &frame);
    board->setWindowFlag(Qt::Window, true);
    board->hide();
    QPointer<MessageDialog> boardGuard(board);
    rules.dialogs().showMessageBoard = [boardGuard] {
        if (boardGuard)
            boardGuard->rules().showFromTray();
    };
    rules.dialogs().openMessageBoard = [boardGuard, guard] {
        if (boardGuard)
            boardGuard->showBoard(true);
        if (guard)
            guard->stopTrayAnimation();
    };
    QObject::connect(&frame, &MainFrameWindow::pollTick, board,
                     [board] { board->rules().poll(presence::PollTrigger::Timer); });
    QObject::connect(&frame, &MainFrameWindow::startupPoll, board,
                     [board] { board->rules().poll(presence::PollTrigger::Startup); });
    frame.updateCommandStates();
    return board;
}

} // namespace quillora::ui
