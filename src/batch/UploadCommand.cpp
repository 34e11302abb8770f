// quorvane-cli upload [--slot N] [--test] [--no-handoff] [--tqsl-upload]: the form's "Upload"
// without a window. It waits for TQSL and succeeds only when TQSL signed the file.

#include "BatchContext.h"

#include "options/ChoiceModel.h"
#include "options/StationDiscovery.h"
#include "upload/UploadRun.h"

namespace {

int upload(BatchContext& context, const QStringList& arguments)
{
    int slot = 1;
    bool test = false;
    bool handOff = true;
    bool tqslUpload = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--slot"))
            slot = integerArgument(arguments, i++, 1, kSlotCount);
        else if (argument == QLatin1String("--test"))
            test = true;
        else if (argument == QLatin1String("--no-handoff"))
            handOff = false;
        else if (argument == QLatin1String("--tqsl-upload"))
            tqslUpload = true;
        else
            throw UsageError{QStringLiteral("unknown upload option ") + argument};
    }

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
    return run.run() ? ExitOk : ExitFailed;
}

} // namespace

BATCH_COMMAND("upload", upload, true, "upload [--slot N] [--test] [--no-handoff] [--tqsl-upload]");
