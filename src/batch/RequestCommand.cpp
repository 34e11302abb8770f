// quorvane-cli request [--slot N | --any-call] [--all | --since DATE] [--print-url]: the form's
// "#1 - Download fm LoTW" without a window.

#include "BatchContext.h"

#include "download/ReportRequest.h"
#include "options/ChoiceModel.h"

#include <QDate>
#include <cstdio>

namespace {

int request(BatchContext& context, const BatchArguments& arguments)
{
    const int slot = arguments.integer("slot", 0); // 0: the download call the form starts with (slot 1)
    const bool anyCall = arguments.isSet("any-call");
    const int range = arguments.isSet("all") ? 0 : arguments.isSet("since") ? 1 : -1; // -1: the saved choice
    const QString since = arguments.value("since");
    const bool printUrl = arguments.isSet("print-url");

    ChoiceModel& model = *context.choiceModel;
    if (anyCall) {
        model.chooseAnyCall();
    } else {
        const int chosen = slot == 0 ? 1 : slot;
        if (!model.hasDownloadButton(chosen))
            throw UsageError{QStringLiteral("download slot %1 has no call").arg(chosen)};
        model.chooseDownloadSlot(chosen);
    }
    if (range >= 0)
        model.chooseReportRange(range);
    if (range == 1)
        model.choices().sinceDate = since;
    if (model.choices().ReportRange != 0 && model.choices().ReportRange != 1)
        throw UsageError{QStringLiteral("no report range saved: give --all or --since DATE")};

    ReportRequest request(context.options, model.choices(), *context.monitor, *context.desktop);
    request.setOpenInBrowser(!printUrl);
    const QString dateFile = context.paths->join(context.dataDir, QStringLiteral("quorvane2.dat"));
    const bool saved = request.run(dateFile, model.saved());
    if (printUrl) {
        std::fputs(request.address().toLatin1().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (!saved)
        context.monitor->ShowMessage(QStringLiteral("Could not save the QSL date file ") + dateFile);
    return saved && request.opened() ? ExitOk : ExitFailed;
}

} // namespace

// Needs the options (logins, calls, report path), which are loaded with the start-up checks.
const BatchCommandSpec requestCommand{
    .name = "request",
    .summary = "the form's \"#1 - Download fm LoTW\": opens the LoTW report address in the browser",
    .options =
        {
            {.name = "slot", .help = "the download call, 1 to 5 (default 1)", .value = "N", .low = 1, .high = kSlotCount,
             .group = "call"},
            {.name = "any-call", .help = "\"- Any Call -\": QSLs of every call of the login", .group = "call"},
            {.name = "all", .help = "all QSLs (default: the saved choice)", .group = "range"},
            {.name = "since",
             .help = "only QSLs since DATE (default: the saved choice and date)",
             .value = "DATE",
             .needs = "a date (YYYY-MM-DD)",
             .group = "range"},
            {.name = "print-url", .help = "print the address instead of opening it"},
        },
    .run = request,
};
BATCH_COMMAND(requestCommand);
