// quorvane-cli upload [--slot N] [--test] [--no-handoff] [--tqsl-upload]: the form's "Upload"
// without a window. It waits for TQSL and succeeds only when TQSL signed the file.

#include "BatchContext.h"

#include "options/ChoiceModel.h"
#include "options/StationDiscovery.h"
#include "upload/UploadRun.h"

namespace {

int upload(BatchContext& context, const BatchArguments& arguments)
{
    const int slot = arguments.integer("slot", 1);
    const bool test = arguments.isSet("test");
    const bool handOff = !arguments.isSet("no-handoff");
    const bool tqslUpload = arguments.isSet("tqsl-upload");

    ChoiceModel& model = *context.choiceModel;
    if (!model.hasSigningButton(slot))
        throw UsageError{QStringLiteral("signing slot %1 has no operator call").arg(slot)};
    model.chooseSigningSlot(slot);
    Choices choices = model.choices();
    choices.TestOnly = test;
    choices.TqslUpload = tqslUpload;

    // The signed file TQSL writes beside the upload file, as the form shows it.
    const QString& adifPath = context.options.uploadAdifPath;
    const QString tq8Path = adifPath.left(adifPath.size() - 3) + QStringLiteral("tq8");

    UploadRun run(context.options, choices, tq8Path, *context.monitor, *context.desktop);
    run.setHandOff(handOff);
    run.setStationFile(StationDataPath(*context.paths, DetectWindowsVersion(*context.paths)));
    run.setUndoFolder(context.dataDir);
    return run.run() ? ExitOk : ExitFailed;
}

} // namespace

const BatchCommandSpec uploadCommand{
    .name = "upload",
    .summary = "the form's \"Upload\": writes the due QSOs to the upload file, has TQSL sign it, marks them sent",
    .options =
        {
            {.name = "slot", .help = "the signing station, 1 to 5 (default 1)", .value = "N", .low = 1, .high = kSlotCount},
            {.name = "test", .help = "\"Test only - No ADIF file created\": show what would be uploaded, change nothing"},
            {.name = "no-handoff", .help = "open no browser and start no TQSL"},
            {.name = "tqsl-upload", .help = "TQSL uploads the signed file to LoTW itself (no upload page)"},
        },
    .run = upload,
};
BATCH_COMMAND(uploadCommand);
