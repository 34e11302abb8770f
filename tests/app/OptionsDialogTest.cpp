#include "COptionsDlg.h"
#include "QtOptionsDialogHost.h"
#include "options/CommitOptions.h"
#include "options/OptionsStore.h"
#include "platform/Profile.h"
#include "platform/Strings.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <set>

namespace {
QByteArray stateFile(const QList<QByteArray>& fields)
{
    QByteArray bytes("1\r\n");
    for (const QByteArray& field : fields)
        bytes += field + '\x05';
    return bytes;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T>
T* control(QWidget& dialog, int id)
{
    for (T* w : dialog.findChildren<T*>()) {
        if (w->property("controlId").toInt() == id)
            return w;
    }
    return nullptr;
}

class OptionsDialogTest : public ::testing::Test
{
protected:
    OptionsDialogTest()
    {
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        QDir(dir.path()).mkpath(QStringLiteral("win"));
        paths.data = dir.file(QStringLiteral("data"));
        paths.windows = dir.file(QStringLiteral("win"));
        paths.stationFile = dir.file(QStringLiteral("station_data"));
        tqsl.install = TqslInstall{true, QStringLiteral("/opt/tqsl")};
        dir.write(QStringLiteral("win/Dxb2007.ini"), "[Dir]\nDATAPATH=/logs/K1ABC.sqlite\nPGMPATH=/logs\n");
        dir.write(QStringLiteral("data/quorvane.dat"),
                  stateFile({"", "", "", "", "/d/LoTWUpload.adi", "/d/lotwreport.adi", "K1ABC", "Home", "K1ABC/M",
                             "Mobile", "", "", "", "", "", "", "K1ABC", "K1ABC", "", "", "", "", "/logs/K1ABC.sqlite",
                             "/logs/Refdata.sqlite", ""}));
        dir.write(QStringLiteral("data/quorvane3.dat"),
                  stateFile({"%61%62%63%64", "%65%66%67%68%69", "", "", "", "", "", "", "", ""}));
    }

    std::unique_ptr<COptionsDlg> makeDialog()
    {
        auto dialog = std::make_unique<COptionsDlg>(paths, profile, tqsl, messages, desktop);
        dialog->initialiseDialog();
        return dialog;
    }
    QString data(const char* name) const { return paths.data + QLatin1Char('/') + QString::fromLatin1(name); }

    TestDir dir;
    FakePaths paths;
    IniProfile profile;
    FakeTqslLocator tqsl;
    FakeMessageBox messages;
    FakeDesktop desktop;
};
}

TEST_F(OptionsDialogTest, EveryControlCarriesItsNumberAndText)
{
    auto dialog = makeDialog();
    std::vector<int> edits = {1041, 1042, 1061, 1062, 1063, 1064};
    for (int id = 1065; id <= 1084; ++id)
        edits.push_back(id);
    for (int id : edits)
        EXPECT_NE(control<QLineEdit>(*dialog, id), nullptr) << id;

    const std::map<int, const char*> buttons = {{1, "OK"},          {2, "Cancel"},     {1095, "..."},
                                                {1096, "..."},      {1057, "Clear ALL Passwords"},
                                                {1004, "< Delete"}, {1005, "< Delete"}, {1006, "< Delete"},
                                                {1007, "< Delete"}};
    for (const auto& [id, text] : buttons) {
        QPushButton* b = control<QPushButton>(*dialog, id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->text(), QString::fromLatin1(text));
    }
    EXPECT_TRUE(control<QPushButton>(*dialog, 1)->isDefault());
    EXPECT_NE(control<QLabel>(*dialog, 1114), nullptr);

    QStringList labels;
    for (QLabel* l : dialog->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text :
         {"Validate all of the selections below. Enter new or Over-type any changes you need to make.",
          "DXbase Source QSO path/filename :", "DXbase Refdata path/filename :",
          "Note :  Be sure you are using Version 2.0 or higher of TQSL pgm", "*    Required Information",
          "ADIF file to be uploaded to LoTW website - path/filename :",
          "ADIF file to be downloaded from the LoTW website - path/filename :", "OPRCALL used to",
          "PASSWORD used to", "log-into the ARRL", "LoTW website", "OPRCALL", "LOCATION"})
        EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;

    QStringList titles;
    for (QGroupBox* g : dialog->findChildren<QGroupBox*>())
        titles << g->title();
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Primary OprCall and Location for signing ADIF/TQ8"),
                                   QStringLiteral("Secondary OprCall and Location for signing ADIF/TQ8"),
                                   QStringLiteral("Alternate OprCall and Location for signing ADIF/TQ8"),
                                   QStringLiteral("2nd Alternate OprCall and Location for signing ADIF/TQ8"),
                                   QStringLiteral("3rd Alternate OprCall and Location for signing ADIF/TQ8")}));

    EXPECT_TRUE(control<QLineEdit>(*dialog, 1063)->isReadOnly());
    EXPECT_TRUE(control<QLineEdit>(*dialog, 1064)->isReadOnly());
    EXPECT_FALSE(control<QLineEdit>(*dialog, 1041)->isReadOnly());
    EXPECT_TRUE(control<QLineEdit>(*dialog, 1061)->isHidden());
    EXPECT_TRUE(control<QLineEdit>(*dialog, 1062)->isHidden());
    EXPECT_EQ(control<QLineEdit>(*dialog, 1080)->echoMode(), QLineEdit::Password);
}

TEST_F(OptionsDialogTest, SevenRequiredMarks)
{
    auto dialog = makeDialog();
    std::set<int> marked;
    for (QLabel* l : dialog->findChildren<QLabel*>()) {
        if (l->text() == QLatin1String("*")) {
            marked.insert(l->property("markFor").toInt());
            // The mark stands beside its entry: on the same height.
            QLineEdit* entry = control<QLineEdit>(*dialog, l->property("markFor").toInt());
            ASSERT_NE(entry, nullptr);
        }
    }
    EXPECT_EQ(marked, (std::set<int>{1041, 1042, 1063, 1064, 1065, 1066, 1075}));
}

TEST_F(OptionsDialogTest, CallEditsTurnLettersIntoCapitals)
{
    auto dialog = makeDialog();
    for (int id : {1065, 1067, 1073, 1075, 1079}) {
        QLineEdit* e = control<QLineEdit>(*dialog, id);
        e->clear();
        QTest::keyClicks(e, QStringLiteral("k1abc/p"));
        EXPECT_EQ(e->text(), QStringLiteral("K1ABC/P")) << id;
    }
    for (int id : {1066, 1080, 1041}) {
        QLineEdit* e = control<QLineEdit>(*dialog, id);
        e->clear();
        QTest::keyClicks(e, QStringLiteral("Home qth"));
        EXPECT_EQ(e->text(), QStringLiteral("Home qth")) << id;
    }
}

TEST_F(OptionsDialogTest, InitialisationFillsControlsAndCaption)
{
    auto dialog = makeDialog();
    EXPECT_EQ(control<QLineEdit>(*dialog, 1041)->text(), QStringLiteral("/logs/K1ABC.sqlite"));
    EXPECT_EQ(control<QLineEdit>(*dialog, 1068)->text(), QStringLiteral("Mobile"));
    EXPECT_EQ(control<QLineEdit>(*dialog, 1080)->text(), QStringLiteral("****"));
    EXPECT_EQ(control<QLineEdit>(*dialog, 1081)->text(), QStringLiteral("*****"));
    EXPECT_EQ(control<QLineEdit>(*dialog, 1082)->text(), QString());
    EXPECT_EQ(control<QLineEdit>(*dialog, 1062)->text(), QStringLiteral("/opt/tqsl"));
    EXPECT_EQ(control<QLabel>(*dialog, 1114)->text(), paths.osVersion);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("/d/lotwreport.adi"));
}

TEST_F(OptionsDialogTest, BrowseCancelledReinitialisesAndChosenFileStays)
{
    auto dialog = makeDialog();
    dialog->setFileChooser([](QWidget*, const QString&) { return QString(); });
    control<QLineEdit>(*dialog, 1080)->setText(QStringLiteral("newpass"));
    control<QLineEdit>(*dialog, 1069)->setText(QStringLiteral("W1AW"));
    dir.write(QStringLiteral("data/quorvane3.dat"), stateFile({"", "%61%62%63%64%65%66", "", "", "", "", "", "", "", ""}));
    QTest::mouseClick(control<QPushButton>(*dialog, 1095), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(*dialog, 1081)->text(), QStringLiteral("******"));
    EXPECT_EQ(control<QLineEdit>(*dialog, 1080)->text(), QStringLiteral("newpass"));
    EXPECT_EQ(control<QLineEdit>(*dialog, 1069)->text(), QStringLiteral("W1AW"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("/d/lotwreport.adi"));

    // A first start: the chosen path is kept, the defaults are not loaded over it.
    QFile::remove(data("quorvane.dat"));
    auto fresh = makeDialog();
    EXPECT_EQ(control<QLineEdit>(*fresh, 1042)->text(), QStringLiteral("/logs/Refdata.mdb"));
    fresh->setFileChooser([](QWidget*, const QString& current) {
        EXPECT_EQ(current, QStringLiteral("/logs/Refdata.mdb"));
        return QStringLiteral("/chosen/Refdata.sqlite");
    });
    QTest::mouseClick(control<QPushButton>(*fresh, 1096), Qt::LeftButton);
    EXPECT_EQ(control<QLineEdit>(*fresh, 1042)->text(), QStringLiteral("/chosen/Refdata.sqlite"));
    EXPECT_EQ(control<QLineEdit>(*fresh, 1041)->text(), QStringLiteral("/logs/K1ABC.sqlite"));
}

// "Clear ALL Passwords" asks first, and clears only the dialog's copy: Cancel keeps the
// password file as it was, OK writes it without them.
TEST_F(OptionsDialogTest, ClearAllPasswordsAsksAndTakesEffectOnOk)
{
    const QByteArray passwordsBefore = readAll(data("quorvane3.dat"));
    ASSERT_FALSE(passwordsBefore.isEmpty());
    auto dialog = makeDialog();
    messages.answer = false;
    QTest::mouseClick(control<QPushButton>(*dialog, 1057), Qt::LeftButton);
    ASSERT_EQ(messages.asked.size(), 1);
    EXPECT_TRUE(messages.asked.at(0).startsWith(QStringLiteral("Clear the LoTW passwords"))) << messages.asked.at(0).toStdString();
    EXPECT_FALSE(control<QLineEdit>(*dialog, 1080)->text().isEmpty());

    messages.answer = true;
    QTest::mouseClick(control<QPushButton>(*dialog, 1057), Qt::LeftButton);
    for (int id = 1080; id <= 1084; ++id)
        EXPECT_EQ(control<QLineEdit>(*dialog, id)->text(), QString());
    EXPECT_EQ(readAll(data("quorvane3.dat")), passwordsBefore);
    dialog->reject();
    EXPECT_EQ(readAll(data("quorvane3.dat")), passwordsBefore);

    QtOptionsDialogHost host(paths, profile, tqsl, messages, desktop);
    host.setBeforeShow([](COptionsDlg& shown) {
        QTimer::singleShot(0, &shown, [&shown] {
            QTest::mouseClick(control<QPushButton>(shown, 1057), Qt::LeftButton);
            QTest::mouseClick(control<QPushButton>(shown, 1), Qt::LeftButton);
        });
    });
    Options options;
    ASSERT_TRUE(CommitOptions(host, paths, desktop, messages, options));
    for (const LotwLogin& login : options.logins)
        EXPECT_EQ(login.password, QString());
    std::array<QString, kSlotCount> passwords;
    LoadPasswordFile(data("quorvane3.dat"), passwords);
    for (const QString& password : passwords)
        EXPECT_EQ(password, QString());
}

// Passwords are not shown as they are typed; every location can be picked from TQSL's.
TEST_F(OptionsDialogTest, PasswordsHiddenAndLocationsOffered)
{
    dir.write(QStringLiteral("station_data"),
              "<StationDataFile>\n  <StationData name=\"Home\">\n    <CALL>K1ABC</CALL>\n  </StationData>\n"
              "  <StationData name=\"Field Day\">\n    <CALL>W1AW</CALL>\n  </StationData>\n</StationDataFile>\n");
    auto dialog = makeDialog();
    for (int id = 1080; id <= 1084; ++id)
        EXPECT_EQ(control<QLineEdit>(*dialog, id)->echoMode(), QLineEdit::Password) << id;
    for (int id = 1066; id <= 1074; id += 2) {
        auto* list = qobject_cast<QComboBox*>(control<QLineEdit>(*dialog, id)->parentWidget());
        ASSERT_NE(list, nullptr) << id;
        EXPECT_TRUE(list->isEditable());
        QStringList offered;
        for (int i = 0; i < list->count(); ++i)
            offered.append(list->itemText(i));
        EXPECT_EQ(offered, (QStringList{QStringLiteral("Home"), QStringLiteral("Field Day")})) << id;
    }
    EXPECT_EQ(control<QLineEdit>(*dialog, 1066)->text(), QStringLiteral("Home"));
}

TEST_F(OptionsDialogTest, DeleteRowTwoThenOkSavesTheRowEmpty)
{
    QtOptionsDialogHost host(paths, profile, tqsl, messages, desktop);
    host.setBeforeShow([](COptionsDlg& dialog) {
        QTimer::singleShot(0, &dialog, [&dialog] {
            QTest::mouseClick(control<QPushButton>(dialog, 1004), Qt::LeftButton);
            EXPECT_EQ(control<QLineEdit>(dialog, 1067)->text(), QString());
            QTest::mouseClick(control<QPushButton>(dialog, 1), Qt::LeftButton);
        });
    });
    Options options;
    ASSERT_TRUE(CommitOptions(host, paths, desktop, messages, options));
    EXPECT_EQ(options.stations[1].oprCall, QString());
    EXPECT_EQ(options.logins[0].password, QStringLiteral("%61%62%63%64"));
    EXPECT_EQ(options.logins[1].password, QString());

    Options saved;
    ASSERT_TRUE(LoadOptionsFile(data("quorvane.dat"), saved));
    EXPECT_EQ(saved.stations[0].location, QStringLiteral("Home"));
    EXPECT_EQ(saved.stations[1].oprCall, QString());
    EXPECT_EQ(saved.stations[1].location, QString());
    EXPECT_EQ(saved.logins[1].loginCall, QString());
    std::array<QString, kSlotCount> passwords;
    ASSERT_TRUE(LoadPasswordFile(data("quorvane3.dat"), passwords));
    EXPECT_EQ(passwords[0], QStringLiteral("%61%62%63%64"));
    EXPECT_EQ(passwords[1], QString());
}

// OK with a blank required entry names it and keeps every edit of the showing; filled in, OK
// goes through. Cancel at start asks before it ends the program.
TEST_F(OptionsDialogTest, ABlankEntryIsNamedAndTheEditsStay)
{
    QtOptionsDialogHost host(paths, profile, tqsl, messages, desktop);
    int showings = 0;
    host.setBeforeShow([&](COptionsDlg& dialog) {
        ++showings;
        QTimer::singleShot(0, &dialog, [&] {
            control<QLineEdit>(dialog, 1066)->clear();
            control<QLineEdit>(dialog, 1069)->setText(QStringLiteral("W1AW"));
            QTest::mouseClick(control<QPushButton>(dialog, 1), Qt::LeftButton);
            EXPECT_TRUE(dialog.isVisible());
            ASSERT_EQ(messages.shown.size(), 1);
            EXPECT_EQ(messages.shown.at(0), Strings::text(Strings::RequiredBlank)
                                                + QStringLiteral("\n\nBlank: Primary LOCATION."));
            EXPECT_EQ(control<QLineEdit>(dialog, 1069)->text(), QStringLiteral("W1AW"));
            // The location's edit, or the list it is the text of.
            QLineEdit* location = control<QLineEdit>(dialog, 1066);
            EXPECT_TRUE(dialog.focusWidget() == location || dialog.focusWidget() == location->parentWidget());
            control<QLineEdit>(dialog, 1066)->setText(QStringLiteral("Home"));
            QTest::mouseClick(control<QPushButton>(dialog, 1), Qt::LeftButton);
        });
    });
    Options options;
    ASSERT_TRUE(CommitOptions(host, paths, desktop, messages, options));
    EXPECT_EQ(showings, 1);
    EXPECT_EQ(options.stations[2].oprCall, QStringLiteral("W1AW"));

    // Cancel: asked; No keeps the dialog, Yes ends the start-up.
    messages.shown.clear();
    host.setBeforeShow([&](COptionsDlg& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            messages.answer = false;
            QTest::mouseClick(control<QPushButton>(dialog, 2), Qt::LeftButton);
            EXPECT_TRUE(dialog.isVisible());
            messages.answer = true;
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
    });
    EXPECT_FALSE(CommitOptions(host, paths, desktop, messages, options));
    EXPECT_EQ(messages.asked.filter(QStringLiteral("Quit Quorvane?")).size(), 2);
}
