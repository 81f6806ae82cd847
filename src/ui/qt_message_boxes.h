// MessageBoxes shown as QMessageBox: modal to the request's owner (when it is
// a widget), captioned and iconed as asked.
#pragma once

#include "platform/message_box.h"

namespace quillora::ui {

class QtMessageBoxes : public platform::MessageBoxes {
  public:
    platform::MessageAnswer show(const platform::MessageRequest &request) override;
};

} // namespace quillora::ui
