// MessageBoxes shown as QMessageBox: modal to the request's owner (when it is
// a widget), captioned and iconed as asked.
#pragma once

#include "message_box.h"

namespace quillora::ui {

class QtMessageBoxes : public MessageBoxes {
  public:
    MessageAnswer show(const MessageRequest &request) override;
};

} // namespace quillora::ui
