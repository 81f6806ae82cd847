// CModeless: the small "Connecting" window shown while start-up talks to the
// service. No buttons; its background picture is stretched over the client
// area; it deletes itself when it is closed.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace quillora::ui {

class CModeless : public QWidget {
    Q_OBJECT
  public:
    explicit CModeless(QWidget *parent = nullptr);

    // Shows the window and paints it at once (the service calls that follow
    // block the event loop).
    void showNow();

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    QPixmap m_background;
};

} // namespace quillora::ui
