// Asking the member for a file to open. Rules classes ask through this port;
// the widget layer shows a real file dialog, tests answer in advance.
// Qt Core only.
#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <vector>

namespace quillora::platform {

struct FilePromptRequest {
    QString caption;
    QString filter; // "description(*.ext)"
    QObject *owner = nullptr;
};

class FilePrompts {
  public:
    virtual ~FilePrompts() = default;
    // The path of an existing file the member chose; empty when cancelled.
    virtual QString openFileName(const FilePromptRequest &request) = 0;
};

// Records every request and answers from a queue set in advance (cancelled
// when the queue is empty).
class RecordingFilePrompts : public FilePrompts {
  public:
    QString openFileName(const FilePromptRequest &request) override
    {
        asked.push_back(request);
        if (answers.empty())
            return {};
        QString next = answers.front();
        answers.pop_front();
        return next;
    }
    void setNextAnswer(const QString &path) { answers.push_back(path); }

    std::vector<FilePromptRequest> asked;
    std::deque<QString> answers;
};

} // namespace quillora::platform
