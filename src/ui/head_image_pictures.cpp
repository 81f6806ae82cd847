#include "head_image_pictures.h"

namespace quillora::ui {

QPixmap builtInHeadPixmap(int headImageNumber)
{
    const int picture = session::builtInPictureNumber(headImageNumber);
    return QPixmap(QStringLiteral(":/quillora/faces/face-%1.png").arg(picture, 2, 10, QLatin1Char('0')));
}

QList<QPixmap> builtInHeadPixmaps()
{
    QList<QPixmap> pictures;
    for (int n = 1; n <= session::kBuiltInHeadCount; ++n)
        pictures.append(builtInHeadPixmap(n));
    return pictures;
}

QPixmap memberHeadPixmap(const session::CustomFaceCache &cache, const QString &userId, int headImageNumber,
                         int customFlag)
{
    const session::CustomFaceCache::Resolved resolved = cache.resolve(userId, headImageNumber, customFlag);
    if (resolved.picture > 0)
        return builtInHeadPixmap(resolved.picture);
    if (resolved.path.isEmpty())
        return {};
    QPixmap picture(resolved.path);
    if (!picture.isNull() && (picture.width() > 32 || picture.height() > 32))
        picture = picture.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

} // namespace quillora::ui
