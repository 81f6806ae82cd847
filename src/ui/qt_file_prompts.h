// FilePrompts shown as the desktop's file dialog, modal to the request's
// owner (when it is a widget).
#pragma once

#include "platform/file_prompt.h"

namespace quillora::ui {

class QtFilePrompts : public platform::FilePrompts {
  public:
    QString openFileName(const platform::FilePromptRequest &request) override;
    QString saveFileName(const platform::SaveFileRequest &request) override;
};

} // namespace quillora::ui
