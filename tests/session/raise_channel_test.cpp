#include "raise_channel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quillora::session;

namespace {

// Runs the event loop until `done` or two seconds have passed.
template <typename Pred> bool waitFor(Pred done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Connects to `path` and writes `bytes` as they are, then hangs up.
void knockWith(const QString &path, const QByteArray &bytes)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = path.toLocal8Bit();
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    if (!bytes.isEmpty()) {
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    }
    ::close(fd);
}

int argc = 1;
char arg0[] = "raise_channel_test";
char *argv[] = {arg0, nullptr};

} // namespace

TEST(RaiseChannel, SecondStartReachesTheRunningCopy)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = raiseSocketPath(dir.filePath(QStringLiteral("MyQuilloraApp-_0.lock")));
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("MyQuilloraApp-_0.sock"));

    // Nobody listens yet: the second start learns it and does not hang.
    EXPECT_FALSE(askRunningCopyToRaise(path));

    int raised = 0;
    {
        RaiseListener listener(path);
        ASSERT_TRUE(listener.listening());
        // Only the owner may connect.
        EXPECT_EQ(QFileInfo(path).permissions() &
                      (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                  QFile::Permissions());
        QObject::connect(&listener, &RaiseListener::raiseRequested, &app, [&raised] { ++raised; });

        EXPECT_TRUE(askRunningCopyToRaise(path));
        EXPECT_TRUE(waitFor([&] { return raised == 1; }));
        EXPECT_TRUE(askRunningCopyToRaise(path));
        EXPECT_TRUE(waitFor([&] { return raised == 2; }));

        // Anything but the one request is ignored, and does not stop the listener.
        knockWith(path, QByteArrayLiteral("raisf\n"));
        knockWith(path, QByteArray());
        knockWith(path, QByteArrayLiteral("raise\nraise\n"));
        EXPECT_TRUE(askRunningCopyToRaise(path));
        EXPECT_TRUE(waitFor([&] { return raised == 3; }));
        EXPECT_EQ(raised, 3);
    }
    // The listener removes its socket when the program ends.
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(askRunningCopyToRaise(path));
}

TEST(RaiseChannel, SocketLeftByACrashedCopyIsTakenOver)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("MyQuilloraApp-_1.sock"));
    {
        // A bound socket whose owner is gone, as a crash leaves it.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = path.toLocal8Bit();
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    }
    EXPECT_FALSE(askRunningCopyToRaise(path));
    RaiseListener listener(path);
    ASSERT_TRUE(listener.listening());
    bool raised = false;
    QObject::connect(&listener, &RaiseListener::raiseRequested, &app, [&raised] { raised = true; });
    EXPECT_TRUE(askRunningCopyToRaise(path));
    EXPECT_TRUE(waitFor([&] { return raised; }));

    // A path too long for a socket address is refused, not truncated.
    const QString tooLong = dir.filePath(QString(200, QLatin1Char('x')));
    EXPECT_FALSE(RaiseListener(tooLong).listening());
    EXPECT_FALSE(askRunningCopyToRaise(tooLong));
}
