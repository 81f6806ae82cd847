#include "custom_face_bitmap.h"

#include "head_images.h"

#include <cstdint>
#include <cstdlib>

namespace quillora::session {

namespace {

constexpr qint64 kFileHeaderSize = 14;

// Little-endian fields at `at`; the caller has checked the bounds.
quint32 u32(const QByteArray &d, qint64 at)
{
    const auto *p = reinterpret_cast<const uchar *>(d.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}
quint16 u16(const QByteArray &d, qint64 at)
{
    const auto *p = reinterpret_cast<const uchar *>(d.constData() + at);
    return quint16(p[0] | p[1] << 8);
}

enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

} // namespace

std::optional<BitmapInfo> readBitmapInfo(const QByteArray &file)
{
    const qint64 size = file.size();
    if (size < kFileHeaderSize + 12 || file[0] != 'B' || file[1] != 'M')
        return std::nullopt;
    const qint64 pixelOffset = u32(file, 10);
    const qint64 headerSize = u32(file, 14);

    qint64 width = 0, height = 0;
    int planes = 0, bitCount = 0;
    quint32 compression = Rgb;
    bool topDown = false;
    if (headerSize == 12) { // OS/2 core header: unsigned 16-bit sizes
        width = u16(file, 18);
        height = u16(file, 20);
        planes = u16(file, 22);
        bitCount = u16(file, 24);
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
            return std::nullopt;
    } else if (headerSize >= 40 && headerSize <= 124 && kFileHeaderSize + headerSize <= size) {
        width = qint32(u32(file, 18));
        height = qint32(u32(file, 22));
        planes = u16(file, 26);
        bitCount = u16(file, 28);
        compression = u32(file, 30);
        topDown = height < 0;
        height = std::llabs(height);
        switch (compression) {
        case Rgb:
            if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
                return std::nullopt;
            break;
        case Rle8:
            if (bitCount != 8 || topDown)
                return std::nullopt;
            break;
        case Rle4:
            if (bitCount != 4 || topDown)
                return std::nullopt;
            break;
        case BitFields:
        case AlphaBitFields:
            if (bitCount != 16 && bitCount != 32)
                return std::nullopt;
            break;
        default: // JPEG or PNG inside, or unknown
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    if (kFileHeaderSize + headerSize > size || planes != 1 || width <= 0 || height <= 0 || width > 0x10000 ||
        height > 0x10000)
        return std::nullopt;
    // The pixels start after the headers (and colour table) and must be in the file.
    if (pixelOffset < kFileHeaderSize + headerSize || pixelOffset >= size)
        return std::nullopt;
    if (compression == Rgb || compression == BitFields || compression == AlphaBitFields) {
        const qint64 stride = (width * bitCount + 31) / 32 * 4;
        if (pixelOffset + stride * height > size)
            return std::nullopt;
    }
    return BitmapInfo{int(width), int(height), bitCount};
}

CustomFaceCheck checkCustomFace(const QByteArray &file)
{
    if (file.size() > kMaxCustomFaceBytes)
        return CustomFaceCheck::NotBitmap;
    const std::optional<BitmapInfo> info = readBitmapInfo(file);
    if (!info)
        return CustomFaceCheck::NotBitmap;
    if (info->width != kCustomFaceSize || info->height != kCustomFaceSize)
        return CustomFaceCheck::WrongSize;
    return CustomFaceCheck::Ok;
}

} // namespace quillora::session
