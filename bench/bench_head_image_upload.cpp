// The custom head image upload on loopback: a 32x32 bitmap sent by FTP
// (active mode, binary, a fresh session each time) to the real FTP server
// (pyftpdlib), as the "Custom image" button sends it.
#include "ftp_server_process.h"
#include "session/ftp_upload.h"

#include <benchmark/benchmark.h>

using namespace quillora;

namespace {

// A 32x32 24-bit bitmap: 54 bytes of headers and 3072 of pixels.
QByteArray picture()
{
    QByteArray out("BM");
    const auto le = [&out](quint32 v, int n) {
        for (int i = 0; i < n; ++i)
            out.append(char(v >> (8 * i)));
    };
    le(54 + 3072, 4), le(0, 4), le(54, 4), le(40, 4), le(32, 4), le(32, 4), le(1, 2), le(24, 2);
    le(0, 4), le(3072, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
    return out + QByteArray(3072, '\x40');
}

testpeers::FtpServerProcess &ftpServer()
{
    static testpeers::FtpServerProcess ftp(QStringLiteral("faceupl"), QStringLiteral("Up#load8"));
    return ftp;
}

session::FtpConnection connection()
{
    session::FtpConnection c;
    c.host = QStringLiteral("127.0.0.1");
    c.port = quint16(ftpServer().port());
    c.user = ftpServer().user();
    c.password = ftpServer().password();
    return c;
}

void BM_FtpUpload32x32(benchmark::State &state)
{
    if (!ftpServer().started()) {
        state.SkipWithError(ftpServer().error().c_str());
        return;
    }
    const QByteArray data = picture();
    for (auto _ : state) {
        const session::FtpUploadResult r =
            session::ftpUpload(connection(), QStringLiteral("Varnel/Web/images/CustomFace/7.bmp"), data);
        if (!r.ok)
            state.SkipWithError(r.error.toUtf8().constData());
    }
}
BENCHMARK(BM_FtpUpload32x32)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
