// quorvane-cli request [--slot N | --any-call] [--all | --since DATE] [--print-url]: the form's
// "#1 - Download fm LoTW" without a window.

#include "BatchContext.h"

#include "download/ReportRequest.h"
#include "options/ChoiceModel.h"

#include <cstdio>

namespace {

QString nextValue(const QStringList& arguments, qsizetype& i, const char* what)
{
    // An option in the value's place means the value was left out.
    if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1String("--")))
        throw UsageError{arguments.at(i) + QStringLiteral(" needs ") + QLatin1String(what)};
    return arguments.at(++i);
}

int request(BatchContext& context, const QStringList& arguments)
{
    int slot = 0; // 0: the download call the form starts with (slot 1)
    bool anyCall = false;
    int range = -1; // -1: the saved choice
    QString since;
    bool printUrl = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--slot")) {
            slot = integerArgument(arguments, i++, 1, kSlotCount);
        } else if (argument == QLatin1String("--any-call")) {
            anyCall = true;
        } else if (argument == QLatin1String("--all")) {
            if (range == 1)
                throw UsageError{QStringLiteral("give either --all or --since, not both")};
            range = 0;
        } else if (argument == QLatin1String("--since")) {
            if (range == 0)
                throw UsageError{QStringLiteral("give either --all or --since, not both")};
            since = nextValue(arguments, i, "a date (YYYY-MM-DD)");
            range = 1;
        } else if (argument == QLatin1String("--print-url")) {
            printUrl = true;
        } else {
            throw UsageError{QStringLiteral("unknown request option ") + argument};
        }
    }
    if (anyCall && slot != 0)
        throw UsageError{QStringLiteral("give either --slot or --any-call, not both")};

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
BATCH_COMMAND("request", request, true, "request [--slot N | --any-call] [--all | --since DATE] [--print-url]");
