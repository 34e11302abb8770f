#include "FormOperations.h"

#include "CBrindlewickView.h"
#include "download/ImportRun.h"
#include "download/ReceiptCheck.h"
#include "download/ReportRequest.h"
#include "options/OptionsStore.h"
#include "options/StationDiscovery.h"
#include "platform/Strings.h"
#include "platform/Paths.h"
#include "platform/EventMonitor.h"
#include "undo/LogBackup.h"
#include "undo/UndoJournal.h"
#include "upload/UploadRun.h"

#include <QDir>
#include <QScopeGuard>

namespace {
// "#2 - LoTW Import", and the end of "#1 - Download fm LoTW" when it imports the report at once.
void importReport(OperationContext& ctx)
{
    ImportRun run(ctx.options, ctx.choices.choices(), ctx.paths, ctx.monitor);
    run.setProblemMemory(ctx.problems);
    const auto keep = qScopeGuard([&] { ctx.problems = run.result().problems; });
    run.OnLotwImport();
    const ImportResult result = run.result();
    // A run that reached its end saved LoTW's cursor (or the first QSL date) and "Download
    // ALL QSLs": the form shows them with the counters.
    if (result.savedDates)
        ImportRun::applySavedDates(ctx.choices.choices(), *result.savedDates);
    ctx.monitor.ShowCounters(result.counters);
}
} // namespace

// Each operation runs on the run's worker thread and opens its own database connections
// there, which it closes again when it ends.
void ConnectFormOperations(CBrindlewickView& view)
{
    view.setUploadOperation([](OperationContext& ctx) {
        // The upload file and the TQSL program are the paths the form shows, as it hands
        // them on (cut to their first 99 characters).
        Options options = ctx.options;
        options.uploadAdifPath = ctx.texts.uploadAdifPath;
        options.tqslExePath = ctx.texts.tqslExePath;
        UploadRun run(options, ctx.choices.choices(), ctx.monitor, ctx.desktop);
        run.setStationFile(StationDataPath(ctx.paths, DetectWindowsVersion(ctx.paths)));
        run.setUndoFolder(ctx.paths.dataFolder());
        run.setProblemMemory(ctx.problems);
        const auto keep = qScopeGuard([&] { ctx.problems = run.result().problems; });
        // A completed upload closes the document's QSO set as well, with its own two.
        ctx.closeBoundSet = run.run();
    });
    view.setReportRequestOperation([](OperationContext& ctx) {
        Choices& choices = ctx.choices.choices();
        ReportRequest request(ctx.options, choices, ctx.monitor, ctx.desktop);
        request.setWay(choices.BrowserInstead ? ReportRequest::Way::Browser : ReportRequest::Way::Download);
        request.setReportPath(DefaultReportAdifPath(ctx.paths));
        request.run(ctx.qslDateFilePath, ctx.choices.saved());
        if (request.downloaded() && choices.ImportAtOnce)
            importReport(ctx);
    });
    view.setVerifyOperation([](OperationContext& ctx) {
        ReceiptCheck check(ctx.options, ctx.choices.choices(), ctx.paths, ctx.monitor);
        check.setRedue(ctx.choices.choices().RedueMissing);
        check.setProblemMemory(ctx.problems);
        const auto keep = qScopeGuard([&] { ctx.problems = check.problemMemory(); });
        check.run();
        ctx.closeBoundSet = check.madeDue() > 0;
    });
    view.setUndoOperation([](OperationContext& ctx) {
        for (const UndoEntry& entry : ListUndoRuns(ctx.paths.dataFolder())) {
            if (entry.path != ctx.undoRun)
                continue;
            if (entry.canBeUndone())
                ctx.monitor.AddDownloadEvent(QStringLiteral("Undoing the %1 of %2 (%3)")
                                                 .arg(entry.kind, entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                                      Strings::counted(entry.rows, "row")));
            const UndoResult result = UndoRunAt(entry, ctx.options.sourceMdbPath, [&ctx] { ctx.monitor.PumpMessages(); },
                                                WaitNotice(ctx.monitor, false, ctx.options.sourceMdbPath));
            for (const QString& line : UndoResultLines(entry, result))
                ctx.monitor.AddDownloadEvent(line);
            if (!result.recordProblem.isEmpty())
                ctx.monitor.ShowMessage(result.recordProblem);
            ctx.closeBoundSet = true;
            return;
        }
        ctx.monitor.ShowMessage(QStringLiteral("The run to undo is no longer kept."));
    });
    view.setBackupOperation([](OperationContext& ctx) {
        const QString copy = BackUpLog(ctx.options.sourceMdbPath, ctx.paths.dataFolder(), &ctx.monitor);
        ctx.monitor.AddDownloadEvent(QStringLiteral("The log is copied to %1").arg(QDir::toNativeSeparators(copy)));
        ctx.monitor.ShowInformation(QStringLiteral("The log is copied to %1.").arg(QDir::toNativeSeparators(copy)));
    });
    view.setImportOperation(importReport);
}
