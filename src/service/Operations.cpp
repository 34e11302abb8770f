#include "Operations.h"

#include "FormText.h"
#include "download/ImportRun.h"
#include "download/ReceiptCheck.h"
#include "logdb/Connection.h"
#include "options/ChoiceModel.h"
#include "options/OptionsStore.h"
#include "options/StationDiscovery.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "undo/LogBackup.h"
#include "undo/UndoJournal.h"

#include <QDir>
#include <QScopeGuard>

UploadRequest MakeUploadRequest(const Options& options, const Choices& choices)
{
    UploadRequest request;
    request.options = options;
    request.choices = choices;
    return request;
}

bool RunUpload(const UploadRequest& request, const Paths& paths, EventMonitor& monitor, Desktop& desktop,
               RunResult* result)
{
    UploadRun run(request.options, request.choices, monitor, desktop);
    if (result)
        run.setProblemMemory(result->problems);
    const auto left = qScopeGuard([&] {
        if (result)
            *result = run.result();
    });
    run.setHandOff(request.handOff);
    run.setStationFile(StationDataPath(paths, DetectWindowsVersion(paths)));
    run.setUndoFolder(paths.dataFolder());
    run.setSignAgain(request.signAgain);
    run.setTqslPassphrase(request.passphrase);
    run.setTqslTimeLimit(request.tqslTimeLimit);
    return run.run();
}

ReportRequestOutcome RunReportRequest(const Options& options, ChoiceModel& model, const Paths& paths,
                                      EventMonitor& monitor, Desktop& desktop, const ReportRequestOrder& order,
                                      RunResult* result)
{
    Choices& choices = model.choices();
    choices.sinceDate = FormText::handedOn(choices.sinceDate);
    ReportRequest request(options, choices, monitor, desktop);
    request.setWay(order.way);
    request.setReportPath(DefaultReportAdifPath(paths));
    const QString dateFile = QslDateFilePath(paths);

    ReportRequestOutcome outcome;
    outcome.dateSaved = request.run(dateFile, model.saved());
    outcome.downloaded = request.downloaded();
    outcome.carriedOut = order.way == ReportRequest::Way::Address
                         || (order.way == ReportRequest::Way::Browser ? request.opened() : request.downloaded());
    if (order.way == ReportRequest::Way::Address)
        outcome.address = request.shownAddress(order.showPassword);
    if (!outcome.carriedOut)
        return outcome;
    if (!outcome.dateSaved && order.sayUnsavedDate)
        monitor.ShowMessage(QStringLiteral("Could not save the QSL date file ") + dateFile);
    if (order.importAfter && outcome.downloaded) {
        outcome.importRan = true;
        outcome.imported = RunImport(options, choices, paths, monitor, result);
    }
    return outcome;
}

bool RunImport(const Options& options, Choices& choices, const Paths& paths, EventMonitor& monitor, RunResult* result)
{
    ImportRun run(options, choices, paths, monitor);
    if (result)
        run.setProblemMemory(result->problems);
    const auto left = qScopeGuard([&] {
        if (result)
            *result = run.result();
    });
    const bool ranToEnd = run.OnLotwImport();
    if (const std::optional<SavedQslDates> dates = run.result().savedDates)
        ImportRun::applySavedDates(choices, *dates);
    return ranToEnd;
}

ReceiptCheckOutcome RunReceiptCheck(const Options& options, const Choices& choices, const Paths& paths,
                                    EventMonitor& monitor, bool redue, ProblemMemory* problems)
{
    ReceiptCheck check(options, choices, paths, monitor);
    check.setRedue(redue);
    if (problems)
        check.setProblemMemory(*problems);
    const auto left = qScopeGuard([&] {
        if (problems)
            *problems = check.problemMemory();
    });
    ReceiptCheckOutcome outcome;
    outcome.ran = check.run();
    outcome.madeDue = check.madeDue();
    return outcome;
}

namespace UndoTexts {

QString time(const UndoEntry& entry)
{
    return entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString interrupted(const UndoEntry& entry)
{
    return QStringLiteral("The %1 of %2 was interrupted before the log took its changes: nothing to undo there.")
        .arg(entry.kind, time(entry));
}

} // namespace UndoTexts

size_t LastTakenRun(const std::vector<UndoEntry>& runs, QStringList* passed)
{
    size_t at = 0;
    while (at < runs.size() && runs[at].problem.isEmpty() && runs[at].state == UndoJournal::State::NotTaken) {
        if (passed)
            passed->append(UndoTexts::interrupted(runs[at]));
        ++at;
    }
    return at;
}

void RunUndo(const UndoEntry& entry, const QString& logPath, EventMonitor& monitor)
{
    if (entry.canBeUndone())
        monitor.AddDownloadEvent(QStringLiteral("Undoing the %1 of %2 (%3)")
                                     .arg(entry.kind, UndoTexts::time(entry), Strings::counted(entry.rows, "row")));
    const UndoResult result =
        UndoRunAt(entry, logPath, [&monitor] { monitor.PumpMessages(); }, WaitNotice(monitor, false, logPath));
    for (const QString& line : UndoResultLines(entry, result))
        monitor.AddDownloadEvent(line);
    if (!result.recordProblem.isEmpty())
        monitor.ShowMessage(result.recordProblem);
}

QString RunBackup(const QString& logPath, const QString& dataFolder, EventMonitor& monitor)
{
    const QString copy = BackUpLog(logPath, dataFolder, &monitor);
    monitor.AddDownloadEvent(BackupDoneText(copy));
    return copy;
}

QString BackupDoneText(const QString& copy)
{
    return QStringLiteral("The log is copied to %1").arg(QDir::toNativeSeparators(copy));
}
