// Asking the member for a file: one to open, or a name to save to. Rules
// classes ask through this port; the widget layer shows the desktop's file
// dialog, tests a RecordingFilePrompts answered in advance. The save prompt
// never asks about replacing a file: the caller does, so that the rule is the
// same everywhere. Qt Core only.
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

struct SaveFileRequest {
    QString caption;
    QString proposedName; // file name shown at first, in the last folder used
    QString filter;       // "label(*.ext)"
    QObject *owner = nullptr;
};

class FilePrompts {
  public:
    virtual ~FilePrompts() = default;
    // The path of an existing file the member chose; empty when cancelled.
    virtual QString openFileName(const FilePromptRequest &request) = 0;
    // The chosen path to save to; empty when the member cancelled.
    virtual QString saveFileName(const SaveFileRequest &request) = 0;
};

// Records every request and answers both kinds from one queue set in
// advance (cancelled when the queue is empty).
class RecordingFilePrompts : public FilePrompts {
  public:
    QString openFileName(const FilePromptRequest &request) override
    {
        asked.push_back(request);
        return nextAnswer();
    }
    QString saveFileName(const SaveFileRequest &request) override
    {
        requests.push_back(request);
        return nextAnswer();
    }
    void setNextAnswer(const QString &path) { answers.push_back(path); }

    std::vector<FilePromptRequest> asked;  // open prompts
    std::vector<SaveFileRequest> requests; // save prompts
    std::deque<QString> answers;

  private:
    QString nextAnswer()
    {
        if (answers.empty())
            return {};
        QString next = answers.front();
        answers.pop_front();
        return next;
    }
};

} // namespace quillora::platform
