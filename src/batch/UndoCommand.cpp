// "undo": takes the last upload or import back (or the run --run N names), from what the run
// kept before it changed the log; "undo --list" shows the kept runs. "backup": a consistent
// copy of the log in the data folder's "backup" folder.

#include "BatchContext.h"

#include "platform/Errors.h"
#include "undo/LogBackup.h"
#include "undo/UndoJournal.h"

#include <QDir>

namespace {

QString stateText(const UndoEntry& entry)
{
    if (!entry.problem.isEmpty())
        return QStringLiteral("cannot be used: ") + entry.problem;
    switch (entry.state) {
    case UndoJournal::State::Done: return QStringLiteral("can be undone");
    case UndoJournal::State::Undone: return QStringLiteral("undone");
    case UndoJournal::State::Written: return QStringLiteral("interrupted; can be undone");
    }
    return QString();
}

int runUndo(BatchContext& context, const BatchArguments& arguments)
{
    const std::vector<UndoEntry> runs = ListUndoRuns(context.dataDir);
    if (arguments.isSet("list")) {
        if (runs.empty())
            context.monitor->AddDownloadEvent(QStringLiteral("No run is kept to be undone."));
        for (size_t i = 0; i < runs.size(); ++i) {
            const UndoEntry& e = runs[i];
            context.monitor->AddDownloadEvent(QStringLiteral("%1  %2  %3  %4 rows  %5")
                                                  .arg(i + 1)
                                                  .arg(e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.kind)
                                                  .arg(e.rows)
                                                  .arg(stateText(e)));
        }
        return ExitOk;
    }
    const int number = arguments.integer("run", 1);
    if (runs.empty()) {
        context.monitor->ShowMessage(QStringLiteral("No run is kept to be undone."));
        return ExitFailed;
    }
    if (number > int(runs.size())) {
        context.monitor->ShowMessage(QStringLiteral("There is no run %1: %2 runs are kept.").arg(number).arg(runs.size()));
        return ExitFailed;
    }
    const UndoEntry& entry = runs[size_t(number - 1)];
    context.monitor->AddDownloadEvent(QStringLiteral("Undoing the %1 of %2 (%3 rows)")
                                          .arg(entry.kind, entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                          .arg(entry.rows));
    const UndoResult result = UndoRunAt(entry, context.options.sourceMdbPath, [&] { context.monitor->PumpMessages(); });
    if (!result.locatorNote.isEmpty())
        context.monitor->AddDownloadEvent(result.locatorNote);
    context.monitor->AddDownloadEvent(QStringLiteral("Restored %1 rows as they were before the %2").arg(result.restored).arg(entry.kind));
    if (result.twins > 0)
        context.monitor->AddDownloadEvent(QStringLiteral("Warning: %1 of them are logged more than once (rows equal in every "
                                                         "column) and were restored together with their twins.")
                                              .arg(result.twins));
    if (result.leftAlone > 0) {
        context.monitor->AddDownloadEvent(
            QStringLiteral("%1 rows were changed since by another program and were left as they are:").arg(result.leftAlone));
        for (const QString& line : result.leftAloneLines)
            context.monitor->AddDownloadEvent(QStringLiteral("  ") + line);
    }
    return ExitOk;
}

int runBackup(BatchContext& context, const BatchArguments&)
{
    const QString copy = BackUpLog(context.options.sourceMdbPath, context.dataDir);
    context.monitor->AddDownloadEvent(QStringLiteral("The log is copied to %1").arg(QDir::toNativeSeparators(copy)));
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
