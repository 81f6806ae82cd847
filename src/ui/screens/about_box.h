// The application's about box, "About Quillora 2007".
#pragma once

#include <QDialog>

namespace quillora::ui {

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget *parent = nullptr);
};

} // namespace quillora::ui
