// Windows bitmap files for the head picture tests: a plain uncompressed file
// of any size and depth, built byte by byte so a test can also break it.
#pragma once

#include <QByteArray>
#include <QtEndian>

namespace quillora::testpeers {

// A bitmap with a 40-byte info header; `bits` 1, 4 or 8 get a grey palette.
// A negative height stores the rows from the top. Every pixel takes `shade`.
inline QByteArray bitmapFile(int width = 32, int height = 32, int bits = 24, char shade = '\x40')
{
    const int rows = height < 0 ? -height : height;
    const int stride = (width * bits + 31) / 32 * 4;
    const int colours = bits <= 8 ? 1 << bits : 0;
    const int offset = 14 + 40 + colours * 4;
    QByteArray out(offset + stride * rows, '\0');
    auto put32 = [&out](int at, qint32 v) { qToLittleEndian<qint32>(v, out.data() + at); };
    auto put16 = [&out](int at, qint16 v) { qToLittleEndian<qint16>(v, out.data() + at); };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, qint32(out.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    put16(26, 1);
    put16(28, qint16(bits));
    put32(34, stride * rows);
    put32(46, colours);
    for (int c = 0; c < colours; ++c) {
        const char level = char(c * 255 / (colours - 1));
        out[54 + c * 4] = out[55 + c * 4] = out[56 + c * 4] = level;
    }
    for (int i = offset; i < out.size(); ++i)
        out[i] = shade;
    return out;
}

} // namespace quillora::testpeers
