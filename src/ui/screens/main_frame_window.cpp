#include "main_frame_window.h"

#include "zone_catalogue.h"

#include "main_frame.h"
#include "platform/message_box.h"
#include "session/head_images.h"
#include "ui/desktop_notifier.h"
#include "ui/system_open.h"
#include "ui/ui_resources.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace quillora::ui {

using presence::FrameCommand;
using presence::FramePane;
using presence::StatusPane;

namespace {

// The zone tabs of the main view, in zone-index order, padded as they are shown.
// Per-user settings: the bar and pane layout lives under this group.
constexpr char kLayoutGroup[] = "CommandBars";
constexpr int kLayoutVersion = 1;

constexpr QSize kPaneSize(180, 120);

QString str(const char16_t *s)
{
    return QString::fromUtf16(s);
}

// An empty pane body until the pane's own view exists.
QWidget *placeholderPane(const QString &objectName)
{
    auto *body = new QLabel;
    body->setObjectName(objectName);
    body->setAutoFillBackground(true);
    body->setBackgroundRole(QPalette::Base);
    body->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    body->setMinimumSize(kPaneSize);
    return body;
}

// A zone tab until the zone views land: the program mark, faint, in the middle.
QWidget *placeholderZone(int index)
{
    auto *page = new QLabel;
    page->setObjectName(QStringLiteral("zone%1").arg(index));
    page->setAlignment(Qt::AlignCenter);
    page->setAutoFillBackground(true);
    page->setBackgroundRole(QPalette::Base);
    page->setPixmap(programIcon().pixmap(64, 64, QIcon::Disabled));
    return page;
}

} // namespace

struct MainFrameWindow::Widgets {
    QToolBar *toolbar = nullptr;
    QDockWidget *contact = nullptr;
    QDockWidget *search = nullptr;
    QTabWidget *tabs = nullptr;
    std::array<QLabel *, presence::kStatusPaneCount> panes{};
    std::array<QAction *, presence::kFrameCommandCount> actions{};
    QSystemTrayIcon *tray = nullptr;
    QMenu *trayMenu = nullptr;
    DesktopNotifier *notifier = nullptr;
    bool started = false;
    bool startupPollPending = false;
    QTimer pollTimer;
    QTimer trayTimer;
    std::array<QIcon, 4> trayFrames;
    QIcon trayStill;
    int trayFrame = 0;
    int badge = 0;
};

// The rules' view of the window.
class MainFrameWindow::Views : public presence::FrameView {
  public:
    explicit Views(MainFrameWindow &w) : m_w(w) {}

    void setStatusText(StatusPane pane, const QString &text) override
    {
        QLabel *label = m_w.m_w->panes[static_cast<int>(pane)];
        label->setText(text);
        if (pane != StatusPane::Prompt) {
            // The pane keeps its width unless the text would be cut off.
            const int needed =
                label->fontMetrics().horizontalAdvance(text) + 2 * label->frameWidth() + 2 * label->indent() + 2;
            label->setFixedWidth(std::max(presence::kStatusPaneWidths[static_cast<int>(pane)], needed));
        }
        if (pane == StatusPane::Prompt) {
            // Shown at once: a refresh blocks the event loop while it calls the service.
            m_w.statusBar()->clearMessage();
            label->repaint();
        }
    }
    void setLevelBadge(int badge) override
    {
        m_w.m_w->badge = badge;
        QLabel *label = m_w.m_w->panes[static_cast<int>(StatusPane::Level)];
        if (badge > 0)
            label->setPixmap(QPixmap(QStringLiteral(":/quillora/images/badges/level-%1.png").arg(badge)));
        else
            label->clear();
        label->setToolTip(badge > 0 ? QStringLiteral("Level %1").arg(badge) : QString());
    }
    void setModeratorEntryEnabled(bool enabled) override
    {
        if (QAction *a = m_w.m_w->actions[static_cast<int>(FrameCommand::ModeratorsEntry)])
            a->setEnabled(enabled);
    }
    void showPane(FramePane pane) override
    {
        QDockWidget *dock = pane == FramePane::Contact ? m_w.m_w->contact : m_w.m_w->search;
        dock->show();
        dock->raise();
    }
    void collapsePane(FramePane pane) override
    {
        (pane == FramePane::Contact ? m_w.m_w->contact : m_w.m_w->search)->hide();
    }
    void removeTrayIcon() override
    {
        m_w.stopTrayAnimation();
        m_w.m_w->tray->hide();
    }
    bool hasTrayArea() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    void endProgram() override
    {
        if (m_w.m_quit)
            m_w.m_quit();
    }

  private:
    MainFrameWindow &m_w;
};

MainFrameWindow::MainFrameWindow(const MainFrameContext &context, QWidget *parent)
    : QMainWindow(parent), m_views(std::make_unique<Views>(*this)), m_w(std::make_unique<Widgets>()), m_quit([] {
          // Queued: the close that runs the sequence has to finish first.
          QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
      })
{
    initResources();
    setWindowTitle(platform::programTitle());
    setWindowIcon(programIcon());
    setObjectName(QStringLiteral("MainFrame"));

    // 1. the status bar and its seven panes
    QStatusBar *bar = statusBar();
    for (int i = 0; i < presence::kStatusPaneCount; ++i) {
        auto *label = new QLabel(bar);
        label->setObjectName(QStringLiteral("statusPane%1").arg(i));
        label->setTextFormat(Qt::PlainText); // the nickname comes from the network
        if (i == 0) {
            label->setMinimumWidth(presence::kStatusPaneWidths[0]);
            bar->addWidget(label, 1);
        } else {
            label->setFixedWidth(presence::kStatusPaneWidths[i]);
            label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            label->setAlignment(i == 3 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
            label->setIndent(3);
            bar->addPermanentWidget(label);
        }
        m_w->panes[i] = label;
    }

    // 2 to 4. the member values, the online count and the status fields
    m_frame = std::make_unique<presence::CMainFrame>(context.site, *context.messages, *context.opener, *m_views, this);
    if (!m_frame->create(context.userDocument))
        return;

    // 5. bars, panes and the main view
    QMenuBar *menus = menuBar();
    menus->setObjectName(QStringLiteral("MenuBar"));
    menus->setWindowTitle(QStringLiteral("Menu Bar"));
    m_w->toolbar = new QToolBar(QStringLiteral("Standard"), this);
    m_w->toolbar->setObjectName(QStringLiteral("Standard"));
    m_w->toolbar->setIconSize(QSize(32, 32));
    addToolBar(Qt::TopToolBarArea, m_w->toolbar);

    std::array<QMenu *, presence::kFrameMenuCount> menu{};
    for (int i = 0; i < presence::kFrameMenuCount; ++i) {
        menu[i] = menus->addMenu(presence::menuCaption(static_cast<presence::FrameMenu>(i)));
        menu[i]->setObjectName(QStringLiteral("menu%1").arg(i));
    }
    for (const presence::CommandInfo &info : presence::frameCommands()) {
        const FrameCommand command = info.command;
        QAction *action = nullptr;
        if (command == FrameCommand::ToolBar) {
            action = m_w->toolbar->toggleViewAction();
            action->setText(str(info.caption));
        } else {
            action = new QAction(str(info.caption), this);
        }
        action->setObjectName(QStringLiteral("command%1").arg(static_cast<int>(command)));
        action->setStatusTip(presence::commandStatusTip(command));
        action->setToolTip(presence::commandToolTip(command));
        if (info.iconName[0] != 0) {
            action->setIcon(commandIcon(str(info.iconName)));
            action->setIconVisibleInMenu(true);
        }
        QMenu *into = menu[static_cast<int>(info.menu)];
        if (info.separatorBefore)
            into->addSeparator();
        into->addAction(action);
        m_w->actions[static_cast<int>(command)] = action;

        switch (command) {
        case FrameCommand::ToolBar:
            break;
        case FrameCommand::StatusBar:
            action->setCheckable(true);
            action->setChecked(true);
            connect(action, &QAction::toggled, statusBar(), &QWidget::setVisible);
            break;
        case FrameCommand::Exit:
            connect(action, &QAction::triggered, this, &QWidget::close);
            break;
        case FrameCommand::About:
            connect(action, &QAction::triggered, this, [this] {
                if (m_about)
                    m_about();
            });
            break;
        case FrameCommand::PrintQuestion:
            action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
            [[fallthrough]];
        default:
            connect(action, &QAction::triggered, this, [this, command] { m_frame->run(command); });
            break;
        }
    }
    for (FrameCommand command : presence::toolbarLayout()) {
        if (command == presence::kToolbarSeparator)
            m_w->toolbar->addSeparator();
        else
            m_w->toolbar->addAction(m_w->actions[static_cast<int>(command)]);
    }

    auto makeDock = [this](const QString &title, const QString &objectName, FrameCommand imageOf,
                           Qt::DockWidgetArea area) {
        auto *dock = new QDockWidget(title, this);
        dock->setObjectName(objectName);
        dock->setWindowIcon(m_w->actions[static_cast<int>(imageOf)]->icon());
        dock->setWidget(placeholderPane(objectName + QStringLiteral("Body")));
        addDockWidget(area, dock);
        dock->hide(); // collapsed until a command shows it

        // The collapsed pane's tab at its edge: a click shows the pane, or
        // collapses it again.
        auto *edge = new QToolBar(title, this);
        edge->setObjectName(objectName + QStringLiteral("Tab"));
        edge->setMovable(false);
        edge->setFloatable(false);
        edge->toggleViewAction()->setVisible(false);
        auto *tab = new QTabBar(edge);
        tab->setObjectName(objectName + QStringLiteral("TabBar"));
        tab->setAccessibleName(title);
        tab->setShape(area == Qt::RightDockWidgetArea ? QTabBar::RoundedEast : QTabBar::RoundedWest);
        tab->setIconSize(QSize(16, 16));
        tab->setDrawBase(false);
        // The tab turns its contents with it; the image is turned back so it stands upright.
        const bool east = area == Qt::RightDockWidgetArea;
        const QPixmap image = dock->windowIcon().pixmap(16, 16).transformed(QTransform().rotate(east ? -90 : 90));
        tab->addTab(QIcon(image), title);
        edge->addWidget(tab);
        addToolBar(area == Qt::RightDockWidgetArea ? Qt::RightToolBarArea : Qt::LeftToolBarArea, edge);
        connect(tab, &QTabBar::tabBarClicked, dock, [dock] {
            if (dock->isHidden()) {
                dock->show();
                dock->raise();
            } else {
                dock->hide();
            }
        });
        return dock;
    };
    m_w->contact = makeDock(QStringLiteral("Contact"), QStringLiteral("pane1446"), FrameCommand::Communication,
                            Qt::RightDockWidgetArea);
    m_w->search = makeDock(QStringLiteral("Search"), QStringLiteral("pane1447"), FrameCommand::SearchQuestions,
                           Qt::LeftDockWidgetArea);
    resizeDocks({m_w->contact, m_w->search}, {kPaneSize.width(), kPaneSize.width()}, Qt::Horizontal);

    m_w->tabs = new QTabWidget(this);
    m_w->tabs->setObjectName(QStringLiteral("zoneTabs"));
    m_w->tabs->setAccessibleName(QStringLiteral("Zone views"));
    m_w->tabs->tabBar()->setAccessibleName(QStringLiteral("Zones"));
    m_w->tabs->setDocumentMode(true);
    for (int i = 0; i < forum::kZoneCount; ++i)
        m_w->tabs->addTab(placeholderZone(i), forum::tabCaption(i));
    setCentralWidget(m_w->tabs);
    connect(m_w->tabs, &QTabWidget::currentChanged, this, &MainFrameWindow::zoneTabChanged);

    restoreLayout();

    // 6. the tray icon, its menu and its animation
    m_w->trayStill = trayIcon(0);
    for (int i = 0; i < 4; ++i)
        m_w->trayFrames[i] = trayIcon(i + 1);
    m_w->trayMenu = new QMenu(this);
    m_w->trayMenu->setObjectName(QStringLiteral("trayMenu"));
    for (const presence::TrayMenuItem &item : presence::trayMenu()) {
        QAction *command = m_w->actions[static_cast<int>(item.command)];
        QAction *entry = m_w->trayMenu->addAction(str(item.caption));
        connect(entry, &QAction::triggered, command, &QAction::trigger);
    }
    m_w->tray = new QSystemTrayIcon(m_w->trayStill, this);
    m_w->tray->setContextMenu(m_w->trayMenu);
    connect(m_w->tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            if (m_frame->dialogs().showMessageBoard)
                m_frame->dialogs().showMessageBoard();
            stopTrayAnimation();
        } else if (reason == QSystemTrayIcon::Context) {
            raise();
            activateWindow();
        }
    });
    // Notifications of arrived messages, and a click on one opens the board.
    m_w->notifier = new DesktopNotifier(this);
    m_w->notifier->setTrayIcon(m_w->tray);
    connect(m_w->notifier, &DesktopNotifier::activated, this, [this] {
        if (m_frame->dialogs().openMessageBoard)
            m_frame->dialogs().openMessageBoard();
        stopTrayAnimation();
    });
    connect(&m_w->trayTimer, &QTimer::timeout, this, [this] {
        m_w->trayFrame = (m_w->trayFrame + 1) % int(m_w->trayFrames.size());
        m_w->tray->setIcon(m_w->trayFrames[m_w->trayFrame]);
    });

    // 8. timer 1 (started when the frame is shown)
    m_w->pollTimer.setInterval(m_frame->pollIntervalMs());
    connect(&m_w->pollTimer, &QTimer::timeout, this, &MainFrameWindow::pollTick);

    updateCommandStates();
    m_created = true;
}

MainFrameWindow::~MainFrameWindow() = default;

bool MainFrameWindow::isCreated() const
{
    return m_created;
}

void MainFrameWindow::showMaximizedAndStart()
{
    if (!m_created)
        return;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    showMaximized();
    m_w->tray->show();
    m_w->pollTimer.start();
    m_w->started = true;
    if (m_w->startupPollPending) {
        m_w->startupPollPending = false;
        Q_EMIT startupPoll();
    }
}

void MainFrameWindow::requestStartupPoll()
{
    if (!m_created)
        return;
    if (m_w->started)
        Q_EMIT startupPoll();
    else
        m_w->startupPollPending = true;
}

void MainFrameWindow::setAboutHandler(std::function<void()> handler)
{
    m_about = std::move(handler);
}

void MainFrameWindow::setQuitHandler(std::function<void()> handler)
{
    m_quit = std::move(handler);
}

presence::CMainFrame &MainFrameWindow::frame()
{
    return *m_frame;
}

const presence::CMainFrame &MainFrameWindow::frame() const
{
    return *m_frame;
}

QAction *MainFrameWindow::commandAction(FrameCommand command) const
{
    const int i = static_cast<int>(command);
    return i >= 0 && i < presence::kFrameCommandCount ? m_w->actions[i] : nullptr;
}

void MainFrameWindow::updateCommandStates()
{
    for (int i = 0; i < presence::kFrameCommandCount; ++i) {
        if (QAction *a = m_w->actions[i])
            a->setEnabled(m_frame->isAvailable(static_cast<FrameCommand>(i)));
    }
}

void MainFrameWindow::startTrayAnimation(int periodMs)
{
    if (!m_w->tray)
        return;
    m_w->trayFrame = 0;
    m_w->tray->setIcon(m_w->trayFrames[0]);
    m_w->trayTimer.start(periodMs);
}

void MainFrameWindow::stopTrayAnimation()
{
    if (!m_w->tray)
        return;
    m_w->trayTimer.stop();
    m_w->tray->setIcon(m_w->trayStill);
}

void MainFrameWindow::setPromptText(const QString &text)
{
    if (m_created)
        m_views->setStatusText(StatusPane::Prompt, text);
}

void MainFrameWindow::notifyArrival(const QString &text)
{
    if (m_w->notifier)
        m_w->notifier->notify(platform::programTitle(), text);
}

bool MainFrameWindow::isTrayAnimating() const
{
    return m_w->trayTimer.isActive();
}

int MainFrameWindow::pollIntervalMs() const
{
    return m_w->pollTimer.isActive() ? m_w->pollTimer.interval() : 0;
}

void MainFrameWindow::setPaneView(FramePane pane, QWidget *view)
{
    if (!m_created) {
        delete view;
        return;
    }
    QDockWidget *dock = pane == FramePane::Contact ? m_w->contact : m_w->search;
    QWidget *old = dock->widget();
    dock->setWidget(view);
    delete old;
}

void MainFrameWindow::setZoneView(int zoneIndex, QWidget *view)
{
    if (!m_created || zoneIndex < 0 || zoneIndex >= m_w->tabs->count()) {
        delete view;
        return;
    }
    const QString caption = m_w->tabs->tabText(zoneIndex);
    const QSignalBlocker swapping(m_w->tabs);
    const bool current = m_w->tabs->currentIndex() == zoneIndex;
    QWidget *old = m_w->tabs->widget(zoneIndex);
    m_w->tabs->removeTab(zoneIndex);
    m_w->tabs->insertTab(zoneIndex, view, caption);
    if (current)
        m_w->tabs->setCurrentIndex(zoneIndex);
    delete old;
}

int MainFrameWindow::currentZoneTab() const
{
    return m_w->tabs ? m_w->tabs->currentIndex() : -1;
}

void MainFrameWindow::setCurrentZoneTab(int zoneIndex)
{
    if (m_w->tabs && zoneIndex >= 0 && zoneIndex < m_w->tabs->count())
        m_w->tabs->setCurrentIndex(zoneIndex);
}

void MainFrameWindow::saveLayout() const
{
    QSettings settings;
    settings.beginGroup(QLatin1String(kLayoutGroup));
    settings.setValue(QStringLiteral("State"), saveState(kLayoutVersion));
    if (const QAction *a = m_w->actions[static_cast<int>(FrameCommand::StatusBar)])
        settings.setValue(QStringLiteral("StatusBar"), a->isChecked());
    settings.endGroup();
}

session::CustomFaceDownloads &MainFrameWindow::customFaces()
{
    if (!m_faces)
        m_faces = new session::CustomFaceDownloads(m_frame->site(), session::customFaceDirectory(), this);
    return *m_faces;
}

bool MainFrameWindow::restoreLayout()
{
    QSettings settings;
    settings.beginGroup(QLatin1String(kLayoutGroup));
    const QByteArray state = settings.value(QStringLiteral("State")).toByteArray();
    const bool statusVisible = settings.value(QStringLiteral("StatusBar"), true).toBool();
    settings.endGroup();
    if (QAction *a = m_w->actions[static_cast<int>(FrameCommand::StatusBar)])
        a->setChecked(statusVisible);
    statusBar()->setVisible(statusVisible);
    const bool restored = !state.isEmpty() && restoreState(state, kLayoutVersion);
    // The layout gives the panes their place and size; they start collapsed all the same.
    m_w->contact->hide();
    m_w->search->hide();
    return restored;
}

void MainFrameWindow::closeEvent(QCloseEvent *event)
{
    if (m_created && !m_closing) {
        m_closing = true;
        saveLayout();
        m_frame->closeSequence();
    }
    event->accept();
}

} // namespace quillora::ui
