#include "platform/Paths.h"
#include "platform/TqslLocator.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// Sets environment variables for one test and puts them back afterwards.
class ScopedEnv
{
public:
    void set(const char* name, const QByteArray& value)
    {
        m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved
    {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> m_saved;
};

TEST(SystemPaths, DataFolderHonoursTheOverride)
{
    ScopedEnv env;
    // Typed with "/" on any system, shown with the system's own separators ("\\" on Windows).
    env.set("QUORVANE_DATA_DIR", "/srv/station/data/");
    EXPECT_EQ(SystemPaths().dataFolder(), QDir::toNativeSeparators(QStringLiteral("/srv/station/data")));
    // A folder given to the paths (the batch command's --data-dir) comes first.
    EXPECT_EQ(SystemPaths(QStringLiteral("/srv/other//data/")).dataFolder(),
              QDir::toNativeSeparators(QStringLiteral("/srv/other/data")));
    env.set("QUORVANE_DATA_DIR", QByteArray());
#ifndef Q_OS_WIN
    env.set("XDG_DATA_HOME", "/srv/xdg-data");
    EXPECT_EQ(SystemPaths().dataFolder(), QStringLiteral("/srv/xdg-data/quorvane260"));
    env.set("XDG_DATA_HOME", QByteArray());
    EXPECT_EQ(SystemPaths().dataFolder(), QDir::homePath() + QStringLiteral("/.local/share/quorvane260"));
#else
    EXPECT_EQ(SystemPaths().dataFolder(), QStringLiteral("C:\\quorvane260"));
    EXPECT_EQ(SystemPaths(QStringLiteral("D:/Ham/quorvane/")).dataFolder(), QStringLiteral("D:\\Ham\\quorvane"));
    EXPECT_EQ(SystemPaths().join(QStringLiteral("C:\\quorvane260"), QStringLiteral("quorvane.dat")),
              QStringLiteral("C:\\quorvane260\\quorvane.dat"));
#endif
}

#ifdef Q_OS_WIN
// TQSL's station file is in the user's roaming application data folder, wherever that is.
TEST(SystemPaths, TqslStationFileInTheRoamingApplicationData)
{
    ScopedEnv env;
    env.set("APPDATA", "D:\\Profiles\\op\\Roaming\\");
    EXPECT_EQ(SystemPaths().tqslStationFile(), QStringLiteral("D:\\Profiles\\op\\Roaming\\TrustedQSL\\station_data"));
    env.set("APPDATA", QByteArray());
    EXPECT_EQ(SystemPaths().tqslStationFile(), QString());
}
#endif

#ifndef Q_OS_WIN
TEST(SystemPaths, WindowsDirectoryFromOverrideThenWinePrefixThenHome)
{
    ScopedEnv env;
    env.set("QUORVANE_WINDOWS_DIR", "/opt/win");
    env.set("WINEPREFIX", "/home/op/.wine-dx");
    EXPECT_EQ(SystemPaths().windowsDirectory(), QStringLiteral("/opt/win"));
    env.set("QUORVANE_WINDOWS_DIR", QByteArray());
    EXPECT_EQ(SystemPaths().windowsDirectory(), QStringLiteral("/home/op/.wine-dx/drive_c/windows"));
    env.set("WINEPREFIX", QByteArray());
    EXPECT_EQ(SystemPaths().windowsDirectory(), QDir::homePath() + QStringLiteral("/.wine/drive_c/windows"));
    EXPECT_EQ(SystemPaths().tqslStationFile(), QDir::homePath() + QStringLiteral("/.tqsl/station_data"));
}
#endif

#ifndef Q_OS_WIN
// Outside Windows TQSL's install folder is the folder of the "tqsl" program on PATH.
TEST(SystemTqslLocator, FolderOfTqslOnPath)
{
    TestDir dir;
    const QString bin = dir.file(QStringLiteral("tqsl-bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    dir.write(QStringLiteral("tqsl-bin/tqsl"), "#!/bin/sh\n");
    ASSERT_TRUE(QFile::setPermissions(bin + QStringLiteral("/tqsl"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString empty = dir.file(QStringLiteral("empty-bin"));
    ASSERT_TRUE(QDir().mkpath(empty));

    ScopedEnv env;
    env.set("PATH", QFile::encodeName(empty + QLatin1Char(':') + bin));
    const SystemTqslLocator locator;
    const TqslInstall found = locator.locate();
    EXPECT_TRUE(found.keyFound);
    EXPECT_EQ(found.folder, bin);
    EXPECT_EQ(locator.programPath(found.folder), bin + QStringLiteral("/tqsl"));
    EXPECT_EQ(locator.programPath(QString()), QString());

    env.set("PATH", QFile::encodeName(empty));
    const TqslInstall missing = locator.locate();
    EXPECT_FALSE(missing.keyFound);
    EXPECT_TRUE(missing.folder.isEmpty());
}
#endif

TEST(SystemPaths, JoinAddsOneSeparator)
{
    const SystemPaths paths;
    const QString sep = QString(QDir::separator());
    EXPECT_EQ(paths.join(QStringLiteral("dir"), QStringLiteral("f.dat")), QStringLiteral("dir") + sep + QStringLiteral("f.dat"));
    EXPECT_EQ(paths.join(QStringLiteral("dir") + sep, QStringLiteral("f.dat")), QStringLiteral("dir") + sep + QStringLiteral("f.dat"));
    EXPECT_EQ(paths.join(QString(), QStringLiteral("f.dat")), QStringLiteral("f.dat"));
}

}
