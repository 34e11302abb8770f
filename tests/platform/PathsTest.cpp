#include "platform/Paths.h"

#include <QDir>
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
    env.set("QUORVANE_DATA_DIR", "/srv/station/data/");
    EXPECT_EQ(SystemPaths().dataFolder(), QStringLiteral("/srv/station/data"));
    env.set("QUORVANE_DATA_DIR", QByteArray());
#ifndef Q_OS_WIN
    EXPECT_TRUE(SystemPaths().dataFolder().endsWith(QStringLiteral("/quorvane260")));
#else
    EXPECT_EQ(SystemPaths().dataFolder(), QStringLiteral("C:\\quorvane260"));
#endif
}

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

TEST(SystemPaths, JoinAddsOneSeparator)
{
    const SystemPaths paths;
    const QString sep = QString(QDir::separator());
    EXPECT_EQ(paths.join(QStringLiteral("dir"), QStringLiteral("f.dat")), QStringLiteral("dir") + sep + QStringLiteral("f.dat"));
    EXPECT_EQ(paths.join(QStringLiteral("dir") + sep, QStringLiteral("f.dat")), QStringLiteral("dir") + sep + QStringLiteral("f.dat"));
    EXPECT_EQ(paths.join(QString(), QStringLiteral("f.dat")), QStringLiteral("f.dat"));
}

}
