// quorvane-cli upload [--slot N] [--test] [--no-handoff]: the form's "Upload" without a window.

#include "BatchContext.h"

#include "options/ChoiceModel.h"
#include "upload/UploadRun.h"

#include <cstdio>

namespace {

int parseSlot(const QStringList& arguments, qsizetype& i)
{
    if (i + 1 >= arguments.size())
        throw UsageError{QStringLiteral("--slot needs a number from 1 to 5")};
    bool ok = false;
    const int slot = arguments.at(++i).toInt(&ok);
    if (!ok || slot < 1 || slot > kSlotCount)
        throw UsageError{QStringLiteral("--slot needs a number from 1 to 5, not ") + arguments.at(i)};
    return slot;
}

int upload(BatchContext& context, const QStringList& arguments)
{
    int slot = 1;
    bool test = false;
    bool handOff = true;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--slot"))
            slot = parseSlot(arguments, i);
        else if (argument == QLatin1String("--test"))
            test = true;
        else if (argument == QLatin1String("--no-handoff"))
            handOff = false;
        else
            throw UsageError{QStringLiteral("unknown upload option ") + argument};
    }

    ChoiceModel model(context.options);
    model.applySaved(context.dates);
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
    const bool completed = run.run();

    const QString counters = QStringLiteral("QSOs Read-in: %1  ADIF Output: %2")
                                 .arg(EventMonitor::FormatCounter(run.readInCount()),
                                      EventMonitor::FormatCounter(run.adifOutCount()));
    std::fputs(counters.toLatin1().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return completed ? ExitOk : ExitFailed;
}

} // namespace

BATCH_COMMAND("upload", upload, true, "upload [--slot N] [--test] [--no-handoff]");
