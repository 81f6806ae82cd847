#include "chat_pictures.h"

#include "head_image_pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

namespace quillora::ui {

QPixmap customHeadPicture(const QString &path)
{
    QPixmap picture;
    if (path.isEmpty() || !picture.load(path))
        return {};
    if (picture.width() > 32 || picture.height() > 32)
        picture = picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

QPixmap chatHeadPicture(session::CustomFaceDownloads &faces, const presence::HeadPictureRequest &request)
{
    if (!request.isCustom())
        return builtInHeadPixmap(request.builtIn);
    const QString path = faces.cache().filePath(request.customName);
    if (!path.isEmpty() && QFileInfo::exists(path)) {
        const QPixmap picture = customHeadPicture(path);
        if (!picture.isNull())
            return picture;
    } else if (request.mayDownload && faces.fetch(request.customName)) {
        return builtInHeadPixmap(request.builtIn);
    }
    return request.fallBackToBuiltIn ? builtInHeadPixmap(request.builtIn) : QPixmap();
}

QPixmap rankBadgePicture(int badge)
{
    if (badge < 0 || badge > 9)
        return {};
    return QPixmap(QStringLiteral(":/quillora/images/badges/level-%1.png").arg(badge + 1));
}

QPixmap messageBoardBanner()
{
    QPixmap banner(555, 35);
    banner.fill(Qt::transparent);
    QPainter p(&banner);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 555, 35);
    sky.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
    sky.setColorAt(0.6, QColor(0x3c, 0x7d, 0xc4));
    sky.setColorAt(1, QColor(0x9c, 0xc6, 0xee));
    p.fillRect(banner.rect(), sky);
    // Two speech bubbles on the left.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRoundedRect(QRectF(10, 6, 26, 16), 6, 6);
    p.drawPolygon(QPolygonF({QPointF(16, 21), QPointF(14, 28), QPointF(22, 21)}));
    p.setBrush(QColor(255, 214, 102, 235));
    p.drawRoundedRect(QRectF(26, 14, 22, 14), 5, 5);
    p.drawPolygon(QPolygonF({QPointF(42, 27), QPointF(45, 32), QPointF(38, 27)}));
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(17);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(58, 0, 400, 35), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Communication"));
    font.setPixelSize(11);
    font.setBold(false);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 210));
    p.drawText(QRect(0, 0, 545, 35), Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("Quillora 2007"));
    return banner;
}

void playMessageSound()
{
    static QString file;
    if (file.isEmpty()) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/msg.wav");
        QFile in(QStringLiteral(":/quillora/sounds/msg.wav"));
        QFile out(path);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        out.write(in.readAll());
        out.close();
        file = path;
    }
    for (const char *player : {"paplay", "pw-play", "aplay"}) {
        const QString program = QStandardPaths::findExecutable(QLatin1String(player));
        if (program.isEmpty())
            continue;
        QStringList args;
        if (QLatin1String(player) == QLatin1String("aplay"))
            args << QStringLiteral("-q");
        args << file;
        QProcess::startDetached(program, args);
        return;
    }
}

} // namespace quillora::ui
