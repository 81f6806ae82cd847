#include "connecting_window.h"

#include "ui_resources.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>

namespace quillora::ui {

WaitWindow::WaitWindow(const QString &title, const QString &text, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    initResources();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(title);
    setWindowIcon(programIcon());
    setFixedSize(340, 100);
    m_background.load(QStringLiteral(":/quillora/images/session/connecting-background.png"));

    auto *label = new QLabel(text, this);
    label->setGeometry(92, 26, 240, 30);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.1);
    f.setBold(true);
    label->setFont(f);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(pal);
}

void WaitWindow::showNow()
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WaitWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_background.isNull())
        p.drawPixmap(rect(), m_background);
    else
        p.fillRect(rect(), palette().window());
}

CModeless::CModeless(QWidget *parent)
    : WaitWindow(QStringLiteral("Connecting"), QStringLiteral("Connecting to the server....."), parent)
{
}

} // namespace quillora::ui
