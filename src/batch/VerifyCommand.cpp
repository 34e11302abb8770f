// quorvane-cli verify [--slot N | --any-call] [--redue]: the form's "Check LoTW" without a
// window: which QSOs of the kept uploads LoTW holds.

#include "BatchContext.h"
#include "CliServices.h"

#include "service/Operations.h"
#include "options/ChoiceModel.h"

namespace {

int verify(BatchContext& context, const BatchArguments& arguments)
{
    ChoiceModel& model = *context.choiceModel;
    if (arguments.isSet("any-call")) {
        model.chooseAnyCall();
    } else {
        const int chosen = arguments.integer("slot", 1);
        if (!model.hasDownloadButton(chosen))
            throw UsageError{QStringLiteral("download slot %1 has no call").arg(chosen)};
        model.chooseDownloadSlot(chosen);
    }
    auto* cli = dynamic_cast<CliMonitor*>(context.monitor.get());
    if (cli)
        cli->setTransferProgress(true);
    const bool ran =
        RunReceiptCheck(context.options, model.choices(), *context.paths, *context.monitor, arguments.isSet("redue")).ran;
    if (cli)
        cli->setTransferProgress(false);
    return ran ? ExitOk : ExitFailed;
}

} // namespace

const BatchCommandSpec verifyCommand{
    .name = "verify",
    .summary = "the form's \"Check LoTW\": which QSOs of the kept uploads LoTW has received",
    .options =
        {
            {.name = "slot", .help = "the download call whose QSOs LoTW is asked for, 1 to 5 (default 1)", .value = "N",
             .low = 1, .high = kSlotCount, .group = "call"},
            {.name = "any-call", .help = "\"- Any Call -\": the QSOs of every call of the login", .group = "call"},
            {.name = "redue", .help = "make the QSOs LoTW does not hold due again (kept for undo)"},
        },
    .run = verify,
};
BATCH_COMMAND(verifyCommand);
