#include "AppCommandLine.h"
#include "ProgramIcon.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

QStringList words(const char* line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(AppCommandLineTest, VersionAndHelpAreAnsweredAndTheRestLetThrough)
{
    struct Case
    {
        const char* arguments;
        int exitCode;
        const char* out;
    };
    const Case cases[] = {
        {"quorvane --version", 0, "quorvane 2.71\n"},
        {"quorvane -version", 0, "quorvane 2.71\n"},
        {"quorvane -platform offscreen --version", 0, "quorvane 2.71\n"},
        {"quorvane --help", 0, "usage: quorvane [--version] [-h | --help]\n"},
        {"quorvane -h", 0, "usage: quorvane [--version] [-h | --help]\n"},
        // Qt's own options, and anything else, are for the application object to take first.
        {"quorvane", -1, ""},
        {"quorvane -platform offscreen", -1, ""},
        {"quorvane --bogus", -1, ""},
    };
    for (const Case& c : cases) {
        const AppCommandLine line = AnswerAppInfoOptions(words(c.arguments));
        EXPECT_EQ(line.exitCode, c.exitCode) << c.arguments;
        if (c.exitCode < 0) {
            EXPECT_TRUE(line.out.isEmpty()) << c.arguments;
        } else {
            EXPECT_TRUE(line.out.startsWith(QString::fromLatin1(c.out))) << c.arguments << ": " << line.out.toStdString();
        }
        EXPECT_TRUE(line.err.isEmpty()) << c.arguments;
    }
}

TEST(AppCommandLineTest, WhatQtLeavesMustBeNothing)
{
    EXPECT_EQ(CheckAppArguments(words("quorvane")).exitCode, -1);
    struct Case
    {
        const char* arguments;
        const char* err;
    };
    const Case cases[] = {
        {"quorvane --bogus", "quorvane: unknown option '--bogus'\n"},
        {"quorvane -x", "quorvane: unknown option '-x'\n"},
        {"quorvane --bogus=1", "quorvane: unknown option '--bogus'\n"},
        {"quorvane log.mdb", "quorvane: unexpected argument 'log.mdb'\n"},
        {"quorvane --version=2", "quorvane: "},
    };
    for (const Case& c : cases) {
        const AppCommandLine line = CheckAppArguments(words(c.arguments));
        EXPECT_EQ(line.exitCode, 2) << c.arguments;
        EXPECT_TRUE(line.err.startsWith(QString::fromLatin1(c.err))) << c.arguments << ": " << line.err.toStdString();
        EXPECT_TRUE(line.err.contains(QStringLiteral("usage: quorvane "))) << c.arguments;
        EXPECT_TRUE(line.out.isEmpty()) << c.arguments;
    }
}

// The real program answers --version without a window system: with no display and the X11
// platform asked for, starting the window would fail.
TEST(AppCommandLineTest, TheProgramAnswersWithoutADisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const char* asked : {"--version", "--help"}) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_GUI), {QString::fromLatin1(asked)});
        ASSERT_TRUE(process.waitForFinished(30000)) << asked;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << asked;
        EXPECT_EQ(process.exitCode(), 0) << asked;
        QByteArray out = process.readAllStandardOutput();
#ifdef Q_OS_WIN
        out.replace("\r\n", "\n"); // the C library's line ends there
#endif
        EXPECT_TRUE(out.startsWith(qstrcmp(asked, "--version") == 0 ? "quorvane 2.71\n" : "usage: quorvane ")) << out.constData();
        EXPECT_TRUE(process.readAllStandardError().isEmpty()) << asked;
    }
}

// Before the window system starts, Qt's own options and their values are set aside; what is
// left is checked as after it.
TEST(AppCommandLineTest, QtsOwnOptionsAreSetAsideBeforeTheCheck)
{
    for (const char* good : {"quorvane", "quorvane -platform offscreen", "quorvane -style=fusion -reverse",
                             "quorvane --platform xcb -display :1 -geometry 800x600+0+0"})
        EXPECT_EQ(CheckAppArgumentsBeforeQt(words(good)).exitCode, -1) << good;
    for (const char* bad : {"quorvane --bogus", "quorvane -platform offscreen --bogus", "quorvane log.mdb",
                            "quorvane -style fusion extra"}) {
        const AppCommandLine line = CheckAppArgumentsBeforeQt(words(bad));
        EXPECT_EQ(line.exitCode, 2) << bad;
        EXPECT_TRUE(line.err.contains(QStringLiteral("usage: quorvane "))) << bad;
    }
}

TEST(AppCommandLineTest, ADisplayIsNeededOnlyForADesktopPlatform)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows always has its desktop to open the window on: a missing X11 or Wayland display is "
                    "Linux's";
#endif
    struct Case { const char* arguments; const char* platform; const char* display; const char* wayland; bool missing; };
    const Case cases[] = {
        {"quorvane", "", "", "", true},
        {"quorvane", "xcb", "", "", true},
        {"quorvane", "wayland;xcb", "", "", true},
        {"quorvane", "", ":0", "", false},
        {"quorvane", "", "", "wayland-0", false},
        {"quorvane", "offscreen", "", "", false},
        {"quorvane -platform offscreen", "xcb", "", "", false},
        {"quorvane -platform=xcb", "offscreen", "", "", true},
        {"quorvane", "vnc:size=800x600", "", "", false},
    };
    for (const Case& c : cases) {
        const QString said = MissingDisplay(words(c.arguments), QString::fromLatin1(c.platform),
                                            QString::fromLatin1(c.display), QString::fromLatin1(c.wayland));
        EXPECT_EQ(!said.isEmpty(), c.missing) << c.arguments << " " << c.platform;
        if (c.missing)
            EXPECT_EQ(said.count(QLatin1Char('\n')), 1) << said.toStdString();
    }
}

// Without a display the program says so in one line and ends with 1, after telling a usage
// error (2) first; it never aborts.
TEST(AppCommandLineTest, WithoutADisplayTheProgramEndsInOneLine)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows always has its desktop to open the window on: a missing X11 or Wayland display is "
                    "Linux's";
#endif
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const std::pair<QStringList, int> cases[] = {{{}, 1}, {{QStringLiteral("--bogus")}, 2}};
    for (const auto& [arguments, status] : cases) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_GUI), arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), status);
        const QByteArray err = process.readAllStandardError();
        if (status == 1) {
            EXPECT_TRUE(err.startsWith("quorvane: no display to open the window on")) << err.constData();
            EXPECT_EQ(err.count('\n'), 1) << err.constData();
        } else {
            EXPECT_TRUE(err.startsWith("quorvane: unknown option '--bogus'")) << err.constData();
        }
    }
}

TEST(AppCommandLineTest, TheProgramIconHasEverySize)
{
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage image = icon.pixmap(size, size).toImage();
        EXPECT_EQ(image.size(), QSize(size, size)) << size;
        // A drawn picture: opaque in the middle, clear in the corner.
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
    }
}

} // namespace
