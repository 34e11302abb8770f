#include "options/Options.h"
#include "options/OptionsStore.h"
#include "options/PasswordStore.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/SystemKeyring.h"
#include "platform/TqslLocator.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

// Each test program run has a keyring daemon of its own (see with-keyring.sh); without one the
// tests say why they do not run.
class KeyringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SystemKeyring::available())
            GTEST_SKIP() << "this build has no keyring support";
        if (qEnvironmentVariableIsEmpty("QUORVANE_TEST_KEYRING"))
            GTEST_SKIP() << "no keyring daemon for the test: "
                         << qEnvironmentVariable("QUORVANE_TEST_KEYRING_MISSING").toStdString();
        qunsetenv("QUORVANE_NO_KEYRING");
    }

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    // quorvane-cli as the operator runs it, in this session (and so with its keyring) unless
    // the environment is changed by edit.
    Run cli(const QStringList& arguments, const std::function<void(QProcessEnvironment&)>& edit = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QUORVANE_DATA_DIR"));
        env.remove(QStringLiteral("QUORVANE_NO_KEYRING"));
        env.insert(QStringLiteral("QUORVANE_LOTW_URL"), QStringLiteral("https://127.0.0.1:9"));
        if (edit)
            edit(env);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUORVANE_CLI), arguments);
        Run run;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return run;
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    TestDir dir;
};

// A secret goes into the keyring, comes back as it went in (Latin-1 letters too), and is gone
// once removed; removing it again is no failure.
TEST_F(KeyringTest, WritesReadsAndRemovesASecret)
{
    SystemKeyring keyring;
    const QString key = QStringLiteral("test ") + QUuid::createUuid().toString();
    QString secret;
    EXPECT_EQ(keyring.read(key, secret), Keyring::Answer::NotFound);
    ASSERT_EQ(keyring.write(key, QStringLiteral("gr\u00fcn-Pa\u00df 42")), Keyring::Answer::Done)
        << keyring.lastProblem().toStdString();
    ASSERT_EQ(keyring.read(key, secret), Keyring::Answer::Done);
    EXPECT_EQ(secret, QStringLiteral("gr\u00fcn-Pa\u00df 42"));
    ASSERT_EQ(keyring.write(key, QStringLiteral("second")), Keyring::Answer::Done);
    ASSERT_EQ(keyring.read(key, secret), Keyring::Answer::Done);
    EXPECT_EQ(secret, QStringLiteral("second"));
    EXPECT_EQ(keyring.remove(key), Keyring::Answer::Done);
    EXPECT_EQ(keyring.read(key, secret), Keyring::Answer::NotFound);
    // Nothing left to remove: the keyring may say so, or take it as done.
    EXPECT_NE(keyring.remove(key), Keyring::Answer::NoKeyring);
    EXPECT_EQ(keyring.read(key, secret), Keyring::Answer::NotFound);
}

// QUORVANE_NO_KEYRING keeps the keyring out of it: every request is answered as by no keyring,
// with that reason.
TEST_F(KeyringTest, SwitchedOffByTheEnvironment)
{
    qputenv("QUORVANE_NO_KEYRING", "1");
    SystemKeyring keyring;
    QString secret;
    EXPECT_EQ(keyring.write(QStringLiteral("test switched off"), QStringLiteral("x")), Keyring::Answer::NoKeyring);
    EXPECT_EQ(keyring.read(QStringLiteral("test switched off"), secret), Keyring::Answer::NoKeyring);
    EXPECT_TRUE(keyring.lastProblem().contains(QStringLiteral("QUORVANE_NO_KEYRING")));
    qunsetenv("QUORVANE_NO_KEYRING");
}

// The demo's password file, as an earlier version wrote it, moves to the keyring when the
// options are saved: the file keeps no password, and the batch command run in the same session
// reads it from the keyring. Run where no keyring answers (no D-Bus session, as from cron), the
// batch command says why the password is missing instead of failing without a reason.
TEST_F(KeyringTest, ThePasswordMovesToTheKeyringAndTheBatchCommandFindsIt)
{
    const QString data = dir.file(QStringLiteral("data"));
    const Run demo = cli({QStringLiteral("--data-dir"), data, QStringLiteral("demo"), QStringLiteral("--qsos"),
                          QStringLiteral("50")});
    ASSERT_EQ(demo.exitCode, 0) << demo.err.toStdString();
    const QString encoded = EncodePassword(QStringLiteral("demo1234"));
    const auto printUrl = [&](const std::function<void(QProcessEnvironment&)>& edit = {}) {
        return cli({QStringLiteral("--data-dir"), data, QStringLiteral("request"), QStringLiteral("--print-url"),
                    QStringLiteral("--show-password")},
                   edit);
    };
    Run before = printUrl();
    ASSERT_EQ(before.exitCode, 0) << before.err.toStdString();
    ASSERT_TRUE(before.out.contains(QStringLiteral("password=") + encoded)) << before.out.toStdString();

    const SystemPaths paths(data);
    SystemKeyring keyring;
    Options options;
    QString problem;
    LoadOptionsForBatch(paths, IniProfile(), SystemTqslLocator(), options, &problem, &keyring);
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_EQ(options.logins[0].password, encoded);
    std::array<bool, kSlotCount> taken{};
    ASSERT_TRUE(SavePasswords(paths, &keyring, options, nullptr, &taken));
    EXPECT_TRUE(taken[0]);
    std::array<QString, kSlotCount> inFile;
    ASSERT_TRUE(LoadPasswordFile(PasswordFilePath(paths), inFile));
    EXPECT_EQ(inFile[0], QString());
    QString kept;
    ASSERT_EQ(keyring.read(KeyringPasswordKey(data, 0), kept), Keyring::Answer::Done);
    EXPECT_EQ(kept, QStringLiteral("demo1234"));

    const Run after = printUrl();
    ASSERT_EQ(after.exitCode, 0) << after.err.toStdString();
    EXPECT_TRUE(after.out.contains(QStringLiteral("password=") + encoded)) << after.out.toStdString();
    EXPECT_FALSE(after.err.contains(QStringLiteral("keyring could not be asked"))) << after.err.toStdString();

    const Run noSession = printUrl([](QProcessEnvironment& env) {
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
    });
    EXPECT_FALSE(noSession.out.contains(encoded)) << noSession.out.toStdString();
    EXPECT_TRUE(noSession.err.contains(QStringLiteral("note: the LoTW password of ")))
        << noSession.err.toStdString();
    EXPECT_TRUE(noSession.err.contains(QStringLiteral("keyring could not be asked"))) << noSession.err.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    // The keyring is reached through the session's message bus, which needs the application.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
