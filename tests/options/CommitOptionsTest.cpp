#include "OptionsTestSupport.h"
#include "options/CommitOptions.h"
#include "options/FieldFile.h"
#include "options/OptionsDialogModel.h"
#include "options/PasswordStore.h"
#include "options/OptionsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <deque>
#include <gtest/gtest.h>
#include <optional>

namespace {
// Plays back one answer per showing: a result for OK, nothing for Cancel.
class ScriptedDialog : public OptionsDialogHost
{
public:
    bool showOptionsDialog(OptionsDialogResult& result) override
    {
        ++showings;
        if (answers.empty())
            return false;
        const std::optional<OptionsDialogResult> answer = answers.front();
        answers.pop_front();
        if (!answer)
            return false;
        result = *answer;
        return true;
    }
    std::deque<std::optional<OptionsDialogResult>> answers;
    int showings = 0;
};

OptionsDialogResult complete()
{
    OptionsDialogResult r;
    Options& v = r.values;
    v.sourceMdbPath = QStringLiteral("/logs/K1ABC.sqlite");
    v.refdataMdbPath = QStringLiteral("/logs/Refdata.sqlite");
    v.uploadAdifPath = QStringLiteral("/data/LoTWUpload.adi");
    v.reportAdifPath = QStringLiteral("/data/lotwreport.adi");
    v.tqslFolder = QStringLiteral("/opt/tqsl");
    v.tqslExePath = QStringLiteral("/opt/tqsl/tqsl");
    v.stations[0] = {QStringLiteral("K1ABC"), QStringLiteral("Home")};
    v.logins[0].loginCall = QStringLiteral("K1ABC");
    return r;
}

class CommitOptionsTest : public ::testing::Test, public OptionsFixture
{
protected:
    bool commit() { return CommitOptions(dialog, paths, desktop, messages, options); }
    ScriptedDialog dialog;
    Options options;
};
}

TEST_F(CommitOptionsTest, CancelEndsWithoutSaving)
{
    dialog.answers.push_back(std::nullopt);
    EXPECT_FALSE(commit());
    EXPECT_FALSE(QFileInfo::exists(dataFile(QStringLiteral("quorvane.dat"))));
    EXPECT_FALSE(QFileInfo::exists(dataFile(QStringLiteral("quorvane3.dat"))));
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(CommitOptionsTest, ConfirmedOptionsAreTakenAndSaved)
{
    OptionsDialogResult r = complete();
    r.values.stations[1] = {QStringLiteral("K1ABC/M"), QStringLiteral("Mobile")};
    r.values.logins[0].passwordField = QStringLiteral("abc");
    dialog.answers.push_back(r);
    ASSERT_TRUE(commit());
    EXPECT_EQ(dialog.showings, 1);
    EXPECT_EQ(options.sourceMdbPath, QStringLiteral("/logs/K1ABC.sqlite"));
    EXPECT_EQ(options.tqslExePath, QStringLiteral("/opt/tqsl/tqsl"));
    EXPECT_EQ(options.stations[1].location, QStringLiteral("Mobile"));
    EXPECT_EQ(options.logins[0].password, QStringLiteral("%61%62%63"));
    EXPECT_EQ(options.logins[0].passwordField, QStringLiteral("%61%62%63"));
    EXPECT_EQ(desktop.pauses, std::vector<int>{200});
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), stateFile({"%61%62%63", "", "", "", "", "", "", "", "", ""}));

    Options reloaded;
    ASSERT_TRUE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), reloaded));
    EXPECT_EQ(reloaded.logins[0].passwordField, QStringLiteral("%61%62%63"));
    EXPECT_EQ(reloaded.stations[1].oprCall, QStringLiteral("K1ABC/M"));
    EXPECT_EQ(reloaded.dxbaseDataFolder, QString());
}

TEST_F(CommitOptionsTest, PasswordRules)
{
    OptionsDialogResult r = complete();
    // Row 1: mask left as shown keeps the loaded password.
    r.values.logins[0].passwordField = QStringLiteral("****");
    r.values.logins[0].passwordLoaded = QStringLiteral("%77%78%79%7a");
    // Row 2: a typed text beginning "**" counts as unchanged too.
    r.values.logins[1].passwordField = QStringLiteral("**secret");
    r.values.logins[1].passwordLoaded = QStringLiteral("%61%62%63%64");
    // Row 3: an empty field keeps the password in force.
    options.logins[2].password = QStringLiteral("%71%71%71%71");
    // Row 4: 13 characters are encoded whole.
    r.values.logins[3].passwordField = QStringLiteral("abcdefghijklm");
    // Row 5: deleted after typing.
    r.values.logins[4].passwordField = QStringLiteral("typed");
    r.deleted[4] = true;
    dialog.answers.push_back(r);
    ASSERT_TRUE(commit());
    EXPECT_EQ(options.logins[0].password, QStringLiteral("%77%78%79%7a"));
    EXPECT_EQ(options.logins[0].passwordField, QStringLiteral("****"));
    EXPECT_EQ(options.logins[1].password, QStringLiteral("%61%62%63%64"));
    EXPECT_EQ(options.logins[2].password, QStringLiteral("%71%71%71%71"));
    EXPECT_EQ(options.logins[3].password, QStringLiteral("%61%62%63%64%65%66%67%68%69%6a%6b%6c%6d"));
    EXPECT_EQ(options.logins[4].password, QString());
    std::array<QString, kSlotCount> saved;
    ASSERT_TRUE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), saved));
    EXPECT_EQ(saved[0], QStringLiteral("%77%78%79%7a"));
    EXPECT_EQ(saved[3].size(), 39);
    EXPECT_EQ(PasswordMask(saved[3]), QString(13, QLatin1Char('*')));
    EXPECT_EQ(saved[4], QString());
}

TEST_F(CommitOptionsTest, DeleteOfRowOneIsNotARowCommand)
{
    OptionsDialogResult r = complete();
    r.values.logins[0].passwordField = QStringLiteral("abcd");
    r.deleted[0] = true; // there is no "< Delete" for row 1
    dialog.answers.push_back(r);
    ASSERT_TRUE(commit());
    EXPECT_EQ(options.logins[0].password, EncodePassword(QStringLiteral("abcd")));
}

TEST_F(CommitOptionsTest, EachBlankRequiredEntryShowsTheDialogAgain)
{
    const std::function<void(Options&)> blanks[] = {
        [](Options& o) { o.sourceMdbPath.clear(); },       [](Options& o) { o.refdataMdbPath.clear(); },
        [](Options& o) { o.uploadAdifPath.clear(); },      [](Options& o) { o.reportAdifPath.clear(); },
        [](Options& o) { o.stations[0].oprCall.clear(); }, [](Options& o) { o.stations[0].location.clear(); },
        [](Options& o) { o.logins[0].loginCall.clear(); },
    };
    for (const auto& blank : blanks) {
        ScriptedDialog script;
        OptionsDialogResult r = complete();
        blank(r.values);
        script.answers.push_back(r);
        script.answers.push_back(complete());
        FakeMessageBox box;
        Options committed;
        ASSERT_TRUE(CommitOptions(script, paths, desktop, box, committed));
        EXPECT_EQ(script.showings, 2);
        EXPECT_EQ(box.shown, QStringList{QStringLiteral(
                                 "Pse doublecheck the OPTIONS entries. One or more of the required entries is blank.")});
        EXPECT_FALSE(RequiredEntryBlank(committed));
    }
}

TEST_F(CommitOptionsTest, CancelAfterBlankEntryEndsTheProgram)
{
    OptionsDialogResult r = complete();
    r.values.stations[0].location.clear();
    r.values.logins[0].passwordField = QStringLiteral("abcd");
    dialog.answers.push_back(r);
    dialog.answers.push_back(std::nullopt);
    writeData(QStringLiteral("quorvane.dat"), "earlier");
    EXPECT_FALSE(commit());
    EXPECT_EQ(dialog.showings, 2);
    EXPECT_EQ(messages.shown.size(), 1);
    // The passwords were saved before the check; the options file stays as it was.
    std::array<QString, kSlotCount> saved;
    ASSERT_TRUE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), saved));
    EXPECT_EQ(saved[0], EncodePassword(QStringLiteral("abcd")));
    EXPECT_EQ(readData(QStringLiteral("quorvane.dat")), QByteArray("earlier"));
}

TEST_F(CommitOptionsTest, SecondShowingKeepsPasswordOfTheFirst)
{
    OptionsDialogResult first = complete();
    first.values.logins[0].loginCall.clear();
    first.values.logins[0].passwordField = QStringLiteral("abcd");
    OptionsDialogResult second = complete(); // password field left empty
    dialog.answers.push_back(first);
    dialog.answers.push_back(second);
    ASSERT_TRUE(commit());
    EXPECT_EQ(options.logins[0].password, EncodePassword(QStringLiteral("abcd")));
    std::array<QString, kSlotCount> saved;
    ASSERT_TRUE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), saved));
    EXPECT_EQ(saved[0], EncodePassword(QStringLiteral("abcd")));
}

TEST_F(CommitOptionsTest, DataFolderIsCreatedBeforeTheFirstSave)
{
    paths.data = dir.file(QStringLiteral("fresh/quorvane260"));
    dialog.answers.push_back(complete());
    ASSERT_TRUE(commit());
    EXPECT_TRUE(QFileInfo::exists(dataFile(QStringLiteral("quorvane.dat"))));
    EXPECT_TRUE(QFileInfo::exists(dataFile(QStringLiteral("quorvane3.dat"))));
}

TEST_F(CommitOptionsTest, ClearedFieldSavesThePasswordEmpty)
{
    OptionsDialogResult r = complete();
    r.values.logins[0].passwordField.clear();
    r.values.logins[0].passwordLoaded = QStringLiteral("%61%62%63%64");
    dialog.answers.push_back(r);
    ASSERT_TRUE(commit());
    EXPECT_EQ(options.logins[0].password, QString());
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), stateFile({"", "", "", "", "", "", "", "", "", ""}));
}

// Files that cannot be saved (here each is a folder) are said so with the reason, and the
// program goes on with the options as entered.
TEST_F(CommitOptionsTest, FailedSavesAreShownAndTheOptionsStayInForce)
{
    QDir().mkpath(dataFile(QStringLiteral("quorvane.dat")));
    QDir().mkpath(dataFile(QStringLiteral("quorvane3.dat")));
    OptionsDialogResult r = complete();
    r.values.logins[0].passwordField = QStringLiteral("abc");
    dialog.answers.push_back(r);
    ASSERT_TRUE(commit());
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown.at(0).startsWith(QStringLiteral("The options could not be saved to ")
                                                + dataFile(QStringLiteral("quorvane3.dat")) + QStringLiteral(": ")))
        << messages.shown.at(0).toStdString();
    EXPECT_TRUE(messages.shown.at(1).startsWith(QStringLiteral("The options could not be saved to ")
                                                + dataFile(QStringLiteral("quorvane.dat")) + QStringLiteral(": ")))
        << messages.shown.at(1).toStdString();
    EXPECT_GT(messages.shown.at(1).size(), QStringLiteral("The options could not be saved to : ").size()
                                               + dataFile(QStringLiteral("quorvane.dat")).size());
    EXPECT_EQ(options.sourceMdbPath, QStringLiteral("/logs/K1ABC.sqlite"));
    EXPECT_EQ(options.logins[0].password, EncodePassword(QStringLiteral("abc")));
}

// Paths outside Latin-1 are kept as the system writes them (UTF-8 here) and read back whole.
// The option files keep their texts in the system's 8-bit encoding: UTF-8 holds any path; the
// ANSI code page of Windows holds only its own characters, and a path with others is refused
// with the reason (written there it would name another file: "Zólw/???.mdb").
TEST_F(CommitOptionsTest, PathsOutsideLatin1SurviveTheFilesOrAreRefused)
{
    OptionsDialogResult r = complete();
    r.values.sourceMdbPath = QString::fromUtf8("/home/op/\xc5\xbb\xc3\xb3\xc5\x82w/\xd0\x9b\xd0\xbe\xd0\xb3.sqlite");
    dialog.answers.push_back(r);
    const QString outside = CharactersOutsideFieldEncoding(r.values.sourceMdbPath);
    if (outside.isEmpty()) {
        ASSERT_TRUE(commit());
        EXPECT_TRUE(messages.shown.isEmpty());
        Options loaded;
        ASSERT_TRUE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), loaded));
        EXPECT_EQ(loaded.sourceMdbPath, r.values.sourceMdbPath);
        return;
    }
    // Refused before anything is saved; the dialog comes again and takes a path it holds.
    OptionsDialogResult second = complete();
    second.values.sourceMdbPath = QString::fromUtf8("/home/op/Zolw/Log.sqlite");
    dialog.answers.push_back(second);
    ASSERT_TRUE(commit());
    EXPECT_EQ(dialog.showings, 2);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(r.values.sourceMdbPath)) << messages.shown[0].toStdString();
    EXPECT_TRUE(messages.shown[0].contains(QString::fromUtf8("\xc5\xbb, \xc5\x82, \xd0\x9b")))
        << messages.shown[0].toStdString();
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("cannot hold"))) << messages.shown[0].toStdString();
    Options loaded;
    ASSERT_TRUE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), loaded));
    EXPECT_EQ(loaded.sourceMdbPath, second.values.sourceMdbPath);

    // The file itself is never written with such a path: the save fails and says why, and the
    // file stays as it was.
    QFile saved(dataFile(QStringLiteral("quorvane.dat")));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray kept = saved.readAll();
    saved.close();
    QString reason;
    EXPECT_FALSE(SaveOptionsFile(dataFile(QStringLiteral("quorvane.dat")), r.values, &reason));
    EXPECT_TRUE(reason.contains(QStringLiteral("cannot hold"))) << reason.toStdString();
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), kept);
}

namespace {
// With the desktop's keyring, a password typed anew goes there and into neither file; the
// dialog shown next loads it from the keyring and shows its mask.
TEST_F(CommitOptionsTest, WithAKeyringThePasswordIsInNoFile)
{
    FakeKeyring ring;
    desktop.ring = &ring;
    OptionsDialogResult r = complete();
    r.values.logins[0].passwordField = QStringLiteral("secret99");
    dialog.answers.push_back(r);
    ASSERT_TRUE(commit());
    EXPECT_EQ(options.logins[0].password, EncodePassword(QStringLiteral("secret99")));
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), stateFile({"", "", "", "", "", "", "", "", "", ""}));
    EXPECT_FALSE(readData(QStringLiteral("quorvane.dat")).contains(EncodePassword(QStringLiteral("secret99")).toLatin1()));
    EXPECT_EQ(ring.secrets, (std::map<QString, QString>{{KeyringPasswordKey(paths.data, 0), QStringLiteral("secret99")}}));

    OptionsDialogModel model(paths, profile, tqsl, messages, desktop);
    model.initialise();
    EXPECT_EQ(model.copy().logins[0].passwordLoaded, EncodePassword(QStringLiteral("secret99")));
    EXPECT_EQ(model.copy().logins[0].passwordField, QStringLiteral("********"));
}
} // namespace
