#include "platform/RunLock.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSysInfo>

namespace {

TEST(RunLock, OneRunAtATimePerFolder)
{
    TestDir dir;
    RunLock first(dir.path());
    QString message;
    ASSERT_TRUE(first.acquire(message)) << message.toStdString();

    RunLock second(dir.path());
    EXPECT_FALSE(second.acquire(message));
    EXPECT_EQ(message, QStringLiteral("Another Quorvane run is using this data folder (process %1)")
                           .arg(QCoreApplication::applicationPid()));

    // Another folder is another matter.
    TestDir other;
    RunLock elsewhere(other.path());
    EXPECT_TRUE(elsewhere.acquire(message));

    first.release();
    EXPECT_TRUE(second.acquire(message)) << message.toStdString();
}

// The lock of a process that has ended (killed mid-run) is taken over, however fresh it is.
TEST(RunLock, AStaleLockIsTakenOver)
{
    TestDir dir;
    QProcess gone;
    gone.start(QStringLiteral("/bin/true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const qint64 pid = gone.processId() > 0 ? gone.processId() : 999999;
    dir.write(QStringLiteral("quorvane.lock"),
              QByteArray::number(pid) + "\nquorvane-cli\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    RunLock lock(dir.path());
    QString message;
    EXPECT_TRUE(lock.acquire(message)) << message.toStdString();
}

TEST(RunLock, AFolderThatCannotBeWritten)
{
    TestDir dir;
    RunLock lock(dir.file(QStringLiteral("missing/folder")));
    QString message;
    EXPECT_FALSE(lock.acquire(message));
    EXPECT_FALSE(message.isEmpty());
}

} // namespace
