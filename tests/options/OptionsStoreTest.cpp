#include "OptionsTestSupport.h"
#include "options/OptionsStore.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
class OptionsStoreTest : public ::testing::Test, public OptionsFixture {};

// Every field of options set to a text that names it, to see which fields a load changed.
Options markedOptions()
{
    Options o;
    o.uploadAdifPath = QStringLiteral("#upload");
    o.reportAdifPath = QStringLiteral("#report");
    o.sourceMdbPath = QStringLiteral("#source");
    o.refdataMdbPath = QStringLiteral("#refdata");
    o.dxbaseDataFolder = QStringLiteral("#folder");
    for (int k = 0; k < kSlotCount; ++k) {
        o.stations[k].oprCall = QStringLiteral("#call%1").arg(k);
        o.stations[k].location = QStringLiteral("#loc%1").arg(k);
        o.logins[k].loginCall = QStringLiteral("#login%1").arg(k);
        o.logins[k].passwordField = QStringLiteral("#pw%1").arg(k);
    }
    return o;
}

// The fields of options in file order.
QList<QString> fileOrder(const Options& o)
{
    return {o.logins[0].passwordField, o.logins[1].passwordField, o.logins[2].passwordField,
            o.logins[3].passwordField, o.uploadAdifPath, o.reportAdifPath,
            o.stations[0].oprCall, o.stations[0].location, o.stations[1].oprCall,
            o.stations[1].location, o.stations[2].oprCall, o.stations[2].location,
            o.stations[3].oprCall, o.stations[3].location, o.stations[4].oprCall,
            o.stations[4].location, o.logins[0].loginCall, o.logins[1].loginCall,
            o.logins[2].loginCall, o.logins[3].loginCall, o.logins[4].loginCall,
            o.logins[4].passwordField, o.sourceMdbPath, o.refdataMdbPath, o.dxbaseDataFolder};
}
}

TEST(EncodePasswordTest, EncodesEveryCharacterOfTheWholePassword)
{
    EXPECT_EQ(EncodePassword(QStringLiteral("abc")), QStringLiteral("%61%62%63"));
    EXPECT_EQ(EncodePassword(QString()), QString());
    EXPECT_EQ(EncodePassword(QStringLiteral("A z")), QStringLiteral("%41%20%7a"));
    EXPECT_EQ(EncodePassword(QString::fromLatin1("\xe9\x01")), QStringLiteral("%e9%01"));
    // LoTW takes passwords longer than 12 characters: all of it is encoded.
    EXPECT_EQ(EncodePassword(QStringLiteral("abcdefghijklm")), EncodePassword(QStringLiteral("abcdefghijkl")) + QStringLiteral("%6d"));
    EXPECT_EQ(EncodePassword(QStringLiteral("Correct Horse Battery Staple!")).size(), 29 * 3);
    // Up to what a field of the option files holds.
    const QString longest(kMaxPasswordLength, QLatin1Char('x'));
    EXPECT_EQ(EncodePassword(longest).size(), kMaxPasswordLength * 3);
    EXPECT_LE(EncodePassword(longest).size(), kMaxFieldLength);
    EXPECT_EQ(EncodePassword(longest + QStringLiteral("yz")), EncodePassword(longest));
}

TEST(PasswordMaskTest, MaskFromFourCharactersOn)
{
    for (int length = 0; length <= 60; ++length) {
        const QString encoded(length, QLatin1Char('%'));
        const bool masked = length >= 12 && length % 3 == 0;
        EXPECT_EQ(PasswordMask(encoded), masked ? QString(length / 3, QLatin1Char('*')) : QString()) << length;
    }
    EXPECT_EQ(PasswordMask(QStringLiteral("**%61%62%63")), QString());
    EXPECT_EQ(PasswordMask(QStringLiteral("*%61%62%63%6")), QStringLiteral("****"));
    EXPECT_EQ(PasswordMask(EncodePassword(QStringLiteral("abcdefghijklmnop"))), QString(16, QLatin1Char('*')));
    EXPECT_EQ(PasswordMask(EncodePassword(QString(kMaxPasswordLength, QLatin1Char('x')))),
              QString(kMaxPasswordLength, QLatin1Char('*')));
}

// A password file as the earlier program wrote it (passwords cut to 12 characters) and one
// with longer passwords load the same way, and a long password survives a save.
TEST_F(OptionsStoreTest, LongAndEarlierPasswordsLoad)
{
    const QByteArray twelve = EncodePassword(QStringLiteral("abcdefghijkl")).toLatin1();
    const QByteArray sixteen = EncodePassword(QStringLiteral("abcdefghijklmnop")).toLatin1();
    writeData(QStringLiteral("quorvane3.dat"), stateFile({twelve, sixteen, "", "", "", "", "", "", "", ""}));
    std::array<QString, kSlotCount> passwords;
    ASSERT_TRUE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), passwords));
    EXPECT_EQ(passwords[0], QString::fromLatin1(twelve));
    EXPECT_EQ(passwords[1], QString::fromLatin1(sixteen));
    EXPECT_EQ(PasswordMask(passwords[0]), QString(12, QLatin1Char('*')));
    EXPECT_EQ(PasswordMask(passwords[1]), QString(16, QLatin1Char('*')));

    Options options;
    options.logins[2].password = EncodePassword(QString(kMaxPasswordLength, QLatin1Char('q')));
    ASSERT_TRUE(SavePasswordFile(dataFile(QStringLiteral("quorvane3.dat")), options));
    ASSERT_TRUE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), passwords));
    EXPECT_EQ(passwords[2], options.logins[2].password);
}

TEST_F(OptionsStoreTest, LoadsAndSavesTheOptionsFileByteForByte)
{
    const QByteArray bytes = stateFile(sampleOptionsFields());
    writeData(QStringLiteral("quorvane.dat"), bytes);
    Options options = markedOptions();
    ASSERT_TRUE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options));
    const QList<QString> loaded = fileOrder(options);
    const QList<QByteArray> expected = sampleOptionsFields();
    for (int i = 0; i < kOptionsFieldCount; ++i)
        EXPECT_EQ(loaded[i], QString::fromLatin1(expected[i])) << "field " << i + 1;

    ASSERT_TRUE(SaveOptionsFile(dataFile(QStringLiteral("copy.dat")), options));
    EXPECT_EQ(readData(QStringLiteral("copy.dat")), bytes);
}

TEST_F(OptionsStoreTest, FileCutShortKeepsFieldsReadBeforeTheBreak)
{
    const QByteArray bytes = stateFile(sampleOptionsFields());
    const Options marked = markedOptions();
    const QList<QString> before = fileOrder(marked);
    // Cut just before each field's end mark: fields up to the previous one are the file's.
    int end = 3;
    for (int field = 0; field < kOptionsFieldCount; ++field) {
        end = bytes.indexOf('\x05', end);
        writeData(QStringLiteral("quorvane.dat"), bytes.left(end));
        Options options = marked;
        EXPECT_FALSE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options));
        const QList<QString> after = fileOrder(options);
        for (int i = 0; i < kOptionsFieldCount; ++i) {
            const QString wanted = i < field ? QString::fromLatin1(sampleOptionsFields()[i]) : before[i];
            EXPECT_EQ(after[i], wanted) << "cut in field " << field + 1 << ", field " << i + 1;
        }
        ++end;
    }
}

TEST_F(OptionsStoreTest, EmptyFileOrNoFirstLineLoadsNothing)
{
    const QByteArray inputs[] = {QByteArray(), QByteArray("\r\n"),
                                 stateFile(sampleOptionsFields()).mid(3), // without "1" CR LF
                                 QByteArray("x\x05y\x05")};
    for (const QByteArray& input : inputs) {
        writeData(QStringLiteral("quorvane.dat"), input);
        Options options = markedOptions();
        EXPECT_FALSE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options));
        EXPECT_EQ(fileOrder(options), fileOrder(markedOptions()));
    }
}

TEST_F(OptionsStoreTest, FieldsKeepLineBreaksAndLongestText)
{
    QList<QByteArray> fields = sampleOptionsFields();
    fields[7] = "Home\r\nStation ";
    fields[22] = QByteArray(2047, 'p');
    writeData(QStringLiteral("quorvane.dat"), stateFile(fields));
    Options options;
    ASSERT_TRUE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options));
    EXPECT_EQ(options.stations[0].location, QStringLiteral("Home\r\nStation "));
    EXPECT_EQ(options.sourceMdbPath.size(), 2047);
    ASSERT_TRUE(SaveOptionsFile(dataFile(QStringLiteral("copy.dat")), options));
    EXPECT_EQ(readData(QStringLiteral("copy.dat")), stateFile(fields));
}

TEST_F(OptionsStoreTest, PasswordFileHasFivePasswordsAndFiveEmptyFields)
{
    Options options;
    options.logins[0].password = EncodePassword(QStringLiteral("abc"));
    options.logins[4].password = EncodePassword(QStringLiteral("wxyz"));
    options.logins[1].passwordField = QStringLiteral("not written");
    ASSERT_TRUE(SavePasswordFile(dataFile(QStringLiteral("quorvane3.dat")), options));
    const QByteArray expected = stateFile({"%61%62%63", "", "", "", "%77%78%79%7a", "", "", "", "", ""});
    EXPECT_EQ(readData(QStringLiteral("quorvane3.dat")), expected);

    std::array<QString, kSlotCount> passwords;
    ASSERT_TRUE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), passwords));
    EXPECT_EQ(passwords[0], QStringLiteral("%61%62%63"));
    EXPECT_EQ(passwords[4], QStringLiteral("%77%78%79%7a"));
}

TEST_F(OptionsStoreTest, ShortPasswordFileFillsWhatItHas)
{
    writeData(QStringLiteral("quorvane3.dat"), "1\r\n%61%62%63%64\x05%65\x05%66");
    std::array<QString, kSlotCount> passwords;
    passwords[2] = QStringLiteral("kept");
    EXPECT_FALSE(LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), passwords));
    EXPECT_EQ(passwords[0], QStringLiteral("%61%62%63%64"));
    EXPECT_EQ(passwords[1], QStringLiteral("%65"));
    EXPECT_EQ(passwords[2], QStringLiteral("kept"));
    EXPECT_FALSE(LoadPasswordFile(dataFile(QStringLiteral("missing.dat")), passwords));
}

#ifndef Q_OS_WIN
TEST_F(OptionsStoreTest, OptionFilesAreReadableByTheOwnerOnly)
{
    Options options;
    ASSERT_TRUE(SaveOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options));
    ASSERT_TRUE(SavePasswordFile(dataFile(QStringLiteral("quorvane3.dat")), options));
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    for (const char* name : {"quorvane.dat", "quorvane3.dat"}) {
        const auto permissions = QFile::permissions(dataFile(QString::fromLatin1(name)));
        EXPECT_EQ(permissions & ownerOnly, ownerOnly) << name;
        EXPECT_EQ(permissions & others, QFileDevice::Permissions()) << name;
    }
}
#endif

TEST_F(OptionsStoreTest, SaveInMissingFolderFails)
{
    Options options;
    EXPECT_FALSE(SaveOptionsFile(dir.file(QStringLiteral("none/quorvane.dat")), options));
    EXPECT_FALSE(SavePasswordFile(dir.file(QStringLiteral("none/quorvane3.dat")), options));
}

TEST_F(OptionsStoreTest, BadBytesNeverCrash)
{
    QByteArray binary;
    for (unsigned i = 0; i < 300000; ++i)
        binary += static_cast<char>((i * 7919u) % 256);
    const QByteArray inputs[] = {binary, QByteArray("1\r\n") + QByteArray(50 * 1024 * 1024, 'z'),
                                 QByteArray("1\r\n") + QByteArray(100, '\x05')};
    for (const QByteArray& input : inputs) {
        writeData(QStringLiteral("quorvane.dat"), input);
        writeData(QStringLiteral("quorvane3.dat"), input);
        Options options;
        LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options);
        std::array<QString, kSlotCount> passwords;
        LoadPasswordFile(dataFile(QStringLiteral("quorvane3.dat")), passwords);
    }
    // A file of end marks alone gives empty fields and loads whole.
    Options options = markedOptions();
    EXPECT_TRUE(LoadOptionsFile(dataFile(QStringLiteral("quorvane.dat")), options));
    EXPECT_EQ(options.sourceMdbPath, QString());
}

TEST_F(OptionsStoreTest, DxbaseDefaultsFromTheSettingsFile)
{
    writeIni("[Dir]\r\nDATAPATH=C:\\DXbase\\Data\\K1ABC.mdb\r\nPGMPATH=C:\\DXbase\r\n");
    Options options;
    ReadDxbaseDataPath(paths, profile, options);
    ReadDxbaseProgramPath(paths, profile, options);
    EXPECT_EQ(options.sourceMdbPath, QStringLiteral("C:\\DXbase\\Data\\K1ABC.mdb"));
    EXPECT_EQ(options.dxbaseDataFolder, QStringLiteral("C:\\DXbase\\Data"));
    EXPECT_EQ(options.refdataMdbPath, QStringLiteral("C:\\DXbase\\Refdata.mdb"));
    EXPECT_EQ(options.uploadAdifPath, dataFile(QStringLiteral("LoTWUpload.adi")));
    EXPECT_EQ(options.reportAdifPath, dataFile(QStringLiteral("lotwreport.adi")));
    EXPECT_EQ(options.errorFilePath, dataFile(QStringLiteral("SemiQuorvaneErrors.txt")));
    EXPECT_EQ(options.importedListPath, dataFile(QStringLiteral("SemiQuorvaneImportedQSOs.txt")));
}

TEST_F(OptionsStoreTest, MissingSettingsGiveEmptyPaths)
{
    Options options;
    options.dxbaseDataFolder = QStringLiteral("old");
    ReadDxbaseDataPath(paths, profile, options);
    ReadDxbaseProgramPath(paths, profile, options);
    EXPECT_EQ(options.sourceMdbPath, QString());
    EXPECT_EQ(options.dxbaseDataFolder, QString());
    // No program folder: no reference database is suggested (not one at the file system's root).
    EXPECT_EQ(options.refdataMdbPath, QString());

    writeIni("[Dir]\r\nDATAPATH=K1ABC.sqlite\r\nPGMPATH=/home/op/dxbase\r\n");
    ReadDxbaseDataPath(paths, profile, options);
    ReadDxbaseProgramPath(paths, profile, options);
    EXPECT_EQ(options.sourceMdbPath, QStringLiteral("K1ABC.sqlite"));
    EXPECT_EQ(options.dxbaseDataFolder, QString());
    EXPECT_EQ(options.refdataMdbPath, QStringLiteral("/home/op/dxbase/Refdata.mdb"));
}

TEST_F(OptionsStoreTest, TqslInstallPath)
{
    Options options;
    ReadTqslInstallPath(tqsl, &messages, options);
    EXPECT_EQ(options.tqslFolder, QStringLiteral("/opt/tqsl"));
    EXPECT_EQ(options.tqslExePath, QStringLiteral("/opt/tqsl/tqsl"));
    EXPECT_TRUE(messages.shown.isEmpty());

    tqsl.install.keyFound = false;
    ReadTqslInstallPath(tqsl, &messages, options);
    EXPECT_EQ(options.tqslFolder, QString());
    EXPECT_EQ(options.tqslExePath, QString()); // no program, not one at the root
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Could not find TQSL program path.")});

    tqsl.install = TqslInstall{true, QString()}; // key without its value: no message
    ReadTqslInstallPath(tqsl, &messages, options);
    EXPECT_EQ(options.tqslFolder, QString());
    EXPECT_EQ(messages.shown.size(), 1);
}

TEST_F(OptionsStoreTest, BatchLoadWithoutFilesTakesTheDefaults)
{
    writeIni("[Dir]\nDATAPATH=C:\\DXbase\\Data\\K1ABC.mdb   \nPGMPATH=C:\\DXbase\n");
    Options options;
    EXPECT_FALSE(LoadOptionsForBatch(paths, profile, tqsl, options));
    EXPECT_EQ(options.sourceMdbPath, QStringLiteral("C:\\DXbase\\Data\\K1ABC.mdb"));
    EXPECT_EQ(options.refdataMdbPath, QStringLiteral("C:\\DXbase\\Refdata.mdb"));
    EXPECT_EQ(options.reportAdifPath, dataFile(QStringLiteral("lotwreport.adi")));
    EXPECT_EQ(options.tqslExePath, QStringLiteral("/opt/tqsl/tqsl"));
    EXPECT_EQ(options.logins[0].password, QString());
}

TEST_F(OptionsStoreTest, BatchLoadReadsBothFiles)
{
    writeIni("[Dir]\nDATAPATH=C:\\other.mdb\n");
    QList<QByteArray> fields = sampleOptionsFields();
    fields[4] = "/data/up.adi \r\n";
    writeData(QStringLiteral("quorvane.dat"), stateFile(fields));
    writeData(QStringLiteral("quorvane3.dat"), stateFile({"%61%62%63%64", "", "", "", "%65", "", "", "", "", ""}));
    Options options;
    EXPECT_TRUE(LoadOptionsForBatch(paths, profile, tqsl, options));
    EXPECT_EQ(options.sourceMdbPath, QStringLiteral("C:\\DXbase\\Data\\K1ABC.mdb"));
    EXPECT_EQ(options.uploadAdifPath, QStringLiteral("/data/up.adi"));
    EXPECT_EQ(options.errorFilePath, dataFile(QStringLiteral("SemiQuorvaneErrors.txt")));
    EXPECT_EQ(options.stations[1].location, QStringLiteral("Mobile"));
    EXPECT_EQ(options.logins[0].password, QStringLiteral("%61%62%63%64"));
    EXPECT_EQ(options.logins[0].passwordLoaded, QStringLiteral("%61%62%63%64"));
    EXPECT_EQ(options.logins[4].password, QStringLiteral("%65"));
    EXPECT_TRUE(messages.shown.isEmpty());
}
