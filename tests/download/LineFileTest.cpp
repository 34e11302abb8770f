#include "download/LineFile.h"
#include "platform/Errors.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
QString S(const char* text)
{
    return QString::fromLatin1(text);
}

class LineFileTest : public ::testing::Test
{
protected:
    QString path() const { return dir.file(S("errors.txt")); }
    QByteArray onDisk() const { return dir.read(S("errors.txt")); }

    TestDir dir;
    LineFile file;
};

// A line is final only once committed: until then the file holds nothing of it.
TEST_F(LineFileTest, LinesReachTheFileOnlyWhenCommitted)
{
    dir.write(S("errors.txt"), "left from the last run\r\n");
    ASSERT_TRUE(file.create(path()));
    EXPECT_EQ(onDisk(), QByteArray()); // emptied at the start of the run
    file.writeLine(S("ERROR:     first"));
    file.writeLine(QString());
    EXPECT_EQ(file.heldBytes(), 16 + 2 + 2);
    EXPECT_EQ(onDisk(), QByteArray());
    file.commitLines();
    EXPECT_EQ(file.heldBytes(), 0);
    EXPECT_EQ(onDisk(), "ERROR:     first\r\n\r\n");
    file.writeLine(S("second"));
    file.commitLines();
    file.close();
    EXPECT_EQ(onDisk(), "ERROR:     first\r\n\r\nsecond\r\n");
}

// One byte a character: Latin-1 as it stands, what is beyond it a "?"; a line's own LF or CR
// is written as it stands (the line end is always CR LF after it).
TEST_F(LineFileTest, LatinOneBytesAndQuestionMarksBeyondIt)
{
    ASSERT_TRUE(file.create(path()));
    file.writeLine(QString::fromUtf8("Gen\xc3\xa8ve \xc5\x81\xc3\xb3\x64\xc5\xba \xe2\x82\xac \xf0\x9f\x93\xbb"));
    file.writeLine(QString(QChar(0)) + S("a\nb\rc\xff"));
    file.commitLines();
    file.close();
    // U+1F4FB is two UTF-16 units: two question marks, as toLatin1 gives.
    EXPECT_EQ(onDisk(), QByteArray("Gen\xe8ve ?\xf3" "d? ? ??\r\n") + QByteArray("\0a\nb\rc\xff\r\n", 9));
}

TEST_F(LineFileTest, DiscardedLinesNeverReachTheFile)
{
    ASSERT_TRUE(file.create(path()));
    file.writeLine(S("kept"));
    file.commitLines();
    file.writeLine(S("about a row the log did not take"));
    file.device().write("also held\r\n");
    file.discardLines();
    EXPECT_EQ(file.heldBytes(), 0);
    file.writeLine(S("after"));
    file.commitLines();
    file.close();
    EXPECT_EQ(onDisk(), "kept\r\nafter\r\n");
}

// What the monitor writes through the device is held with the lines, in the order written.
TEST_F(LineFileTest, DeviceWritesAreHeldInOrderWithTheLines)
{
    ASSERT_TRUE(file.create(path()));
    file.writeLine(S("one"));
    QIODevice& device = file.device();
    EXPECT_EQ(device.write("two\r\n"), 5);
    file.writeLine(S("three"));
    EXPECT_EQ(&file.device(), &device); // the same device for the whole run
    EXPECT_EQ(onDisk(), QByteArray());
    file.commitLines();
    file.close();
    EXPECT_EQ(onDisk(), "one\r\ntwo\r\nthree\r\n");
}

// Held lines are not written by close() or abandon(): the run that closes without committing
// had no row committed for them.
TEST_F(LineFileTest, CloseAndAbandonDropHeldLines)
{
    ASSERT_TRUE(file.create(path()));
    file.writeLine(S("committed"));
    file.commitLines();
    file.writeLine(S("held"));
    file.close();
    EXPECT_EQ(onDisk(), "committed\r\n");
    EXPECT_EQ(file.heldBytes(), 0);

    ASSERT_TRUE(file.create(path()));
    file.writeLine(S("held"));
    file.abandon();
    EXPECT_EQ(onDisk(), QByteArray());
    // Closing twice, or a file never created, says nothing.
    EXPECT_NO_THROW(file.close());
    LineFile never;
    EXPECT_NO_THROW(never.close());
    EXPECT_NO_THROW(never.commitLines());
}

// The next run's create() starts a new file: nothing held for the last one goes to it, and the
// device writes to the new file.
TEST_F(LineFileTest, CreateAgainStartsAFreshFile)
{
    ASSERT_TRUE(file.create(path()));
    file.writeLine(S("old run"));
    file.device().write("old device\r\n");
    const QString second = dir.file(S("second.txt"));
    ASSERT_TRUE(file.create(second));
    file.device().write("new\r\n");
    file.commitLines();
    file.close();
    EXPECT_EQ(onDisk(), QByteArray());
    EXPECT_EQ(dir.read(S("second.txt")), "new\r\n");
    EXPECT_EQ(file.fileName(), second);
}

// A file that could not be created fails at its first write, naming the file and the cause;
// the device fails every write with that cause.
TEST_F(LineFileTest, FileThatCouldNotBeCreatedFailsAtTheFirstWrite)
{
    const QString missing = dir.file(S("no/such/folder/errors.txt"));
    EXPECT_FALSE(file.create(missing));
    EXPECT_EQ(file.fileName(), missing);
    try {
        file.writeLine(S("a line"));
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_TRUE(e.description().startsWith(S("An error occurred while writing ") + missing
                                                + S(": it could not be created (")))
            << e.description().toStdString();
    }
    EXPECT_EQ(file.device().write("x\r\n"), -1);
    EXPECT_TRUE(file.device().errorString().startsWith(missing + S(" could not be created (")))
        << file.device().errorString().toStdString();
    EXPECT_EQ(file.heldBytes(), 0);
    EXPECT_NO_THROW(file.commitLines()); // nothing held: nothing to fail
    EXPECT_NO_THROW(file.close());
    EXPECT_FALSE(QFile::exists(missing));
}

// A full disk shows at the commit, with the system's reason; what was held is gone, so that
// the next commit does not write it a second time.
TEST_F(LineFileTest, FullDiskFailsTheCommitWithTheSystemsReason)
{
    SKIP_WITHOUT_FILE_SIZE_LIMIT();
#ifndef _WIN32
    ASSERT_TRUE(file.create(path()));
    const QString line(1000, QLatin1Char('x'));
    for (int i = 0; i < 10; ++i)
        file.writeLine(line);
    QString reason;
    {
        FileSizeLimit limit(4096);
        try {
            file.commitLines();
        } catch (const CFileException& e) {
            reason = e.description();
        }
    }
    EXPECT_TRUE(reason.startsWith(S("An error occurred while writing ") + path() + S(": "))) << reason.toStdString();
    EXPECT_GT(reason.size(), (S("An error occurred while writing ") + path() + S(": ")).size());
    EXPECT_EQ(file.heldBytes(), 0);
    EXPECT_LE(onDisk().size(), 4096);
    file.writeLine(S("after"));
    file.commitLines();
    file.close();
    // What the full disk took stays as far as it got; the lines it refused are not written again.
    EXPECT_EQ(onDisk().size(), 4096 + 7);
    EXPECT_TRUE(onDisk().endsWith("xafter\r\n"));
#endif
}
} // namespace
