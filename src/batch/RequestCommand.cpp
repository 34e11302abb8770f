// quorvane-cli request [--slot N | --any-call] [--all | --since DATE] [--import]
// [--browser | --print-url] [--show-password]: the form's "#1 - Download fm LoTW" without a
// window.

#include "BatchContext.h"
#include "CliServices.h"

#include "options/ChoiceModel.h"
#include "service/Operations.h"

#include <cstdio>

namespace {

int request(BatchContext& context, const BatchArguments& arguments)
{
    const int slot = arguments.integer("slot", 0); // 0: the download call the form starts with (slot 1)
    const bool anyCall = arguments.isSet("any-call");
    const int range = arguments.isSet("all") ? 0 : arguments.isSet("since") ? 1 : -1; // -1: the saved choice
    const QString since = arguments.value("since");
    const bool printUrl = arguments.isSet("print-url");
    const bool browser = arguments.isSet("browser");
    const bool importAfter = arguments.isSet("import");
    if (arguments.isSet("show-password") && !printUrl)
        throw UsageError{QStringLiteral("--show-password goes with --print-url")};
    if (importAfter && (printUrl || browser))
        throw UsageError{QStringLiteral("--import goes with the download, not with --browser or --print-url")};

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

    ReportRequestOrder order;
    order.way = printUrl ? ReportRequest::Way::Address : browser ? ReportRequest::Way::Browser : ReportRequest::Way::Download;
    order.importAfter = importAfter;
    order.sayUnsavedDate = true;
    order.showPassword = arguments.isSet("show-password");
    auto* cli = dynamic_cast<CliMonitor*>(context.monitor.get());
    if (cli)
        cli->setTransferProgress(true);
    const ReportRequestOutcome outcome =
        RunReportRequest(context.options, model, *context.paths, *context.monitor, *context.desktop, order, &context.result);
    if (cli)
        cli->setTransferProgress(false);
    if (printUrl) {
        std::fputs(outcome.address.toLatin1().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    if (!outcome.carriedOut)
        return ExitFailed;
    if (outcome.importRan)
        return outcome.imported && outcome.dateSaved ? ExitOk : ExitFailed;
    return outcome.dateSaved ? ExitOk : ExitFailed;
}

bool IsSince(const QString& value)
{
    return IsReportSince(value);
}

} // namespace

// Needs the options (logins, calls, report path), which are loaded with the start-up checks.
const BatchCommandSpec requestCommand{
    .name = "request",
    .summary = "the form's \"#1 - Download fm LoTW\": fetches the LoTW QSL report as lotwreport.adi",
    .options =
        {
            {.name = "slot", .help = "the download call, 1 to 5 (default 1)", .value = "N", .low = 1, .high = kSlotCount,
             .group = "call"},
            {.name = "any-call", .help = "\"- Any Call -\": QSLs of every call of the login", .group = "call"},
            {.name = "all", .help = "all QSLs (default: the saved choice)", .group = "range"},
            {.name = "since",
             .help = "only QSLs since DATE (default: the saved choice and date)",
             .value = "DATE",
             .needs = "a date (YYYY-MM-DD) or a date and time (\"YYYY-MM-DD HH:MM:SS\")",
             .check = IsSince,
             .group = "range"},
            {.name = "import", .help = "import the report as soon as it is saved"},
            {.name = "browser", .help = "open the report address in the browser instead", .group = "way"},
            {.name = "print-url", .help = "print the address (password masked) instead", .group = "way"},
            {.name = "show-password", .help = "with --print-url: print the password as it stands"},
        },
    .run = request,
};
BATCH_COMMAND(requestCommand);
