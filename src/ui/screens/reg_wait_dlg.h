// CRegWaitDlg: the small "Registration" window shown while a sign-up talks to
// the service, "Sending data to the server......" over a background picture.
// It has no owner (it belongs to the desktop) and deletes itself when closed.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace quillora::ui {

class CRegWaitDlg : public QWidget {
    Q_OBJECT
  public:
    CRegWaitDlg();

    // Shows the window and paints it at once (the service calls that follow
    // block the event loop).
    void showNow();

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QPixmap m_background;
};

} // namespace quillora::ui
