// "undo": takes the last upload or import back (or the run --run N names), from what the run
// kept before it changed the log; "undo --list" shows the kept runs. "backup": a consistent
// copy of the log in the data folder's "backup" folder.

#include "BatchContext.h"

#include "service/Operations.h"
#include "undo/UndoJournal.h"

namespace {

int runUndo(BatchContext& context, const BatchArguments& arguments)
{
    EventMonitor& monitor = *context.monitor;
    const std::vector<UndoEntry> runs = ListUndoRuns(context.dataDir);
    if (arguments.isSet("list")) {
        if (runs.empty())
            monitor.AddDownloadEvent(QStringLiteral("No run is kept to be undone."));
        for (size_t i = 0; i < runs.size(); ++i) {
            const UndoEntry& e = runs[i];
            monitor.AddDownloadEvent(QStringLiteral("%1  %2  %3  %4 rows  %5")
                                         .arg(i + 1)
                                         .arg(UndoTexts::time(e), e.kind)
                                         .arg(e.rows)
                                         .arg(UndoStateText(e)));
        }
        return ExitOk;
    }
    if (runs.empty()) {
        monitor.ShowMessage(QStringLiteral("No run is kept to be undone."));
        return ExitFailed;
    }
    size_t chosen = 0;
    if (arguments.isSet("run")) {
        const int number = arguments.integer("run", 1);
        if (number > int(runs.size())) {
            monitor.ShowMessage(QStringLiteral("There is no run %1: %2 runs are kept.").arg(number).arg(runs.size()));
            return ExitFailed;
        }
        chosen = size_t(number - 1);
    } else {
        // The last run the log took: runs it never took are passed over, and said.
        QStringList passed;
        chosen = LastTakenRun(runs, &passed);
        for (const QString& line : passed)
            monitor.AddDownloadEvent(line);
        if (chosen == runs.size()) {
            monitor.ShowMessage(QStringLiteral("No kept run holds changes of the log to undo: every one was "
                                               "interrupted before the log took it. Nothing was changed."));
            return ExitFailed;
        }
    }
    RunUndo(runs[chosen], context.options.sourceMdbPath, monitor);
    return ExitOk;
}

int runBackup(BatchContext& context, const BatchArguments&)
{
    RunBackup(context.options.sourceMdbPath, context.dataDir, *context.monitor);
    return ExitOk;
}

} // namespace

const BatchCommandSpec undoCommand{
    .name = "undo",
    .summary = "takes the last upload or import back (rows changed since by another program are left alone)",
    .options =
        {
            {.name = "list", .help = "list the kept runs, newest first, with their numbers"},
            {.name = "run", .help = "undo the run with this number of the list (default 1, the last run)", .value = "N",
             .low = 1, .high = UndoJournal::kUndoRunsKept},
        },
    .run = runUndo,
};
BATCH_COMMAND(undoCommand);

const BatchCommandSpec backupCommand{
    .name = "backup",
    .summary = "writes a consistent copy of the log into the data folder's backup folder",
    .options = {},
    .run = runBackup,
};
BATCH_COMMAND(backupCommand);
