#include "FormOperations.h"

#include "CBrindlewickView.h"
#include "download/ImportRun.h"
#include "download/ReportRequest.h"
#include "platform/EventMonitor.h"
#include "upload/UploadRun.h"

void ConnectFormOperations(CBrindlewickView& view)
{
    view.setUploadOperation([](OperationContext& ctx) {
        UploadRun run(ctx.options, ctx.choices.choices(), ctx.texts.tq8Path, ctx.monitor, ctx.desktop);
        run.setRecordsets(&ctx.qsoSet, &ctx.prefixSet);
        run.run();
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
