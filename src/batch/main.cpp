// quorvane-cli: the form's operations without a window, on the options and saved choices of
// the data folder.

#include "BatchContext.h"
#include "CliServices.h"
#include "options/OptionsStore.h"
#include "platform/Errors.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Redaction.h"
#include "platform/RunLock.h"
#include "platform/TqslLocator.h"
#include "platform/Version.h"
#include "service/StartupCheck.h"
#include "undo/UndoJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace {

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void printErr(const QString& text)
{
    print(stderr, text);
}

void writeText(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// The start-up checks of the program: the engine the log needs, then the log's version.
bool checkLog(const Options& options, EventMonitor& monitor)
{
    const LogCheck check = CheckLogAtStart(options.sourceMdbPath, &monitor);
    if (check.usable())
        return true;
    monitor.ShowMessage(check.result == LogCheck::Result::Busy ? check.text + QStringLiteral(" Nothing was changed.")
                                                                : check.text);
    return false;
}

} // namespace

// What the checks before and around a command throw (the command's own failures are shown
// below) ends the program with a word and status 1, as the window's runs end, never through
// the runtime's abort.
int main(int argc, char** argv)
try {
    InstallPasswordMaskingMessageHandler();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-cli"));
    QCoreApplication::setApplicationVersion(Version::number());
    // Decoded as the system gives them (on Windows from the wide command line, so that a
    // folder name outside the ANSI code page survives).
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    // The command line is read whole, and every value checked, before the data folder is.
    BatchCommandLine line = ParseBatchCommandLine(arguments);
    if (line.exitCode >= 0) {
        writeText(stdout, line.out);
        writeText(stderr, line.err);
        return line.exitCode;
    }
    const BatchCommandSpec& command = *line.command;

    BatchContext context;
    context.paths = std::make_unique<SystemPaths>(line.dataDir);
    context.dataDir = context.paths->dataFolder();
    context.desktop = std::make_unique<CliDesktop>();
    auto monitor = std::make_unique<CliMonitor>();
    CliMonitor* cliMonitor = monitor.get();
    context.monitor = std::move(monitor);

    if (command.needsLog) {
        const QString folderProblem = DataFolderProblem(context.dataDir, OptionsFilePath(*context.paths));
        if (!folderProblem.isEmpty()) {
            printErr(QStringLiteral("quorvane-cli: ") + folderProblem);
            return ExitFailed;
        }
        QString problem;
        QString keyringProblem;
        LoadOptionsForBatch(*context.paths, IniProfile(), SystemTqslLocator(), context.options, &problem,
                            context.desktop->keyring(), &keyringProblem);
        if (!problem.isEmpty()) {
            printErr(QStringLiteral("quorvane-cli: %1; start the program to correct the options").arg(problem));
            return ExitFailed;
        }
        // A password the window put in the desktop's keyring cannot be read without the desktop
        // session: said once, so that a refused LoTW login has its reason.
        if (!keyringProblem.isEmpty()) {
            for (int k = 0; k < kSlotCount; ++k) {
                const LotwLogin& login = context.options.logins[std::size_t(k)];
                if (!login.loginCall.isEmpty() && login.password.isEmpty()) {
                    printErr(QStringLiteral("quorvane-cli: note: the LoTW password of %1 is not in %2 and the "
                                            "desktop's keyring could not be asked (%3); run the command in the "
                                            "desktop session")
                                 .arg(login.loginCall, QFileInfo(PasswordFilePath(*context.paths)).fileName(),
                                      keyringProblem));
                    break;
                }
            }
        }
        const QString dateFile = QslDateFilePath(*context.paths);
        // A file cut short gives what was read before the break; the rest keeps the values a new
        // form starts with, as in the window.
        if (!LoadQslDateFile(dateFile, context.dates) && QFile::exists(dateFile))
            printErr(QStringLiteral("quorvane-cli: note: %1 ends early; what it held before the break is used, the "
                                    "rest of the saved choices are as on a new form")
                         .arg(QFileInfo(dateFile).fileName()));
        context.choiceModel = std::make_unique<ChoiceModel>(context.options);
        context.choiceModel->applySaved(context.dates);
    }
    // One run at a time per data folder: a window or another batch command that runs on this
    // folder keeps this one from starting.
    RunLock runLock(context.dataDir);
    if (command.needsLog) {
        QString busy;
        if (!runLock.acquire(busy)) {
            printErr(QStringLiteral("quorvane-cli: ") + busy);
            return ExitFailed;
        }
        if (!runLock.takeOverNote().isEmpty())
            printErr(QStringLiteral("quorvane-cli: note: ") + runLock.takeOverNote());
        if (!checkLog(context.options, *context.monitor))
            return ExitFailed;
        // Runs a kill left between their record and the log's commit are settled before this
        // one writes the log.
        for (const QString& line : SettleUndoRuns(context.dataDir))
            printErr(QStringLiteral("quorvane-cli: note: ") + line);
    }

    int status = ExitFailed;
    try {
        status = command.run(context, line.arguments);
    } catch (const UsageError& e) {
        printErr(QStringLiteral("quorvane-cli: ") + e.text);
        writeText(stderr, BatchCommandUsage(command));
        return ExitUsage;
    } catch (const CDbException& e) {
        context.monitor->ShowMessage(e.description());
        status = ExitFailed;
    } catch (const CFileException& e) {
        context.monitor->ShowMessage(e.description());
        status = ExitFailed;
    } catch (const std::exception& e) {
        // As in the window: nothing ends the program without a word.
        context.monitor->ShowMessage(QStringLiteral("The operation stopped on an unexpected error: %1")
                                         .arg(QString::fromLocal8Bit(e.what())));
        status = ExitFailed;
    } catch (...) {
        context.monitor->ShowMessage(QStringLiteral("The operation stopped on an unexpected error."));
        status = ExitFailed;
    }
    std::fflush(stdout);
    cliMonitor->endProgress();
    const QString counters = CliMonitor::counterLine(context.result.counters);
    if (!counters.isEmpty()) {
        const QByteArray bytes = counters.toLocal8Bit() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    }
    return status;
} catch (const CDbException& e) {
    std::fflush(stdout);
    printErr(QStringLiteral("quorvane-cli: ") + e.description());
    return ExitFailed;
} catch (const CFileException& e) {
    std::fflush(stdout);
    printErr(QStringLiteral("quorvane-cli: ") + e.description());
    return ExitFailed;
} catch (const std::exception& e) {
    std::fflush(stdout);
    printErr(QStringLiteral("quorvane-cli: stopped on an unexpected error: %1").arg(QString::fromLocal8Bit(e.what())));
    return ExitFailed;
} catch (...) {
    std::fflush(stdout);
    printErr(QStringLiteral("quorvane-cli: stopped on an unexpected error."));
    return ExitFailed;
}
