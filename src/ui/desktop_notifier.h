// The program's desktop notifications: through the desktop's notification
// service (org.freedesktop.Notifications on the session bus) when one
// answers, else through the tray icon's balloon. Desktops without a tray
// area (GNOME without an extension, many Wayland sessions) have the service;
// without either nothing is shown, and the Message Board command remains.
//
// The text is plain text: the service renders markup in the body when it
// says it does, so the text is escaped for it; the balloon shows plain text.
// A click on the notification (its default action) or on the balloon emits
// activated(). Nothing here waits for the bus.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <optional>

class QSystemTrayIcon;

namespace quillora::ui {

class DesktopNotifier : public QObject {
    Q_OBJECT
  public:
    static constexpr char kService[] = "org.freedesktop.Notifications";
    static constexpr char kPath[] = "/org/freedesktop/Notifications";
    // The notification's action that a click on its body invokes.
    static constexpr char kDefaultAction[] = "default";

    explicit DesktopNotifier(QObject *parent = nullptr);

    // The tray icon whose balloon stands in when no service answers; may be
    // null. A click on its balloon emits activated() too.
    void setTrayIcon(QSystemTrayIcon *tray);

    // Shows `text` (plain text) under `title`; the notification still on
    // screen from the last call is replaced.
    void notify(const QString &title, const QString &text);

  Q_SIGNALS:
    void activated();

  private Q_SLOTS:
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

  private:
    enum class Markup { Unknown, Yes, No };

    struct Notice {
        QString title, text;
    };

    void askCapabilitiesThenSend(const Notice &notice);
    void send(const Notice &notice);
    // The call for `notice` ended: the one that waited for it goes next.
    void finished();
    void showBalloon(const Notice &notice);

    QPointer<QSystemTrayIcon> m_tray;
    bool m_onBus = false;
    Markup m_markup = Markup::Unknown;
    // One call at a time, so that the next notice replaces the one on
    // screen by its id; of those that come meanwhile only the last waits.
    bool m_calling = false;
    std::optional<Notice> m_waiting;
    uint m_shown = 0;  // the notification on screen, replaced by the next
    QSet<uint> m_ours; // ids of ours the service has not closed yet
};

} // namespace quillora::ui
