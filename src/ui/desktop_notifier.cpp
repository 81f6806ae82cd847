#include "desktop_notifier.h"

#include "ui_resources.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace quillora::ui {

namespace {

constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kBodyMarkup[] = "body-markup";
constexpr qsizetype kMaxTracked = 64;

QDBusMessage call(const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(DesktopNotifier::kService),
                                          QLatin1String(DesktopNotifier::kPath), QLatin1String(kInterface),
                                          QLatin1String(method));
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_onBus = bus.isConnected();
    if (!m_onBus)
        return;
    bus.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                QStringLiteral("ActionInvoked"), this, SLOT(actionInvoked(uint, QString)));
    bus.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                QStringLiteral("NotificationClosed"), this, SLOT(notificationClosed(uint, uint)));
}

void DesktopNotifier::setTrayIcon(QSystemTrayIcon *tray)
{
    if (m_tray)
        disconnect(m_tray, nullptr, this, nullptr);
    m_tray = tray;
    if (tray)
        connect(tray, &QSystemTrayIcon::messageClicked, this, &DesktopNotifier::activated);
}

void DesktopNotifier::notify(const QString &title, const QString &text)
{
    const Notice notice{title, text};
    if (!m_onBus) {
        showBalloon(notice);
        return;
    }
    if (m_calling) {
        m_waiting = notice;
        return;
    }
    m_calling = true;
    if (m_markup == Markup::Unknown)
        askCapabilitiesThenSend(notice);
    else
        send(notice);
}

void DesktopNotifier::finished()
{
    m_calling = false;
    if (m_waiting) {
        const Notice next = *m_waiting;
        m_waiting.reset();
        notify(next.title, next.text);
    }
}

void DesktopNotifier::askCapabilitiesThenSend(const Notice &notice)
{
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, notice](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            // No service on this bus (yet): the balloon, and ask again next time.
            showBalloon(notice);
            finished();
            return;
        }
        m_markup = reply.value().contains(QLatin1String(kBodyMarkup)) ? Markup::Yes : Markup::No;
        send(notice);
    });
}

void DesktopNotifier::send(const Notice &notice)
{
    QDBusMessage notify = call("Notify");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
    notify << QCoreApplication::applicationName() << m_shown << QGuiApplication::desktopFileName() << notice.title
           << (m_markup == Markup::No ? notice.text : notice.text.toHtmlEscaped())
           << QStringList{QLatin1String(kDefaultAction), QStringLiteral("Open the message board")} << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, notice](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            m_markup = Markup::Unknown; // the service went away; ask the next one
            showBalloon(notice);
        } else {
            m_shown = reply.value();
            // A service that never says it closed one must not grow the set.
            if (m_ours.size() >= kMaxTracked)
                m_ours.clear();
            m_ours.insert(m_shown);
        }
        finished();
    });
}

void DesktopNotifier::showBalloon(const Notice &notice)
{
    if (m_tray && m_tray->isVisible() && QSystemTrayIcon::supportsMessages())
        m_tray->showMessage(notice.title, notice.text, programIcon());
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    if (m_ours.contains(id) && action == QLatin1String(kDefaultAction))
        Q_EMIT activated();
}

void DesktopNotifier::notificationClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    m_ours.remove(id);
    if (id == m_shown)
        m_shown = 0;
}

} // namespace quillora::ui
