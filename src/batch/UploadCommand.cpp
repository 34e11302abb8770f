// quorvane-cli upload [--slot N] [--test] [--no-handoff]: the form's "Upload" without a window.

#include "BatchContext.h"

#include "options/ChoiceModel.h"
#include "upload/UploadRun.h"

namespace {

int upload(BatchContext& context, const BatchArguments& arguments)
{
    const int slot = arguments.integer("slot", 1);
    const bool test = arguments.isSet("test");
    const bool handOff = !arguments.isSet("no-handoff");

    ChoiceModel& model = *context.choiceModel;
    if (!model.hasSigningButton(slot))
        throw UsageError{QStringLiteral("signing slot %1 has no operator call").arg(slot)};
    model.chooseSigningSlot(slot);
    Choices choices = model.choices();
    choices.TestOnly = test;

    // The signed file TQSL writes beside the upload file, as the form shows it.
    const QString& adifPath = context.options.uploadAdifPath;
    const QString tq8Path = adifPath.left(adifPath.size() - 3) + QStringLiteral("tq8");

    UploadRun run(context.options, choices, tq8Path, *context.monitor, *context.desktop);
    run.setHandOff(handOff);
    return run.run() ? ExitOk : ExitFailed;
}

} // namespace

const BatchCommandSpec uploadCommand{
    .name = "upload",
    .summary = "the form's \"Upload\": marks the due QSOs as sent, writes the upload file, hands it to TQSL",
    .options =
        {
            {.name = "slot", .help = "the signing station, 1 to 5 (default 1)", .value = "N", .low = 1, .high = kSlotCount},
            {.name = "test", .help = "\"Test only - No ADIF file created\": show what would be uploaded, change nothing"},
            {.name = "no-handoff", .help = "open no browser and start no TQSL"},
        },
    .run = upload,
};
BATCH_COMMAND(uploadCommand);
