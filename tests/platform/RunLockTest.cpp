#include "platform/RunLock.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>

namespace {

QString S(const char* text)
{
    return QString::fromLatin1(text);
}

TEST(RunLock, OneRunAtATimePerFolder)
{
    TestDir dir;
    RunLock first(dir.path());
    QString message;
    ASSERT_TRUE(first.acquire(message)) << message.toStdString();
    EXPECT_TRUE(first.takeOverNote().isEmpty());
    // The lock names its owner whole: process, program, computer.
    const QList<QByteArray> lines = dir.read(S("quorvane.lock")).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.at(0), QByteArray::number(QCoreApplication::applicationPid()));
    EXPECT_EQ(lines.at(1), QByteArray("test_platform"));
    EXPECT_EQ(lines.at(2), QSysInfo::machineHostName().toUtf8());

    RunLock second(dir.path());
    EXPECT_FALSE(second.acquire(message));
    EXPECT_EQ(message, QStringLiteral("Another Quorvane run is using this data folder (process %1)")
                           .arg(QCoreApplication::applicationPid()));

    // Another folder is another matter.
    TestDir other;
    RunLock elsewhere(other.path());
    EXPECT_TRUE(elsewhere.acquire(message));

    first.release();
    EXPECT_FALSE(dir.exists(S("quorvane.lock")));
    EXPECT_TRUE(second.acquire(message)) << message.toStdString();
    // Nothing is left beside the lock.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{S("quorvane.lock")});
}

// What a run that ended without letting go of its lock (a kill, a power cut) or something else
// left in its place: taken over, with a line that says what it held, when nobody holds it.
TEST(RunLock, ALockNobodyHoldsIsTakenOver)
{
    QProcess gone;
    gone.start(S("/bin/true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const qint64 deadPid = gone.processId() > 0 ? gone.processId() : 999999;
    // A process that runs, but is no Quorvane run (its number came round again).
    QProcess sleeper;
    sleeper.start(S("sleep"), {S("60")});
    ASSERT_TRUE(sleeper.waitForStarted());
    const QByteArray host = QSysInfo::machineHostName().toUtf8();

    struct Case
    {
        const char* name;
        QByteArray bytes;
        const char* note;
    };
    const std::vector<Case> cases = {
        {"empty", QByteArray(), "An empty run lock"},
        {"garbage", "not a lock at all\n\x01\x02", "A damaged run lock"},
        {"binary", QByteArray("\x00\xff\xfe\x10", 4), "A damaged run lock"},
        {"a process that ended", QByteArray::number(deadPid) + "\nquorvane-cli\n" + host + "\n",
         "of process"},
        {"another program's process", QByteArray::number(sleeper.processId()) + "\nquorvane-cli\n" + host + "\n",
         "of process"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        dir.write(S("quorvane.lock"), c.bytes);
        RunLock lock(dir.path());
        QString message;
        ASSERT_TRUE(lock.acquire(message)) << message.toStdString();
        EXPECT_TRUE(lock.takeOverNote().contains(S(c.note))) << lock.takeOverNote().toStdString();
        EXPECT_TRUE(lock.takeOverNote().contains(QDir::toNativeSeparators(dir.file(S("quorvane.lock")))));
        EXPECT_TRUE(dir.read(S("quorvane.lock")).startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));
    }
    sleeper.kill();
    sleeper.waitForFinished();

    // Half-made locks of a run killed while it took the lock are cleared away, one of an ended
    // process with this process's number among them.
    TestDir dir;
    const QString own = S("quorvane.lock.%1-0.new").arg(QCoreApplication::applicationPid());
    dir.write(S("quorvane.lock.424242-0.new"), QByteArray::number(deadPid) + "\nquorvane\n" + host + "\n");
    dir.write(own, "garbage");
    RunLock lock(dir.path());
    QString message;
    ASSERT_TRUE(lock.acquire(message)) << message.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{S("quorvane.lock")});
}

// A lock that is held, or that can't be judged from here, is left alone, with a message that
// says what to check.
TEST(RunLock, ALockThatIsHeldOrOfAnotherComputerIsLeftAlone)
{
    TestDir dir;
    const QString path = dir.file(S("quorvane.lock"));
    // Another process holds the lock file as a run does (an advisory lock on it), with and
    // without its name written in it yet.
    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "named" : "not named yet");
        QFile::remove(path);
        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start(S("python3"), {S("-c"), S("import fcntl, os, sys\n"
                                                "fd = os.open(sys.argv[1], os.O_RDWR | os.O_CREAT)\n"
                                                "fcntl.flock(fd, fcntl.LOCK_EX)\n"
                                                "if sys.argv[2] == '1':\n"
                                                "    os.write(fd, ('%d\\nquorvane-cli\\n' % os.getpid()).encode())\n"
                                                "print('held', flush=True)\n"
                                                "sys.stdin.read()\n"),
                                    path, named ? S("1") : S("0")});
        ASSERT_TRUE(holder.waitForReadyRead(10000));
        RunLock lock(dir.path());
        QString message;
        EXPECT_FALSE(lock.acquire(message));
        if (named)
            EXPECT_EQ(message, S("Another Quorvane run is using this data folder (process %1)").arg(holder.processId()));
        else
            EXPECT_TRUE(message.contains(S("Check that no other Quorvane window or quorvane-cli runs on this data folder")))
                << message.toStdString();
        EXPECT_TRUE(QFile::exists(path));
        holder.closeWriteChannel();
        ASSERT_TRUE(holder.waitForFinished(10000));
        // Once its holder has gone, the lock is taken over.
        EXPECT_TRUE(lock.acquire(message)) << message.toStdString();
    }

    // A lock of another computer (a data folder on a network share) can't be judged from here.
    TestDir shared;
    shared.write(S("quorvane.lock"), "4242\nquorvane\nshack-pc\nsome-other-machine-id\n");
    RunLock lock(shared.path());
    QString message;
    EXPECT_FALSE(lock.acquire(message));
    EXPECT_TRUE(message.contains(S("on the computer shack-pc"))) << message.toStdString();
    EXPECT_TRUE(message.contains(S("process 4242"))) << message.toStdString();
    EXPECT_TRUE(message.contains(S("delete ") + QDir::toNativeSeparators(shared.file(S("quorvane.lock")))))
        << message.toStdString();
}

// Something other than a file in the lock's place, and a folder the lock can't be written in.
TEST(RunLock, WhatStandsInTheLocksPlace)
{
    TestDir dir;
    // An empty folder is no lock; one with something in it is the operator's to look at.
    ASSERT_TRUE(QDir().mkpath(dir.file(S("quorvane.lock"))));
    RunLock lock(dir.path());
    QString message;
    ASSERT_TRUE(lock.acquire(message)) << message.toStdString();
    EXPECT_TRUE(lock.takeOverNote().contains(S("empty folder"))) << lock.takeOverNote().toStdString();
    lock.release();
    ASSERT_TRUE(QDir().mkpath(dir.file(S("quorvane.lock/inside"))));
    EXPECT_FALSE(lock.acquire(message));
    EXPECT_TRUE(message.contains(S("is a folder, not Quorvane's run lock"))) << message.toStdString();
    EXPECT_TRUE(message.contains(S("Nothing was changed")));

    RunLock missing(dir.file(S("missing/folder")));
    EXPECT_FALSE(missing.acquire(message));
    EXPECT_TRUE(message.contains(S("does not exist"))) << message.toStdString();
}

} // namespace
