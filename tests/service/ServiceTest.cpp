// The service layer both front ends start their operations through: the form's rule for the
// texts it hands on, what an upload request holds whichever front end made it, the start-up
// check of a log and of a data folder, the report request's outcome, the undo's choice of run
// and the backup's line.

#include "service/FormText.h"
#include "service/Operations.h"
#include "service/StartupCheck.h"

#include "demo/DemoData.h"
#include "options/ChoiceModel.h"
#include "options/OptionsStore.h"
#include "options/QslDateFile.h"
#include "platform/Strings.h"
#include "support/Fakes.h"
#include "support/LogHolder.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"
#include "undo/UndoJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString repeated(char c, int n)
{
    return QString(n, QLatin1Char(c));
}

std::string testName(const char* name)
{
    return name;
}

// --- The texts the form hands on -------------------------------------------------------------

struct HandedOnCase
{
    const char* name;
    QString text;
    QString handedOn; // what an operation receives
    QString tq8;      // what the form shows as the signed file for it as an upload path
};

void PrintTo(const HandedOnCase& c, std::ostream* os)
{
    *os << c.name;
}

class FormTextRule : public ::testing::TestWithParam<HandedOnCase> {};

TEST_P(FormTextRule, CutsTo99AndNamesTheSignedFile)
{
    const HandedOnCase& c = GetParam();
    EXPECT_EQ(FormText::handedOn(c.text), c.handedOn);
    EXPECT_EQ(FormText::tq8Text(c.text), c.tq8);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, FormTextRule,
    ::testing::Values(
        HandedOnCase{"Empty", QString(), QString(), QString()},
        HandedOnCase{"Adi", S("/home/op/LoTWUpload.adi"), S("/home/op/LoTWUpload.adi"), S("/home/op/LoTWUpload.tq8")},
        HandedOnCase{"UpperCaseExtension", S("C:\\quorvane260\\UP.ADI"), S("C:\\quorvane260\\UP.ADI"),
                     S("C:\\quorvane260\\UP.tq8")},
        // No extension: the last three characters go all the same.
        HandedOnCase{"NoExtension", S("/home/op/upload"), S("/home/op/upload"), S("/home/op/upltq8")},
        HandedOnCase{"ShorterThanThree", S("ab"), S("ab"), S("tq8")},
        HandedOnCase{"Length98", repeated('a', 94) + S(".adi"), repeated('a', 94) + S(".adi"), repeated('a', 94) + S(".tq8")},
        HandedOnCase{"Length99", repeated('a', 95) + S(".adi"), repeated('a', 95) + S(".adi"), repeated('a', 95) + S(".tq8")},
        // One character more than the form hands on: the extension's last letter is lost
        // before the last three are replaced.
        HandedOnCase{"Length100", repeated('a', 96) + S(".adi"), repeated('a', 96) + S(".ad"), repeated('a', 96) + S("tq8")},
        HandedOnCase{"Length150", repeated('b', 146) + S(".adi"), repeated('b', 99), repeated('b', 96) + S("tq8")},
        // Characters, not bytes, are counted.
        HandedOnCase{"NonAscii", repeated('a', 91) + S("\u00e9\u00e9\u00e9\u00e9\u00e9.adi"),
                     repeated('a', 91) + S("\u00e9\u00e9\u00e9\u00e9\u00e9.ad"),
                     repeated('a', 91) + S("\u00e9\u00e9\u00e9\u00e9\u00e9tq8")}),
    [](const ::testing::TestParamInfo<HandedOnCase>& info) { return testName(info.param.name); });

// --- What an upload request holds, whichever front end made it --------------------------------

Options uploadOptions(const QString& uploadPath, const QString& tqsl, const QString& log)
{
    Options options;
    options.uploadAdifPath = uploadPath;
    options.tqslExePath = tqsl;
    options.sourceMdbPath = log;
    options.refdataMdbPath = log + S(".ref");
    options.reportAdifPath = uploadPath + S(".report");
    options.errorFilePath = uploadPath + S(".errors");
    options.stations[0] = {S("K1ABC"), S("Home")};
    options.logins[0].loginCall = S("K1ABC");
    return options;
}

struct UploadCase
{
    const char* name;
    QString uploadPath;
    QString tqslPath;
    QString logPath;
};

void PrintTo(const UploadCase& c, std::ostream* os)
{
    *os << c.name;
}

class UploadRequestFromBothFrontEnds : public ::testing::TestWithParam<UploadCase> {};

// The window reads the two paths back from its controls (cut as it hands them on) and puts
// them into its options; the batch command takes them from the option file as they stand. Both
// reach the run the same way: cut to 99 characters, and nothing else of the options cut.
TEST_P(UploadRequestFromBothFrontEnds, ReachesTheRunTheSameWay)
{
    const UploadCase& c = GetParam();
    const Options stored = uploadOptions(c.uploadPath, c.tqslPath, c.logPath);
    ChoiceModel model(stored);
    model.chooseSigningSlot(1);

    Options fromForm = stored;
    fromForm.uploadAdifPath = FormText::handedOn(c.uploadPath);
    fromForm.tqslExePath = FormText::handedOn(c.tqslPath);
    const UploadRequest window = MakeUploadRequest(fromForm, model.choices());
    const UploadRequest batch = MakeUploadRequest(stored, model.choices());

    for (const UploadRequest* request : {&window, &batch}) {
        EXPECT_EQ(request->options.uploadAdifPath, c.uploadPath.left(99));
        EXPECT_EQ(request->options.tqslExePath, c.tqslPath.left(99));
        // The log, the report and the error file are not form texts: they go on whole.
        EXPECT_EQ(request->options.sourceMdbPath, c.logPath);
        EXPECT_EQ(request->options.refdataMdbPath, stored.refdataMdbPath);
        EXPECT_EQ(request->options.reportAdifPath, stored.reportAdifPath);
        EXPECT_EQ(request->options.errorFilePath, stored.errorFilePath);
        EXPECT_EQ(request->choices.SigningCall, S("K1ABC"));
        EXPECT_TRUE(request->handOff);
        EXPECT_FALSE(request->signAgain);
        EXPECT_TRUE(request->passphrase.isEmpty());
        EXPECT_EQ(request->tqslTimeLimit, UploadRun::kDefaultTqslTimeLimit);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UploadRequestFromBothFrontEnds,
    ::testing::Values(UploadCase{"Short", S("/d/LoTWUpload.adi"), S("/usr/bin/tqsl"), S("/d/Dxbase.sqlite")},
                      UploadCase{"Exactly99", repeated('u', 95) + S(".adi"), repeated('t', 99), S("/d/Dxbase.sqlite")},
                      UploadCase{"Exactly100", repeated('u', 96) + S(".adi"), repeated('t', 100), S("/d/Dxbase.sqlite")},
                      UploadCase{"LongLogPathKept", S("/d/LoTWUpload.adi"), S("/usr/bin/tqsl"),
                                 S("/d/") + repeated('l', 150) + S(".sqlite")},
                      UploadCase{"WindowsPaths", S("C:\\quorvane260\\LoTWUpload.adi"),
                                 S("C:\\Program Files (x86)\\TrustedQSL\\tqsl.exe"), S("C:\\DXbase\\Dxbase.mdb")},
                      UploadCase{"Empty", QString(), QString(), S("/d/Dxbase.sqlite")}),
    [](const ::testing::TestParamInfo<UploadCase>& info) { return testName(info.param.name); });

// --- The start-up check of a log -------------------------------------------------------------

TEST(LogCheckAtStart, ADemoLogIsUsableAndNotHeldAfterwards)
{
    TestDir dir;
    const QString log = dir.file(S("Dxbase.sqlite"));
    DemoData::writeLog(log, 3, 1);
    RecordingMonitor monitor;
    const LogCheck check = CheckLogAtStart(log, &monitor);
    EXPECT_TRUE(check.usable());
    EXPECT_TRUE(check.text.isEmpty());
    // Nothing of the check holds the log: another program can write it at once.
    LogHolder writer(log, LogHolder::Kind::Writer);
    EXPECT_TRUE(writer.holding());
}

TEST(LogCheckAtStart, AnotherVersionIsSaidWithTheStringTableText)
{
    TestDir dir;
    const QString log = dir.file(S("Dxbase.sqlite"));
    DemoData::writeLog(log, 1, 1);
    SqliteFixture::exec(log, {S("UPDATE [VERSION] SET [VERSION] = '5'")});
    const LogCheck check = CheckLogAtStart(log, nullptr);
    EXPECT_EQ(check.result, LogCheck::Result::WrongVersion);
    EXPECT_EQ(check.text, Strings::text(Strings::VersionError));
}

TEST(LogCheckAtStart, ADatabaseThatIsNoLogIsAnotherVersion)
{
    TestDir dir;
    const QString log = dir.file(S("Dxbase.sqlite"));
    DemoData::writeLog(log, 1, 1);
    SqliteFixture::exec(log, {S("DROP TABLE [VERSION]")});
    const LogCheck check = CheckLogAtStart(log, nullptr);
    EXPECT_EQ(check.result, LogCheck::Result::WrongVersion);
}

#ifndef Q_OS_WIN
TEST(LogCheckAtStart, AnAccessLogHasNoEngineHere)
{
    const LogCheck check = CheckLogAtStart(S("/d/Dxbase.mdb"), nullptr);
    EXPECT_EQ(check.result, LogCheck::Result::NoEngine);
    EXPECT_TRUE(check.text.startsWith(S("No Access ODBC driver is installed"))) << check.text.toStdString();
}
#endif

TEST(LogCheckAtStart, AMissingLogIsSaidInTheEnginesWords)
{
    TestDir dir;
    const LogCheck check = CheckLogAtStart(dir.file(S("no such folder/Dxbase.sqlite")), nullptr);
    EXPECT_EQ(check.result, LogCheck::Result::Failed);
    EXPECT_FALSE(check.text.isEmpty());
    EXPECT_FALSE(check.text.contains(S("waited"))) << check.text.toStdString();
}

// A log another program holds is said as such (after the engine's wait, of which the monitor
// is told), not as a log of another version.
TEST(LogCheckAtStart, AHeldLogIsSaidAsBusy)
{
    TestDir dir;
    const QString log = dir.file(S("Dxbase.sqlite"));
    DemoData::writeLog(log, 1, 1);
    LogHolder writer(log, LogHolder::Kind::Writer);
    ASSERT_TRUE(writer.holding());
    RecordingMonitor monitor;
    const LogCheck check = CheckLogAtStart(log, &monitor);
    EXPECT_EQ(check.result, LogCheck::Result::Busy);
    EXPECT_TRUE(check.text.endsWith(S(": waited 5 seconds for it, then gave up."))) << check.text.toStdString();
    EXPECT_EQ(monitor.download, QStringList{WaitNoticeText(log)});
}

// --- The batch command's data folder ---------------------------------------------------------

TEST(DataFolderAtStart, OddFoldersAreSaidByName)
{
    TestDir dir;
    dir.write(S("a file"), "x");
    QDir().mkpath(dir.file(S("empty folder")));
    QDir().mkpath(dir.file(S("used folder")));
    dir.write(S("used folder/quorvane.dat"), "1\r\n");
    const auto problem = [&](const char* name) {
        return DataFolderProblem(dir.file(S(name)), dir.file(S(name)) + S("/quorvane.dat"));
    };
    EXPECT_EQ(problem("a file"), S("the data folder %1 is a file, not a folder: give a folder with --data-dir. Nothing "
                                   "was changed")
                                     .arg(QDir::toNativeSeparators(dir.file(S("a file")))));
    EXPECT_EQ(problem("missing"), S("the data folder %1 does not exist").arg(dir.file(S("missing"))));
    EXPECT_EQ(problem("empty folder"), S("no options in %1 (run the program once, or 'quorvane-cli demo')")
                                           .arg(dir.file(S("empty folder"))));
    EXPECT_EQ(problem("used folder"), QString());
    // A folder named with a separator at its end is the same folder.
    EXPECT_EQ(DataFolderProblem(dir.file(S("used folder")) + S("/"), dir.file(S("used folder/quorvane.dat"))),
              QString());
}

// --- The report request ----------------------------------------------------------------------

// The address way composes the address only; the date file of the data folder is saved with the
// date as the form hands it on (a date longer than 99 characters, as a date file can hold, is
// cut), and no import follows, whatever the order says.
TEST(ReportRequestService, AddressWaySavesTheDateAsTheFormHandsItOn)
{
    TestDir dir;
    FakePaths paths;
    paths.data = dir.file(S("data folder with blanks \u00e9"));
    QDir().mkpath(paths.data);
    Options options = uploadOptions(dir.file(S("LoTWUpload.adi")), S("/usr/bin/tqsl"), dir.file(S("Dxbase.sqlite")));
    options.logins[0].password = EncodePassword(S("secret12"));
    options.logins[0].passwordField = PasswordMask(options.logins[0].password);
    ChoiceModel model(options);
    model.chooseDownloadSlot(1);
    model.chooseReportRange(1);
    model.choices().sinceDate = repeated('9', 120);
    RecordingMonitor monitor;
    FakeDesktop desktop;

    ReportRequestOrder order;
    order.way = ReportRequest::Way::Address;
    order.importAfter = true;
    const ReportRequestOutcome outcome = RunReportRequest(options, model, paths, monitor, desktop, order);

    EXPECT_TRUE(outcome.carriedOut);
    EXPECT_FALSE(outcome.downloaded);
    EXPECT_TRUE(outcome.dateSaved);
    EXPECT_FALSE(outcome.importRan);
    EXPECT_TRUE(outcome.address.contains(S("login=K1ABC"))) << outcome.address.toStdString();
    EXPECT_FALSE(outcome.address.contains(options.logins[0].password)) << outcome.address.toStdString();
    EXPECT_EQ(model.choices().sinceDate, repeated('9', 99));
    SavedQslDates saved;
    ASSERT_TRUE(LoadQslDateFile(paths.data + S("/quorvane2.dat"), saved));
    EXPECT_EQ(saved.date, repeated('9', 99));
    EXPECT_TRUE(desktop.urls.isEmpty());
}

TEST(ReportRequestService, AnUnsavedDateIsSaidOnlyWhenTheOrderSaysSo)
{
    TestDir dir;
    FakePaths paths;
    // The data folder is a file: the date file beneath it cannot be written.
    paths.data = dir.file(S("not a folder"));
    dir.write(S("not a folder"), "x");
    Options options = uploadOptions(dir.file(S("LoTWUpload.adi")), S("/usr/bin/tqsl"), dir.file(S("Dxbase.sqlite")));
    FakeDesktop desktop;
    for (bool say : {false, true}) {
        ChoiceModel model(options);
        model.chooseReportRange(0);
        RecordingMonitor monitor;
        ReportRequestOrder order;
        order.way = ReportRequest::Way::Address;
        order.sayUnsavedDate = say;
        const ReportRequestOutcome outcome = RunReportRequest(options, model, paths, monitor, desktop, order);
        EXPECT_TRUE(outcome.carriedOut);
        EXPECT_FALSE(outcome.dateSaved);
        EXPECT_EQ(monitor.messages, say ? QStringList{S("Could not save the QSL date file ") + paths.data
                                                      + S("/quorvane2.dat")}
                                        : QStringList());
    }
}

// --- Undo and backup -------------------------------------------------------------------------

UndoEntry keptRun(const char* kind, UndoJournal::State state, const char* time, const char* problem = "")
{
    UndoEntry entry;
    entry.kind = S(kind);
    entry.state = state;
    entry.time = QDateTime::fromString(S(time), Qt::ISODate);
    entry.problem = S(problem);
    return entry;
}

TEST(UndoService, TheLastRunTheLogTookIsChosenAndTheOthersSaid)
{
    using State = UndoJournal::State;
    const std::vector<UndoEntry> runs = {keptRun("upload", State::NotTaken, "2026-03-14T17:58:41"),
                                         keptRun("import", State::NotTaken, "2026-03-13T08:00:05"),
                                         keptRun("upload", State::Done, "2026-03-12T10:11:12")};
    QStringList passed;
    EXPECT_EQ(LastTakenRun(runs, &passed), 2u);
    EXPECT_EQ(passed, (QStringList{S("The upload of 2026-03-14 17:58:41 was interrupted before the log took its "
                                     "changes: nothing to undo there."),
                                   S("The import of 2026-03-13 08:00:05 was interrupted before the log took its "
                                     "changes: nothing to undo there.")}));
    EXPECT_EQ(UndoTexts::time(runs[2]), S("2026-03-12 10:11:12"));
}

TEST(UndoService, ADamagedOrUndoneRunStopsTheSearch)
{
    using State = UndoJournal::State;
    QStringList passed;
    EXPECT_EQ(LastTakenRun({keptRun("upload", State::NotTaken, "2026-03-14T17:58:41", "damaged"),
                            keptRun("upload", State::Done, "2026-03-12T10:11:12")},
                           &passed),
              0u);
    EXPECT_TRUE(passed.isEmpty());
    EXPECT_EQ(LastTakenRun({keptRun("upload", State::Undone, "2026-03-14T17:58:41")}, nullptr), 0u);
    EXPECT_EQ(LastTakenRun({}, &passed), 0u);
    EXPECT_EQ(LastTakenRun({keptRun("upload", State::NotTaken, "2026-03-14T17:58:41")}, &passed), 1u);
    EXPECT_EQ(passed.size(), 1);
}

TEST(BackupService, CopiesTheLogAndSaysWhere)
{
    TestDir dir;
    const QString log = dir.file(S("Dxbase.sqlite"));
    DemoData::writeLog(log, 5, 1);
    const QString data = dir.file(S("data"));
    QDir().mkpath(data);
    RecordingMonitor monitor;
    const QString copy = RunBackup(log, data, monitor);
    ASSERT_TRUE(QFileInfo(copy).isFile()) << copy.toStdString();
    EXPECT_TRUE(copy.startsWith(data + S("/backup/Dxbase-"))) << copy.toStdString();
    EXPECT_EQ(monitor.download, QStringList{S("The log is copied to ") + QDir::toNativeSeparators(copy)});
    EXPECT_EQ(BackupDoneText(copy), monitor.download.value(0));
    EXPECT_EQ(SqliteFixture::query(copy, S("SELECT COUNT(*) FROM [QSO-TAB]")), QStringList{S("5")});
}

} // namespace
