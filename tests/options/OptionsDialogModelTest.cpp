#include "OptionsTestSupport.h"
#include "options/OptionsDialogModel.h"
#include "options/OptionsStore.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {
class OptionsDialogModelTest : public ::testing::Test, public OptionsFixture
{
protected:
    OptionsDialogModelTest() : model(paths, profile, tqsl, messages, desktop)
    {
        writeIni("[Dir]\r\nDATAPATH=C:\\DXbase\\Data\\K1ABC.mdb  \r\nPGMPATH=C:\\DXbase\r\n");
        dir.write(QStringLiteral("station_data"),
                  "<StationDataFile>\n  <StationData name=\"Home\">\n    <CALL>W1XYZ</CALL>\n  </StationData>\n"
                  "</StationDataFile>\n");
    }
    OptionsDialogModel model;
};
}

TEST_F(OptionsDialogModelTest, FirstStartTakesDefaultsAndDiscoveredStations)
{
    model.initialise();
    const Options& c = model.copy();
    EXPECT_EQ(c.sourceMdbPath, QStringLiteral("C:\\DXbase\\Data\\K1ABC.mdb"));
    EXPECT_EQ(c.refdataMdbPath, QStringLiteral("C:\\DXbase\\Refdata.mdb"));
    EXPECT_EQ(c.uploadAdifPath, dataFile(QStringLiteral("LoTWUpload.adi")));
    EXPECT_EQ(c.stations[0].oprCall, QStringLiteral("W1XYZ"));
    EXPECT_EQ(c.stations[0].location, QStringLiteral("Home"));
    EXPECT_EQ(c.logins[0].loginCall, QStringLiteral("W1XYZ"));
    EXPECT_EQ(c.logins[0].passwordField, QString());
    EXPECT_EQ(c.tqslExePath, QStringLiteral("/opt/tqsl/tqsl"));
    EXPECT_EQ(model.caption(), dataFile(QStringLiteral("lotwreport.adi")));
    EXPECT_EQ(model.versionText(), paths.osVersion);
    EXPECT_EQ(desktop.pauses, std::vector<int>{200});
}

TEST_F(OptionsDialogModelTest, FilesOverrideDefaultsAndPasswordsShowMasks)
{
    QList<QByteArray> fields = sampleOptionsFields();
    fields[1] = "%61%62%63"; // a kept password field is never shown
    writeData(QStringLiteral("quorvane.dat"), stateFile(fields));
    writeData(QStringLiteral("quorvane3.dat"),
              stateFile({"%61%62%63%64%65", "%61%62%63", "%61%62%63%64%65%66%67%68%69%6a%6b%6c%6d%6e", "", "", "", "",
                         "", "", ""}));
    model.initialise();
    const Options& c = model.copy();
    EXPECT_EQ(c.sourceMdbPath, QStringLiteral("C:\\DXbase\\Data\\K1ABC.mdb"));
    EXPECT_EQ(c.stations[0].oprCall, QStringLiteral("K1ABC"));
    EXPECT_EQ(c.stations[1].location, QStringLiteral("Mobile"));
    EXPECT_EQ(c.logins[0].passwordField, QStringLiteral("*****"));
    EXPECT_EQ(c.logins[0].passwordLoaded, QStringLiteral("%61%62%63%64%65"));
    EXPECT_EQ(c.logins[1].passwordField, QString()); // 3 characters: no mask
    EXPECT_EQ(c.logins[1].passwordLoaded, QStringLiteral("%61%62%63"));
    EXPECT_EQ(c.logins[2].passwordField, QStringLiteral("**************")); // 14 characters
}

TEST_F(OptionsDialogModelTest, EmptyOptionsFileLoadsNoDefaults)
{
    writeData(QStringLiteral("quorvane.dat"), QByteArray());
    model.initialise();
    EXPECT_EQ(model.copy().sourceMdbPath, QString());
    EXPECT_EQ(model.copy().uploadAdifPath, QString());
    EXPECT_EQ(model.copy().errorFilePath, dataFile(QStringLiteral("SemiQuorvaneErrors.txt")));
}

TEST_F(OptionsDialogModelTest, ReinitialisingAfterBrowseKeepsTheChosenPath)
{
    model.initialise();
    model.copy().refdataMdbPath = QStringLiteral("/chosen/Refdata.sqlite");
    model.copy().stations[0].oprCall = QStringLiteral("TYPED");
    writeData(QStringLiteral("quorvane3.dat"), stateFile({"%61%62%63%64", "", "", "", "", "", "", "", "", ""}));
    model.initialise(true);
    EXPECT_EQ(model.copy().refdataMdbPath, QStringLiteral("/chosen/Refdata.sqlite"));
    EXPECT_EQ(model.copy().stations[0].oprCall, QStringLiteral("TYPED"));
    EXPECT_EQ(model.copy().logins[0].passwordField, QStringLiteral("****"));
}

TEST_F(OptionsDialogModelTest, MissingTqslShowsMessageAndGoesOn)
{
    tqsl.install.keyFound = false;
    model.initialise();
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Could not find TQSL program path.")});
    EXPECT_EQ(model.copy().tqslFolder, QString());
    EXPECT_EQ(model.copy().sourceMdbPath, QStringLiteral("C:\\DXbase\\Data\\K1ABC.mdb"));
}

// The passwords go from the dialog's copy only: the file stays until the options are confirmed.
TEST_F(OptionsDialogModelTest, ClearAllPasswordsEmptiesTheCopy)
{
    writeData(QStringLiteral("quorvane3.dat"), stateFile({"%61%62%63%64", "%61%62%63%64", "", "", "", "", "", "", "", ""}));
    model.initialise();
    model.clearAllPasswords();
    EXPECT_TRUE(QFileInfo::exists(dataFile(QStringLiteral("quorvane3.dat"))));
    for (const LotwLogin& login : model.copy().logins) {
        EXPECT_EQ(login.passwordField, QString());
        EXPECT_EQ(login.passwordLoaded, QString());
    }
    model.clearAllPasswords(); // nothing left: nothing happens
}

TEST_F(OptionsDialogModelTest, DeleteEmptiesOneRow)
{
    writeData(QStringLiteral("quorvane.dat"), stateFile(sampleOptionsFields()));
    writeData(QStringLiteral("quorvane3.dat"), stateFile({"%61%62%63%64", "%61%62%63%64", "", "", "", "", "", "", "", ""}));
    model.initialise();
    model.deleteRow(1);
    model.deleteRow(0); // row 1 has no delete command
    const Options& c = model.copy();
    EXPECT_EQ(c.stations[1].oprCall, QString());
    EXPECT_EQ(c.stations[1].location, QString());
    EXPECT_EQ(c.logins[1].loginCall, QString());
    EXPECT_EQ(c.logins[1].passwordField, QString());
    EXPECT_EQ(c.logins[1].passwordLoaded, QString());
    EXPECT_TRUE(model.deleted(1));
    EXPECT_FALSE(model.deleted(0));
    EXPECT_EQ(c.stations[0].oprCall, QStringLiteral("K1ABC"));
    model.initialise(true);
    EXPECT_FALSE(model.deleted(1));
}

// Damaged option files are said so, with the field where the damage starts; what could be read
// is shown.
TEST_F(OptionsDialogModelTest, DamagedFilesAreNamed)
{
    QList<QByteArray> fields = sampleOptionsFields();
    QByteArray options = stateFile(fields);
    // Cut in the middle of field 8 (the first station's location).
    qsizetype at = 0;
    for (int i = 0; i < 8; ++i)
        at = options.indexOf('\x05', at) + 1;
    writeData(QStringLiteral("quorvane.dat"), options.left(at - 2));
    writeData(QStringLiteral("quorvane3.dat"), QByteArray("1\r\n%61%62%63%64\x05"));
    model.initialise();
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown.at(0).startsWith(QStringLiteral("quorvane.dat is damaged (field 8): ")))
        << messages.shown.at(0).toStdString();
    EXPECT_TRUE(messages.shown.at(1).startsWith(QStringLiteral("quorvane3.dat is damaged (field 2): ")))
        << messages.shown.at(1).toStdString();
    EXPECT_EQ(model.copy().stations[0].oprCall, QString::fromLatin1(fields.at(6)));
}
