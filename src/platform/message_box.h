// Message boxes as the logic sees them: text, caption, icon, buttons and
// owner. Rules classes show every message through this interface, so a test
// can read what was shown and answer it in advance; the widget layer shows a
// real QMessageBox. This header needs Qt Core only.
#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <vector>

namespace quillora::platform {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    QObject *owner = nullptr; // the window the box is modal to; may be null
};

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const MessageRequest &request) = 0;

    // The common case: an OK box.
    MessageAnswer ok(const QString &text, const QString &caption, MessageIcon icon = MessageIcon::None,
                     QObject *owner = nullptr)
    {
        return show({text, caption, icon, MessageButtons::Ok, owner});
    }
};

// Records every request and answers from a queue set in advance (OK, or the
// first button's answer, when the queue is empty). For tests and headless runs.
class RecordingMessageBoxes : public MessageBoxes {
  public:
    MessageAnswer show(const MessageRequest &request) override
    {
        shown.push_back(request);
        if (!nextAnswers.empty()) {
            const MessageAnswer a = nextAnswers.front();
            nextAnswers.pop_front();
            return a;
        }
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    void setNextAnswer(MessageAnswer a) { nextAnswers.push_back(a); }
    QString lastText() const { return shown.empty() ? QString() : shown.back().text; }

    std::vector<MessageRequest> shown;
    std::deque<MessageAnswer> nextAnswers;
};

// The program title, caption of most message boxes.
inline QString programTitle()
{
    return QStringLiteral("Quillora 2007");
}

} // namespace quillora::platform
