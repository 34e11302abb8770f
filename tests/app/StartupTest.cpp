#include "CAboutDlg.h"
#include "CBrindlewickApp.h"
#include "CMainFrame.h"
#include "COptionsDlg.h"
#include "ProgramIcon.h"
#include "QtOptionsDialogHost.h"
#include "options/OptionsStore.h"
#include "demo/DemoData.h"
#include "logdb/Connection.h"
#include "options/CommitOptions.h"
#include "platform/Profile.h"
#include "platform/Strings.h"
#include "support/Fakes.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <optional>

namespace {
const QString kBackToTheOptions = QStringLiteral("\n\nCorrect the log's path in the options, or Cancel to quit.");
class ScriptedDialog : public OptionsDialogHost
{
public:
    bool showOptionsDialog(OptionsDialogResult& result) override
    {
        ++showings;
        if (answers.empty() || !answers.front()) {
            if (!answers.empty())
                answers.pop_front();
            return false;
        }
        result = *answers.front();
        answers.pop_front();
        return true;
    }
    std::deque<std::optional<OptionsDialogResult>> answers;
    int showings = 0;
};

class StartupTest : public ::testing::Test
{
protected:
    StartupTest()
    {
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        paths.data = dir.file(QStringLiteral("data"));
        logPath = dir.file(QStringLiteral("K1ABC.sqlite"));
        DemoData::writeLog(logPath, 10, 1);
    }

    OptionsDialogResult confirmed(const QString& log) const
    {
        OptionsDialogResult r;
        r.values.sourceMdbPath = log;
        r.values.refdataMdbPath = dir.file(QStringLiteral("Refdata.sqlite"));
        r.values.uploadAdifPath = QStringLiteral("/d/LoTWUpload.adi");
        r.values.reportAdifPath = QStringLiteral("/d/lotwreport.adi");
        r.values.stations[0] = {QStringLiteral("K1ABC"), QStringLiteral("Home")};
        r.values.logins[0].loginCall = QStringLiteral("K1ABC");
        return r;
    }

    bool start()
    {
        CBrindlewickApp app(paths, profile, tqsl, messages, desktop, dialog);
        const bool ok = app.InitInstance();
        if (ok)
            EXPECT_EQ(app.GetSourceMdbPath(), logPath);
        return ok;
    }

    TestDir dir;
    FakePaths paths;
    IniProfile profile;
    FakeTqslLocator tqsl;
    FakeMessageBox messages;
    FakeDesktop desktop;
    ScriptedDialog dialog;
    QString logPath;
};
}

TEST_F(StartupTest, StartsWithAVersionSixLog)
{
    dialog.answers.push_back(confirmed(logPath));
    EXPECT_TRUE(start());
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Quorvane Version 2.71"));
}

TEST_F(StartupTest, CancelledDialogEndsSilently)
{
    dialog.answers.push_back(std::nullopt);
    EXPECT_FALSE(start());
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(StartupTest, BlankRequiredEntryThenCancelEnds)
{
    OptionsDialogResult blank = confirmed(logPath);
    blank.values.stations[0].location.clear();
    dialog.answers.push_back(blank);
    dialog.answers.push_back(std::nullopt);
    EXPECT_FALSE(start());
    EXPECT_EQ(dialog.showings, 2);
    EXPECT_EQ(messages.shown, QStringList{Strings::text(Strings::RequiredBlank)});
}

TEST_F(StartupTest, MissingEngineNamesWhatIsMissing)
{
    const QString accessLog = dir.file(QStringLiteral("K1ABC.mdb"));
    const QString missing = CheckEngineAvailable(accessLog);
    if (missing.isEmpty())
        GTEST_SKIP() << "an Access driver is installed here";
    dialog.answers.push_back(confirmed(accessLog));
    dialog.answers.push_back(std::nullopt);
    EXPECT_FALSE(start());
    EXPECT_EQ(messages.shown, QStringList{missing + kBackToTheOptions});
    EXPECT_EQ(dialog.showings, 2);
}

TEST_F(StartupTest, LogThatCannotOpenShowsTheEngineText)
{
    dialog.answers.push_back(confirmed(dir.file(QStringLiteral("none.sqlite"))));
    dialog.answers.push_back(std::nullopt);
    EXPECT_FALSE(start());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.first().endsWith(kBackToTheOptions)) << messages.shown.first().toStdString();
    EXPECT_TRUE(messages.shown.first().contains(QStringLiteral("none.sqlite"))) << messages.shown.first().toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("none.sqlite"))));
    EXPECT_EQ(dialog.showings, 2);
}

// A mistyped log path brings the options back; corrected there, the program starts.
TEST_F(StartupTest, AMistypedLogPathBringsTheOptionsBack)
{
    dialog.answers.push_back(confirmed(dir.file(QStringLiteral("K1ABC.sqlitee"))));
    dialog.answers.push_back(confirmed(logPath));
    EXPECT_TRUE(start());
    EXPECT_EQ(dialog.showings, 2);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.first().endsWith(kBackToTheOptions)) << messages.shown.first().toStdString();
}

TEST_F(StartupTest, VersionOtherThanSixRefuses)
{
    const QStringList versions = {QStringLiteral("5"), QStringLiteral("7"), QStringLiteral(""), QStringLiteral("60")};
    for (const QString& version : versions) {
        SqliteFixture::exec(logPath, {QStringLiteral("UPDATE [VERSION] SET [VERSION] = '%1'").arg(version)});
        FakeMessageBox box;
        ScriptedDialog script;
        script.answers.push_back(confirmed(logPath));
        script.answers.push_back(std::nullopt);
        CBrindlewickApp app(paths, profile, tqsl, box, desktop, script);
        EXPECT_FALSE(app.InitInstance()) << version.toStdString();
        EXPECT_EQ(box.shown, QStringList{QStringLiteral("DXbase mdb file version error") + kBackToTheOptions});
    }
    SqliteFixture::exec(logPath, {QStringLiteral("DROP TABLE [VERSION]")});
    dialog.answers.push_back(confirmed(logPath));
    dialog.answers.push_back(std::nullopt);
    EXPECT_FALSE(start());
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("DXbase mdb file version error") + kBackToTheOptions});
}

TEST(MainFrameTest, SizeAndPlaceFromTheScreen)
{
    EXPECT_EQ(CMainFrame::frameGeometryFor(QSize(1024, 768)), QRect(110, 22, 803, 724));
    EXPECT_EQ(CMainFrame::frameGeometryFor(QSize(1280, 1024)), QRect(174, 86, 931, 852));
    EXPECT_EQ(CMainFrame::frameGeometryFor(QSize(1921, 1081)), QRect(334, 100, 1251, 880));
    // A screen too small for the window keeps its title bar on the screen.
    EXPECT_EQ(CMainFrame::frameGeometryFor(QSize(800, 600)), QRect(54, 0, 691, 640));
}

TEST(MainFrameTest, WholeWindowSizeLessItsFrameAndAtMostWhatTheViewNeeds)
{
    const QSize unbounded(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // The worked-out size is the whole window's: the title bar and borders come off the inside.
    EXPECT_EQ(CMainFrame::clientSizeFor(QSize(803, 724), QMargins(), unbounded), QSize(803, 724));
    EXPECT_EQ(CMainFrame::clientSizeFor(QSize(803, 724), QMargins(1, 20, 1, 5), unbounded), QSize(801, 699));
    // A window already shrunk to its view keeps that size in the dimension it was shrunk in.
    EXPECT_EQ(CMainFrame::clientSizeFor(QSize(931, 852), QMargins(1, 20, 1, 5), QSize(767, unbounded.height())),
              QSize(767, 827));
    EXPECT_EQ(CMainFrame::clientSizeFor(QSize(931, 852), QMargins(1, 20, 1, 5), QSize(767, 778)), QSize(767, 778));
    EXPECT_EQ(CMainFrame::clientSizeFor(QSize(10, 10), QMargins(8, 30, 8, 8), unbounded), QSize(0, 0));
}

TEST(MainFrameTest, WholeWindowTakesTheWorkedOutPlace)
{
    CMainFrame frame;
    frame.setView(new QLabel(QStringLiteral("view")));
    frame.show();
    QCoreApplication::processEvents();
    const QRect screen = frame.screen()->geometry();
    const QRect place = CMainFrame::frameGeometryFor(screen.size()).translated(screen.topLeft());
    // The worked-out size is the whole window's, its frame included.
    EXPECT_EQ(frame.frameGeometry(), place);
}

namespace {
// A view that needs a fixed size.
class SizedView : public QWidget
{
public:
    explicit SizedView(QSize needed) : m_needed(needed) {}
    QSize sizeHint() const override { return m_needed; }
    QSize minimumSizeHint() const override { return QSize(50, 50); }

private:
    QSize m_needed;
};
}

TEST(MainFrameTest, ShrinksToTheViewOnlyAndKeepsItsCentre)
{
    CMainFrame frame;
    frame.setView(new SizedView(QSize(300, 200)));
    frame.resize(900, 700);
    frame.move(40, 30);
    frame.resizeToFitView();
    EXPECT_EQ(frame.size(), frame.sizeHint());
    EXPECT_LT(frame.width(), 900);
    EXPECT_LT(frame.height(), 700);
    EXPECT_EQ(frame.pos(), QPoint(40 + (900 - frame.width()) / 2, 30 + (700 - frame.height()) / 2));

    // A view larger than the window does not make the window grow.
    CMainFrame small;
    small.setView(new SizedView(QSize(2000, 1500)));
    small.resize(700, 500);
    small.resizeToFitView();
    EXPECT_EQ(small.size(), QSize(700, 500));

    // Larger in one direction only: only that one shrinks.
    CMainFrame wide;
    wide.setView(new SizedView(QSize(300, 1500)));
    wide.resize(900, 500);
    wide.resizeToFitView();
    EXPECT_EQ(wide.width(), wide.sizeHint().width());
    EXPECT_LT(wide.width(), 900);
    EXPECT_EQ(wide.height(), 500);
}

TEST(MainFrameTest, MenusToolbarAndStatusBar)
{
    CMainFrame frame;
    QStringList menus;
    for (QAction* a : frame.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&View"), QStringLiteral("&About")}));
    QStringList items;
    for (QAction* menu : frame.menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            items << a->text();
    EXPECT_EQ(items, (QStringList{QStringLiteral("&Options..."), QString(), QStringLiteral("&Undo last upload/import..."),
                                  QStringLiteral("&Back up the log..."), QString(), QStringLiteral("E&xit"),
                                  QStringLiteral("&Toolbar"), QStringLiteral("&Status Bar"),
                                  QStringLiteral("&About Quorvane...")}));
    EXPECT_EQ(frame.toolBarAction()->statusTip(), QStringLiteral("Show or hide the toolbar"));

    frame.setView(new QLabel(QStringLiteral("view")));
    frame.show();
    EXPECT_FALSE(frame.toolBar()->isVisible());
    EXPECT_FALSE(frame.toolBarAction()->isChecked());
    EXPECT_TRUE(frame.toolBar()->actions().contains(frame.aboutAction()));
    EXPECT_TRUE(frame.toolBar()->actions().first()->isSeparator());
    EXPECT_TRUE(frame.statusBar()->isVisible());
    EXPECT_TRUE(frame.statusBarAction()->isChecked());
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
    QStringList indicators;
    for (QLabel* l : frame.statusBar()->findChildren<QLabel*>())
        if (l->objectName().startsWith(QLatin1String("indicator")))
            indicators << l->text();
    // No key panes that could only ever show fixed texts.
    EXPECT_TRUE(indicators.isEmpty());

    frame.toolBarAction()->trigger();
    EXPECT_TRUE(frame.toolBar()->isVisible());
    frame.statusBarAction()->trigger();
    EXPECT_FALSE(frame.statusBar()->isVisible());

    frame.statusBar()->showMessage(QStringLiteral("prompt"));
    frame.statusBar()->clearMessage();
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
    EXPECT_EQ(qobject_cast<QLabel*>(frame.view())->text(), QStringLiteral("view"));
}

TEST(MainFrameTest, AboutBoxShowsTheVersion)
{
    CMainFrame frame;
    bool seen = false;
    QTimer::singleShot(0, &frame, [&seen] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About "));
        QStringList texts;
        for (QLabel* l : about->findChildren<QLabel*>())
            texts << l->text();
        EXPECT_TRUE(texts.contains(QStringLiteral("Quorvane Version 2.71")));
        // Below the version: what the program does, its licence, its home page as a link.
        EXPECT_EQ(texts.filter(QStringLiteral("between the DXbase log and ARRL's LoTW")).size(), 1);
        EXPECT_EQ(texts.filter(QStringLiteral("GNU General Public License, version 3 or")).size(), 1);
        auto* home = about->findChild<QLabel*>(QStringLiteral("homePage"));
        ASSERT_NE(home, nullptr);
        EXPECT_TRUE(home->text().contains(QStringLiteral("href=\"https://quorvane.org\""))) << home->text().toStdString();
        EXPECT_TRUE(home->openExternalLinks());
        // The program's own icon, not a stock one.
        auto* icon = about->findChild<QLabel*>(QStringLiteral("programIcon"));
        ASSERT_NE(icon, nullptr);
        const QImage shown = icon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(shown, ProgramIcon().pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32));
        EXPECT_EQ(shown, QPixmap(QStringLiteral(":/appicon/quorvane-48.png")).toImage().convertToFormat(QImage::Format_ARGB32));
        seen = true;
        about->findChild<QPushButton*>()->click();
    });
    frame.aboutAction()->trigger();
    EXPECT_TRUE(seen);
}

TEST_F(StartupTest, OkInTheRealDialogStartsOnTheSavedOptions)
{
    Options saved = confirmed(logPath).values;
    ASSERT_TRUE(SaveOptionsFile(paths.data + QStringLiteral("/quorvane.dat"), saved));
    QtOptionsDialogHost host(paths, profile, tqsl, messages, desktop);
    host.setBeforeShow([](COptionsDlg& shown) {
        QTimer::singleShot(0, &shown, [&shown] {
            for (QPushButton* b : shown.findChildren<QPushButton*>())
                if (b->property("controlId").toInt() == 1)
                    QTest::mouseClick(b, Qt::LeftButton);
        });
    });
    CBrindlewickApp app(paths, profile, tqsl, messages, desktop, host);
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.GetSourceMdbPath(), logPath);
    EXPECT_EQ(app.options().stations[0].location, QStringLiteral("Home"));
    // No TQSL here: the dialog said so and start-up went on.
    EXPECT_EQ(app.options().tqslExePath, QString());
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral("Could not find TQSL program path.")});
}

namespace {
// File > Options...: the same dialog; cancelled, the options in force stay; a log that can't be
// used brings the dialog back; confirmed, the new options are in force.
TEST_F(StartupTest, OptionsChangedWhileTheWindowIsOpen)
{
    dialog.answers.push_back(confirmed(logPath));
    CBrindlewickApp app(paths, profile, tqsl, messages, desktop, dialog);
    ASSERT_TRUE(app.InitInstance());

    ScriptedDialog later;
    later.answers.push_back(std::nullopt);
    EXPECT_FALSE(app.ChangeOptions(later));
    EXPECT_EQ(app.options().sourceMdbPath, logPath);

    const QString other = dir.file(QStringLiteral("W1AW.sqlite"));
    DemoData::writeLog(other, 5, 1);
    OptionsDialogResult changed = confirmed(other);
    changed.values.stations[0] = {QStringLiteral("W1AW"), QStringLiteral("Club")};
    later.answers.push_back(confirmed(dir.file(QStringLiteral("missing.sqlite"))));
    later.answers.push_back(changed);
    EXPECT_TRUE(app.ChangeOptions(later));
    EXPECT_EQ(later.showings, 3);
    EXPECT_EQ(app.options().sourceMdbPath, other);
    EXPECT_EQ(app.options().stations[0].oprCall, QStringLiteral("W1AW"));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.at(0).endsWith(QStringLiteral("or Cancel to keep the options in force.")))
        << messages.shown.at(0).toStdString();
}

TEST(MainFrameTest, FileMenuHoldsOptionsAndTheWindowIsCentred)
{
    CMainFrame frame;
    int asked = 0;
    frame.setOptionsHandler([&asked] { ++asked; });
    ASSERT_NE(frame.optionsAction(), nullptr);
    EXPECT_EQ(frame.optionsAction()->text(), QStringLiteral("&Options..."));
    frame.optionsAction()->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(frame.aboutAction()->text(), QStringLiteral("&About Quorvane..."));

    // A view that needs less than the worked-out place: the window shrinks and stays centred.
    auto* view = new QLabel(QStringLiteral("small view"));
    view->setFixedSize(300, 200);
    frame.setView(view);
    frame.show();
    QCoreApplication::processEvents();
    frame.resizeToFitView();
    QCoreApplication::processEvents();
    const QRect screen = frame.screen()->geometry();
    const QRect place = CMainFrame::frameGeometryFor(screen.size()).translated(screen.topLeft());
    EXPECT_LT(frame.frameGeometry().width(), place.width());
    EXPECT_LE(std::abs(frame.frameGeometry().center().x() - place.center().x()), 1);
}
} // namespace
