// "import": what the form's "#2 - LoTW Import" button does, on the data folder's report
// "lotwreport.adi", with the saved choices unless the options say otherwise.

#include "BatchContext.h"
#include "service/Operations.h"

namespace {

int runImport(BatchContext& context, const BatchArguments& arguments)
{
    // The choices' indexes are the form's: scope 0 all, 1 unconfirmed; overwrite 0 yes, 1 no.
    if (arguments.isSet("scope"))
        context.choiceModel->chooseImportScope(arguments.choice("scope", 0));
    if (arguments.isSet("overwrite"))
        context.choiceModel->chooseOverwrite(0);
    if (arguments.isSet("keep"))
        context.choiceModel->chooseOverwrite(1);
    return RunImport(context.options, context.choices(), *context.paths, *context.monitor, &context.result) ? ExitOk
                                                                                                            : ExitFailed;
}

} // namespace

const BatchCommandSpec importCommand{
    .name = "import",
    .summary = "the form's \"#2 - LoTW Import\": reads the LoTW report, confirms the QSOs it holds",
    .options =
        {
            {.name = "scope",
             .help = "all records, or only QSOs not LoTW confirmed yet (default: the saved choice)",
             .choices = {"all", "unconfirmed"}},
            {.name = "overwrite", .help = "overwrite IOTA and grid with the LoTW values", .group = "overwrite"},
            {.name = "keep", .help = "do not overwrite IOTA and grid (default: the saved choice)", .group = "overwrite"},
        },
    .run = runImport,
};
BATCH_COMMAND(importCommand);
