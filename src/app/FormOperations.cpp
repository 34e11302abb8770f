#include "FormOperations.h"

#include "CBrindlewickView.h"
#include "download/ImportRun.h"
#include "download/ReportRequest.h"
#include "options/StationDiscovery.h"
#include "platform/Paths.h"
#include "platform/EventMonitor.h"
#include "upload/UploadRun.h"

// Each operation runs on the run's worker thread and opens its own database connections
// there, which it closes again when it ends.
void ConnectFormOperations(CBrindlewickView& view)
{
    view.setUploadOperation([](OperationContext& ctx) {
        // The upload file and the TQSL program are the paths the form shows, as it hands
        // them on (cut to their first 99 characters), like the signed file's path.
        Options options = ctx.options;
        options.uploadAdifPath = ctx.texts.uploadAdifPath;
        options.tqslExePath = ctx.texts.tqslExePath;
        UploadRun run(options, ctx.choices.choices(), ctx.texts.tq8Path, ctx.monitor, ctx.desktop);
        run.setStationFile(StationDataPath(ctx.paths, DetectWindowsVersion(ctx.paths)));
        run.setUndoFolder(ctx.paths.dataFolder());
        // A completed upload closes the document's QSO set as well, with its own two.
        ctx.closeBoundSet = run.run();
    });
    view.setReportRequestOperation([](OperationContext& ctx) {
        ReportRequest request(ctx.options, ctx.choices.choices(), ctx.monitor, ctx.desktop);
        request.run(ctx.qslDateFilePath, ctx.choices.saved());
    });
    view.setImportOperation([](OperationContext& ctx) {
        ImportRun run(ctx.options, ctx.choices.choices(), ctx.paths, ctx.monitor);
        run.OnLotwImport();
        // The run may have put the first QSL date and "Download ALL QSLs" into the choices.
        ctx.monitor.ShowCounters();
    });
}
