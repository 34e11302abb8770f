// The system's opener decides whether a browser or a file viewer was started: its exit status
// is the verdict, and one that is still running a while later is taken at its word.

#include "platform/SystemOpener.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

namespace {

#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
// xdg-open replaced by a script on PATH that writes what it was given and ends as told.
class SystemOpenerTest : public ::testing::Test
{
protected:
    void SetUp() override { m_path = qgetenv("PATH"); }
    void TearDown() override { qputenv("PATH", m_path); }

    void opener(const QByteArray& body)
    {
        dir.write(QStringLiteral("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + dir.file(QStringLiteral("given")).toUtf8()
                                                  + "'\n" + body);
        QFile::setPermissions(dir.file(QStringLiteral("xdg-open")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("PATH", dir.path().toUtf8() + ":/usr/bin:/bin");
    }

    TestDir dir;
    QByteArray m_path;
};

TEST_F(SystemOpenerTest, TheOpenersExitIsTheVerdict)
{
    struct Case { const char* name; QByteArray body; bool opened; };
    const Case cases[] = {
        {"opened", "exit 0\n", true},
        {"no browser", "echo 'no method available for opening' >&2\nexit 3\n", false},
        {"killed", "kill -9 $$\n", false},
        {"browser in the foreground", "sleep 30\n", true},
    };
    for (const Case& c : cases) {
        opener(c.body);
        int kept = 0;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(OpenWithSystem(QStringLiteral("https://lotw.arrl.org/x?a=1&b=%25"), [&kept] { ++kept; }), c.opened)
            << c.name;
        EXPECT_LT(clock.elapsed(), 15000) << c.name;
        EXPECT_EQ(dir.read(QStringLiteral("given")), QByteArray("https://lotw.arrl.org/x?a=1&b=%25")) << c.name;
        if (QByteArray(c.name) == "browser in the foreground")
            EXPECT_GT(kept, 10) << "the window is kept alive while the opener decides";
    }
    qputenv("PATH", dir.file(QStringLiteral("nowhere")).toUtf8());
    EXPECT_FALSE(OpenWithSystem(QStringLiteral("https://lotw.arrl.org/")));
}
#endif

} // namespace
