#include "FormOperations.h"

#include "CBrindlewickView.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"
#include "service/Operations.h"
#include "undo/UndoJournal.h"

// Each operation runs on the run's worker thread and opens its own database connections
// there, which it closes again when it ends. The form's part is only to turn what it shows into
// a request and to show what came of it.
void ConnectFormOperations(CBrindlewickView& view)
{
    view.setUploadOperation([](OperationContext& ctx) {
        // The upload file and the TQSL program are the paths the form shows.
        Options options = ctx.options;
        options.uploadAdifPath = ctx.texts.uploadAdifPath;
        options.tqslExePath = ctx.texts.tqslExePath;
        // A completed upload closes the document's QSO set as well, with its own two.
        ctx.closeBoundSet = RunUpload(MakeUploadRequest(options, ctx.choices.choices()), ctx.paths, ctx.monitor,
                                      ctx.desktop, &ctx.result);
    });
    view.setReportRequestOperation([](OperationContext& ctx) {
        const Choices& choices = ctx.choices.choices();
        ReportRequestOrder order;
        order.way = choices.BrowserInstead ? ReportRequest::Way::Browser : ReportRequest::Way::Download;
        order.importAfter = choices.ImportAtOnce;
        const ReportRequestOutcome outcome =
            RunReportRequest(ctx.options, ctx.choices, ctx.paths, ctx.monitor, ctx.desktop, order, &ctx.result);
        // The import's counters, and LoTW's cursor and "Download ALL QSLs" it may have put on the
        // choices, are shown.
        if (outcome.importRan)
            ctx.monitor.ShowCounters(ctx.result.counters);
    });
    view.setVerifyOperation([](OperationContext& ctx) {
        const Choices& choices = ctx.choices.choices();
        ctx.closeBoundSet =
            RunReceiptCheck(ctx.options, choices, ctx.paths, ctx.monitor, choices.RedueMissing, &ctx.result.problems)
                .madeDue
            > 0;
    });
    view.setUndoOperation([](OperationContext& ctx) {
        for (const UndoEntry& entry : ListUndoRuns(ctx.paths.dataFolder())) {
            if (entry.path != ctx.undoRun)
                continue;
            RunUndo(entry, ctx.options.sourceMdbPath, ctx.monitor);
            ctx.closeBoundSet = true;
            return;
        }
        ctx.monitor.ShowMessage(QStringLiteral("The run to undo is no longer kept."));
    });
    view.setBackupOperation([](OperationContext& ctx) {
        const QString copy = RunBackup(ctx.options.sourceMdbPath, ctx.paths.dataFolder(), ctx.monitor);
        ctx.monitor.ShowInformation(BackupDoneText(copy) + QLatin1Char('.'));
    });
    view.setImportOperation([](OperationContext& ctx) {
        RunImport(ctx.options, ctx.choices.choices(), ctx.paths, ctx.monitor, &ctx.result);
        // The counters, and the first QSL date and "Download ALL QSLs" the run may have put on
        // the choices, are shown.
        ctx.monitor.ShowCounters(ctx.result.counters);
    });
}
