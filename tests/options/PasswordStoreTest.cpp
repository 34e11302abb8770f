#include "OptionsTestSupport.h"
#include "options/OptionsStore.h"
#include "options/PasswordStore.h"

#include <gtest/gtest.h>

namespace {

class PasswordStoreTest : public ::testing::Test, public OptionsFixture
{
protected:
    // The five passwords as typed, encoded as the options hold them (empty stays empty).
    static Options withPasswords(const QStringList& typed)
    {
        Options o;
        for (int k = 0; k < kSlotCount; ++k)
            o.logins[k].password = k < typed.size() && !typed.at(k).isEmpty() ? EncodePassword(typed.at(k)) : QString();
        return o;
    }
    // The bytes of "quorvane3.dat" holding these encoded passwords.
    static QByteArray fileOf(const QStringList& encoded)
    {
        QList<QByteArray> fields;
        for (int k = 0; k < 10; ++k)
            fields.append(k < encoded.size() ? encoded.at(k).toLatin1() : QByteArray());
        return stateFile(fields);
    }
    std::array<QString, kSlotCount> load(Keyring* ring, QString* problem = nullptr)
    {
        std::array<QString, kSlotCount> passwords;
        EXPECT_TRUE(LoadPasswords(paths, ring, passwords, nullptr, problem));
        return passwords;
    }
    QString key(int slot) const { return KeyringPasswordKey(paths.data, slot); }

    FakeKeyring ring;
};

// Without a keyring that answers, the file is written exactly as it always was.
TEST_F(PasswordStoreTest, WithoutAKeyringTheFileKeepsEveryPassword)
{
    const Options o = withPasswords({QStringLiteral("alpha1"), QString(), QStringLiteral("gamma3")});
    for (Keyring* given : {static_cast<Keyring*>(nullptr), static_cast<Keyring*>(&ring)}) {
        ring.answers = false;
        ASSERT_TRUE(SavePasswords(paths, given, o));
        EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")),
                  fileOf({EncodePassword(QStringLiteral("alpha1")), QString(), EncodePassword(QStringLiteral("gamma3"))}));
        const auto loaded = load(given);
        for (int k = 0; k < kSlotCount; ++k)
            EXPECT_EQ(loaded[k], o.logins[k].password) << k;
    }
    EXPECT_TRUE(ring.secrets.empty());
}

// With a keyring, the passwords go there as typed and their fields in the file are empty; they
// load back in their encoded form. Latin-1 passwords survive the way through the keyring.
TEST_F(PasswordStoreTest, TheKeyringTakesThePasswordsAndTheFileKeepsNone)
{
    const Options o = withPasswords({QStringLiteral("alpha1"), QString(), QStringLiteral("gr\u00fcn\u00df99")});
    std::array<bool, kSlotCount> taken{};
    ASSERT_TRUE(SavePasswords(paths, &ring, o, nullptr, &taken));
    EXPECT_EQ(taken, (std::array<bool, kSlotCount>{true, false, true, false, false}));
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), fileOf({}));
    EXPECT_EQ(ring.secrets, (std::map<QString, QString>{{key(0), QStringLiteral("alpha1")},
                                                         {key(2), QStringLiteral("gr\u00fcn\u00df99")}}));
    const auto loaded = load(&ring);
    for (int k = 0; k < kSlotCount; ++k)
        EXPECT_EQ(loaded[k], o.logins[k].password) << k;
}

// A file an earlier version wrote, with every password in it, loads as it did, and its
// passwords move to the keyring at the next save; a password in the file is newer than the
// keyring's, which it replaces.
TEST_F(PasswordStoreTest, PasswordsOfTheFileMoveToTheKeyringAndWinOverOldOnes)
{
    writeData(QStringLiteral("quorvane3.dat"),
              fileOf({EncodePassword(QStringLiteral("fromfile1")), QString(), QString(), QString(),
                      EncodePassword(QStringLiteral("fromfile5"))}));
    ring.secrets[key(0)] = QStringLiteral("olderone");
    ring.secrets[key(1)] = QStringLiteral("onlyinring");
    const auto loaded = load(&ring);
    EXPECT_EQ(loaded[0], EncodePassword(QStringLiteral("fromfile1")));
    EXPECT_EQ(loaded[1], EncodePassword(QStringLiteral("onlyinring")));
    EXPECT_EQ(loaded[4], EncodePassword(QStringLiteral("fromfile5")));

    Options o;
    for (int k = 0; k < kSlotCount; ++k)
        o.logins[k].password = loaded[k];
    ASSERT_TRUE(SavePasswords(paths, &ring, o));
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), fileOf({}));
    EXPECT_EQ(ring.secrets, (std::map<QString, QString>{{key(0), QStringLiteral("fromfile1")},
                                                         {key(1), QStringLiteral("onlyinring")},
                                                         {key(4), QStringLiteral("fromfile5")}}));
}

// A password cleared in the options is gone from the keyring too, so it cannot come back.
TEST_F(PasswordStoreTest, AClearedPasswordLeavesTheKeyring)
{
    ASSERT_TRUE(SavePasswords(paths, &ring, withPasswords({QStringLiteral("alpha1"), QStringLiteral("beta22")})));
    ASSERT_EQ(ring.secrets.size(), 2u);
    ASSERT_TRUE(SavePasswords(paths, &ring, withPasswords({QString(), QStringLiteral("beta22")})));
    EXPECT_EQ(ring.secrets, (std::map<QString, QString>{{key(1), QStringLiteral("beta22")}}));
    EXPECT_EQ(load(&ring)[0], QString());
}

// A keyring that stops answering part way: what it took is in it, the rest is in the file,
// and all five load.
TEST_F(PasswordStoreTest, AKeyringThatStopsAnsweringLeavesTheRestInTheFile)
{
    const QStringList typed{QStringLiteral("pw-one"), QStringLiteral("pw-two"), QStringLiteral("pw-three"),
                            QStringLiteral("pw-four"), QStringLiteral("pw-five")};
    const Options o = withPasswords(typed);
    ring.failAtWrite = 3;
    std::array<bool, kSlotCount> taken{};
    ASSERT_TRUE(SavePasswords(paths, &ring, o, nullptr, &taken));
    EXPECT_EQ(taken, (std::array<bool, kSlotCount>{true, true, false, false, false}));
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")),
              fileOf({QString(), QString(), EncodePassword(typed[2]), EncodePassword(typed[3]), EncodePassword(typed[4])}));
    ring.answers = true;
    const auto loaded = load(&ring);
    for (int k = 0; k < kSlotCount; ++k)
        EXPECT_EQ(loaded[k], EncodePassword(typed[k])) << k;
}

// A keyring that does not answer is asked once, not for every login, and what it said is told.
TEST_F(PasswordStoreTest, AKeyringThatDoesNotAnswerIsAskedOnce)
{
    writeData(QStringLiteral("quorvane3.dat"), fileOf({}));
    ring.answers = false;
    QString problem;
    const auto loaded = load(&ring, &problem);
    EXPECT_EQ(ring.reads, 1);
    EXPECT_EQ(problem, QStringLiteral("no keyring daemon"));
    for (const QString& password : loaded)
        EXPECT_TRUE(password.isEmpty());
}

// A field not of the encoded shape (written by hand, or by a version that encoded otherwise)
// stays in the file as it is; the data folder is part of the keyring's key, so two folders keep
// passwords of their own.
TEST_F(PasswordStoreTest, OddFieldsStayInTheFileAndFoldersKeepTheirOwn)
{
    Options o;
    o.logins[0].password = QStringLiteral("not-encoded");
    o.logins[1].password = EncodePassword(QStringLiteral("folderone"));
    ASSERT_TRUE(SavePasswords(paths, &ring, o));
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), fileOf({QStringLiteral("not-encoded")}));

    FakePaths other = paths;
    other.data = dir.file(QStringLiteral("other"));
    QDir().mkpath(other.data);
    EXPECT_NE(KeyringPasswordKey(other.data, 1), key(1));
    std::array<QString, kSlotCount> loaded;
    EXPECT_FALSE(LoadPasswords(other, &ring, loaded)); // that folder has no password file
    EXPECT_EQ(loaded[1], QString());
    EXPECT_EQ(load(&ring)[1], EncodePassword(QStringLiteral("folderone")));
}

} // namespace
