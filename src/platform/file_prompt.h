// Asking the member for a file name to save to. Logic takes a FilePrompts;
// the program passes the widget layer's dialog, tests a RecordingFilePrompts
// answered in advance. The prompt itself never asks about replacing a file:
// the caller does, so that the rule is the same everywhere. Qt Core only.
#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <vector>

namespace quillora::platform {

struct SaveFileRequest {
    QString caption;
    QString proposedName; // file name shown at first, in the last folder used
    QString filter;       // "label(*.ext)"
    QObject *owner = nullptr;
};

class FilePrompts {
  public:
    virtual ~FilePrompts() = default;
    // The chosen path, or an empty string when the member cancelled.
    virtual QString saveFileName(const SaveFileRequest &request) = 0;
};

// Records every request and answers from a queue (cancel when it is empty).
class RecordingFilePrompts : public FilePrompts {
  public:
    QString saveFileName(const SaveFileRequest &request) override
    {
        requests.push_back(request);
        if (answers.empty())
            return QString();
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
    std::vector<SaveFileRequest> requests;
    std::deque<QString> answers;
};

} // namespace quillora::platform
