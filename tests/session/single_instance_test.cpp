#include "single_instance.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>

using quillora::session::SingleInstanceLock;

TEST(SingleInstanceLock, SecondCopyOnTheSameDisplayIsRefusedUntilTheFirstEnds)
{
    QTemporaryDir dir;
    auto first = std::make_unique<SingleInstanceLock>(dir.path(), QStringLiteral(":0"));
    ASSERT_TRUE(first->acquired());
    EXPECT_EQ(QFileInfo(first->path()).fileName(), QStringLiteral("MyQuilloraApp-:0.lock"));
    {
        SingleInstanceLock second(dir.path(), QStringLiteral(":0"));
        EXPECT_FALSE(second.acquired());
    }
    EXPECT_TRUE(first->acquired()); // the refused copy did not disturb the first
    SingleInstanceLock otherDisplay(dir.path(), QStringLiteral(":1"));
    EXPECT_TRUE(otherDisplay.acquired());

    first.reset();
    SingleInstanceLock third(dir.path(), QStringLiteral(":0"));
    EXPECT_TRUE(third.acquired());
}

TEST(SingleInstanceLock, LockHeldByAnotherProcessIsSeen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("MyQuilloraApp-:5.lock"));
    // flock(1) takes the lock and becomes "sleep", holding it until killed.
    QProcess holder;
    holder.start(QStringLiteral("flock"), {QStringLiteral("--no-fork"), QStringLiteral("-x"), path,
                                           QStringLiteral("sleep"), QStringLiteral("30")});
    ASSERT_TRUE(holder.waitForStarted());
    bool refused = false;
    for (int i = 0; i < 100 && !refused; ++i) {
        refused = !SingleInstanceLock(dir.path(), QStringLiteral(":5")).acquired();
        if (!refused)
            QThread::msleep(20);
    }
    EXPECT_TRUE(refused);
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(SingleInstanceLock(dir.path(), QStringLiteral(":5")).acquired());
}

TEST(SingleInstanceLock, UnusableDirectoryRefusesToStart)
{
    EXPECT_FALSE(SingleInstanceLock(QStringLiteral("/nonexistent/quillora-test"), QStringLiteral(":0")).acquired());
    EXPECT_FALSE(SingleInstanceLock(QString(), QStringLiteral(":0")).acquired());
}

TEST(SingleInstanceLock, SessionKeyComesFromTheDisplayAndFitsAFileName)
{
    const QByteArray oldWayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray oldDisplay = qgetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("DISPLAY", "host/x:10.0");
    EXPECT_EQ(SingleInstanceLock::displaySessionKey(), QStringLiteral("host_x_10.0"));
    qputenv("WAYLAND_DISPLAY", "wayland-1");
    EXPECT_EQ(SingleInstanceLock::displaySessionKey(), QStringLiteral("wayland-1"));
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("DISPLAY");
    EXPECT_EQ(SingleInstanceLock::displaySessionKey(), QStringLiteral("console"));
    if (!oldWayland.isNull())
        qputenv("WAYLAND_DISPLAY", oldWayland);
    if (!oldDisplay.isNull())
        qputenv("DISPLAY", oldDisplay);
}
