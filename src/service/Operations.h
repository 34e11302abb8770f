#pragma once

#include "download/ReportRequest.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "platform/ProblemLog.h"
#include "upload/UploadRun.h"

#include <QString>
#include <QStringList>
#include <vector>

class ChoiceModel;
class Desktop;
class EventMonitor;
class Paths;
struct UndoEntry;

// The operations as both front ends start them: the window's buttons and menu commands and
// the batch command's commands. A front end turns its inputs (the form's controls, the command
// line) into a request and shows what the operation reports; what an operation is given, where
// its files lie and what it says is settled here, once.
//
// Where a run takes result: what the front end's earlier runs left (its problems) goes in, and
// what this run leaves (its counters, its problems) comes out, however the run ends.

// "Upload": what the run is given.
struct UploadRequest
{
    // The options; their paths whole, as in the options file.
    Options options;
    Choices choices;
    bool handOff = true;   // TQSL signs the file (false: the QSOs are marked unsigned)
    bool signAgain = false;
    QString passphrase;    // empty: TQSL asks for it
    int tqslTimeLimit = UploadRun::kDefaultTqslTimeLimit;
};

// The request for the form's options and choices (paths whole, as FormText says).
UploadRequest MakeUploadRequest(const Options& options, const Choices& choices);

// Runs the upload with TQSL's station file of this machine and the data folder's kept runs.
// True when it ran to its end (UploadRun::run).
bool RunUpload(const UploadRequest& request, const Paths& paths, EventMonitor& monitor, Desktop& desktop,
               RunResult* result = nullptr);

// "#1 - Download fm LoTW": how the report is asked for and what follows.
struct ReportRequestOrder
{
    ReportRequest::Way way = ReportRequest::Way::Download;
    // The report is imported as soon as it is downloaded (the form's "Import at once").
    bool importAfter = false;
    // A date file that could not be saved is said (the window, like the form it follows, says
    // nothing: the next request saves it again).
    bool sayUnsavedDate = false;
    // The address as it is returned: with the password as it stands instead of masked.
    bool showPassword = false;
};

struct ReportRequestOutcome
{
    // Downloaded, opened in the browser, or (the address way) composed.
    bool carriedOut = false;
    bool downloaded = false;
    bool dateSaved = false;
    // Whether an import followed, and whether it ran to its end.
    bool importRan = false;
    bool imported = false;
    // The report's address as it may be shown (the address way prints it).
    QString address;
};

// Runs the request on the choices of model (the date as the form hands it on), saves the date
// file of the data folder, and imports the downloaded report when the order says so (result:
// the import's).
ReportRequestOutcome RunReportRequest(const Options& options, ChoiceModel& model, const Paths& paths,
                                      EventMonitor& monitor, Desktop& desktop, const ReportRequestOrder& order,
                                      RunResult* result = nullptr);

// "#2 - LoTW Import" of the data folder's report. LoTW's cursor and "Download ALL QSLs", when
// the run saved them, are put on choices. True when it ran to its end.
bool RunImport(const Options& options, Choices& choices, const Paths& paths, EventMonitor& monitor,
               RunResult* result = nullptr);

// "Check LoTW": which QSOs of the kept uploads LoTW holds; with redue, those it does not hold
// become due again.
struct ReceiptCheckOutcome
{
    bool ran = false;  // ran to its end
    long madeDue = 0;  // QSOs made due again
};
// problems: what the front end's earlier runs left goes in, what the check leaves comes out.
ReceiptCheckOutcome RunReceiptCheck(const Options& options, const Choices& choices, const Paths& paths,
                                    EventMonitor& monitor, bool redue, ProblemMemory* problems = nullptr);

// Undo: the kept runs as the operator sees them.
namespace UndoTexts {
// When a kept run was made, as lists and questions show it: "2026-03-14 17:58:41".
QString time(const UndoEntry& entry);
// A run passed over because the log never took it.
QString interrupted(const UndoEntry& entry);
} // namespace UndoTexts

// The kept run an undo takes by default: the newest the log took. The runs before it that the
// log never took are passed over, each with its line in passed. runs.size() when there is none.
size_t LastTakenRun(const std::vector<UndoEntry>& runs, QStringList* passed);

// Takes a kept run back on the log, saying what it came to in the download monitor (and a
// message when the kept run could not be marked undone).
void RunUndo(const UndoEntry& entry, const QString& logPath, EventMonitor& monitor);

// Backup: writes a consistent copy of the log into the data folder's backup folder, says where
// in the download monitor and returns the copy's path.
QString RunBackup(const QString& logPath, const QString& dataFolder, EventMonitor& monitor);
// "The log is copied to <path>" (native separators).
QString BackupDoneText(const QString& copy);
