// "import": what the form's "#2 - LoTW Import" button does, on the data folder's report
// "lotwreport.adi", with the saved choices unless the options say otherwise.

#include "BatchContext.h"
#include "download/ImportRun.h"

namespace {

int runImport(BatchContext& context, const QStringList& arguments)
{
    if (arguments.contains(QLatin1String("--overwrite")) && arguments.contains(QLatin1String("--keep")))
        throw UsageError{QStringLiteral("give either --overwrite or --keep, not both")};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--scope")) {
            const QString scope = i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
            if (scope == QLatin1String("all"))
                context.choiceModel->chooseImportScope(0);
            else if (scope == QLatin1String("unconfirmed"))
                context.choiceModel->chooseImportScope(1);
            else
                throw UsageError{QStringLiteral("--scope needs 'all' or 'unconfirmed'")};
            ++i;
        } else if (argument == QLatin1String("--overwrite")) {
            context.choiceModel->chooseOverwrite(0);
        } else if (argument == QLatin1String("--keep")) {
            context.choiceModel->chooseOverwrite(1);
        } else {
            throw UsageError{QStringLiteral("unknown option '%1'").arg(argument)};
        }
    }
    ImportRun run(context.options, context.choices(), *context.paths, *context.monitor);
    return run.OnLotwImport() ? ExitOk : ExitFailed;
}

} // namespace

BATCH_COMMAND("import", runImport, true, "import [--scope all|unconfirmed] [--overwrite|--keep]");
