// The small wait windows shown while the client talks to the service: no
// buttons, a line of text over a background picture stretched over the
// client area; each deletes itself when it is closed.
//   CModeless  "Connecting"    while start-up signs the member in
//   (CRegWaitDlg, reg_wait_dialog.h, "Registration" while a sign-up is sent)
#pragma once

#include <QPixmap>
#include <QWidget>

namespace quillora::ui {

class WaitWindow : public QWidget {
    Q_OBJECT
  public:
    WaitWindow(const QString &title, const QString &text, QWidget *parent = nullptr);

    // Shows the window and paints it at once (the service calls that follow
    // block the event loop).
    void showNow();

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QPixmap m_background;
};

class CModeless : public WaitWindow {
    Q_OBJECT
  public:
    explicit CModeless(QWidget *parent = nullptr);
};

} // namespace quillora::ui
