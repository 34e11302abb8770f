// quorvane-cli: the form's operations without a window, on the options and saved choices of
// the data folder.

#include "BatchContext.h"
#include "CliServices.h"
#include "logdb/Connection.h"
#include "options/OptionsStore.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Redaction.h"
#include "platform/Strings.h"
#include "platform/TqslLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <map>

namespace {

struct Registered
{
    BatchCommand command;
    bool needsLog;
    QString usage;
};

std::map<QString, Registered>& registry()
{
    static std::map<QString, Registered> commands;
    return commands;
}

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLatin1() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void printErr(const QString& text)
{
    print(stderr, text);
}

// The usage goes to stdout when asked for (--help), to stderr after a usage error.
void printUsage(std::FILE* stream)
{
    print(stream, QStringLiteral("usage: quorvane-cli [--data-dir DIR] COMMAND [OPTIONS]"));
    print(stream, QStringLiteral("commands:"));
    for (const auto& [name, entry] : registry())
        print(stream, QStringLiteral("  ") + entry.usage);
}

// The start-up checks of the program: the engine the log needs, then the log's version.
bool checkLog(const Options& options, EventMonitor& monitor)
{
    const QString missing = CheckEngineAvailable(options.sourceMdbPath);
    if (!missing.isEmpty()) {
        monitor.ShowMessage(missing);
        return false;
    }
    try {
        std::shared_ptr<Connection> db = Connection::open(options.sourceMdbPath);
        if (!CheckLogVersion(*db)) {
            monitor.ShowMessage(Strings::text(Strings::VersionError));
            return false;
        }
    } catch (const CDbException& e) {
        monitor.ShowMessage(e.description());
        return false;
    }
    return true;
}

} // namespace

BatchCommandRegistration::BatchCommandRegistration(const char* name, BatchCommand command, bool needsLog,
                                                   const char* usage)
{
    registry()[QString::fromLatin1(name)] = Registered{command, needsLog, QString::fromLatin1(usage)};
}

int integerArgument(const QStringList& arguments, qsizetype index, int low, int high)
{
    bool ok = false;
    const int value = index + 1 < arguments.size() ? arguments.at(index + 1).toInt(&ok) : 0;
    if (!ok || value < low || value > high)
        throw UsageError{QStringLiteral("%1 needs a number from %2 to %3").arg(arguments.at(index)).arg(low).arg(high)};
    return value;
}

int main(int argc, char** argv)
{
    InstallPasswordMaskingMessageHandler();
    QCoreApplication app(argc, argv);
    // Decoded as the system gives them (on Windows from the wide command line, so that a
    // folder name outside the ANSI code page survives).
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    QString dataDir; // empty: the data folder of this machine (QUORVANE_DATA_DIR or the default)
    if (!arguments.isEmpty() && arguments.first() == QLatin1String("--data-dir")) {
        if (arguments.size() < 2 || arguments.at(1).isEmpty()) {
            printErr(QStringLiteral("quorvane-cli: --data-dir needs a folder"));
            printUsage(stderr);
            return ExitUsage;
        }
        dataDir = QDir(arguments.at(1)).absolutePath();
        arguments.remove(0, 2);
    }
    if (arguments.isEmpty() || arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h")) {
        printUsage(arguments.isEmpty() ? stderr : stdout);
        return arguments.isEmpty() ? ExitUsage : ExitOk;
    }
    const QString name = arguments.takeFirst();
    const auto found = registry().find(name);
    if (found == registry().end()) {
        printErr(QStringLiteral("quorvane-cli: unknown command '%1'").arg(name));
        printUsage(stderr);
        return ExitUsage;
    }

    BatchContext context;
    context.paths = std::make_unique<SystemPaths>(dataDir);
    context.dataDir = context.paths->dataFolder();
    context.desktop = std::make_unique<CliDesktop>();
    auto monitor = std::make_unique<CliMonitor>();
    CliMonitor* cliMonitor = monitor.get();
    context.monitor = std::move(monitor);

    if (found->second.needsLog) {
        if (!QFileInfo(context.dataDir).isDir()) {
            printErr(QStringLiteral("quorvane-cli: the data folder %1 does not exist").arg(context.dataDir));
            return ExitFailed;
        }
        if (!QFile::exists(OptionsFilePath(*context.paths))) {
            printErr(QStringLiteral("quorvane-cli: no options in %1 (run the program once, or 'quorvane-cli demo')")
                         .arg(context.dataDir));
            return ExitFailed;
        }
        LoadOptionsForBatch(*context.paths, IniProfile(), SystemTqslLocator(), context.options);
        LoadQslDateFile(QslDateFilePath(*context.paths), context.dates);
        context.choiceModel = std::make_unique<ChoiceModel>(context.options);
        context.choiceModel->applySaved(context.dates);
        if (!checkLog(context.options, *context.monitor))
            return ExitFailed;
    }

    int status = ExitFailed;
    try {
        status = found->second.command(context, arguments);
    } catch (const UsageError& e) {
        printErr(QStringLiteral("quorvane-cli: ") + e.text);
        printErr(QStringLiteral("usage: quorvane-cli [--data-dir DIR] ") + found->second.usage);
        return ExitUsage;
    } catch (const CDbException& e) {
        context.monitor->ShowMessage(e.description());
        status = ExitFailed;
    } catch (const CFileException& e) {
        context.monitor->ShowMessage(e.description());
        status = ExitFailed;
    }
    std::fflush(stdout);
    cliMonitor->endProgress();
    const QString counters = cliMonitor->counterLine();
    if (!counters.isEmpty()) {
        const QByteArray bytes = counters.toLatin1() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    }
    return status;
}
