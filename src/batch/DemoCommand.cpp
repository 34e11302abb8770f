// "demo": a complete data folder for trying the program: a DXbase-shaped log and reference
// database, the option files, the saved date, and a LoTW report that confirms part of the log.

#include "BatchContext.h"
#include "demo/DemoData.h"
#include "options/OptionsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

int runDemo(BatchContext& context, const BatchArguments& arguments)
{
    const qint64 qsos = arguments.integer("qsos", 2000);
    const Paths& paths = *context.paths;
    const QString dir = context.dataDir;
    // The demo replaces the option files, the saved date and the report of its folder: a data
    // folder already in use is left alone.
    if (QFile::exists(OptionsFilePath(paths))) {
        context.monitor->ShowMessage(QStringLiteral("%1 already holds options: the demo is written only into a new "
                                                    "folder or one without %2 (give one with --data-dir)")
                                         .arg(dir, QFileInfo(OptionsFilePath(paths)).fileName()));
        return ExitFailed;
    }
    if (QFileInfo(dir).exists() && !QFileInfo(dir).isDir()) {
        context.monitor->ShowMessage(QStringLiteral("%1 is a file, not a folder: the demo needs a folder (give one with "
                                                    "--data-dir). Nothing was written")
                                         .arg(QDir::toNativeSeparators(dir)));
        return ExitFailed;
    }
    if (!QDir().mkpath(dir)) {
        context.monitor->ShowMessage(QStringLiteral("Cannot create the folder %1").arg(dir));
        return ExitFailed;
    }
    const quint64 seed = 20261207;
    Options options;
    options.sourceMdbPath = paths.join(dir, QStringLiteral("Dxbase.sqlite"));
    options.refdataMdbPath = paths.join(dir, QStringLiteral("Refdata.sqlite"));
    options.dxbaseDataFolder = dir;
    options.uploadAdifPath = DefaultUploadAdifPath(paths);
    options.reportAdifPath = DefaultReportAdifPath(paths);
    options.stations[0] = {QString::fromLatin1(DemoData::kPrimaryCall), QString::fromLatin1(DemoData::kPrimaryLocation)};
    options.stations[1] = {QString::fromLatin1(DemoData::kSecondaryCall), QString::fromLatin1(DemoData::kSecondaryLocation)};
    options.logins[0].loginCall = QString::fromLatin1(DemoData::kPrimaryCall);
    options.logins[0].password = EncodePassword(QStringLiteral("demo1234"));
    options.logins[0].passwordField = PasswordMask(options.logins[0].password);

    DemoData::writeLog(options.sourceMdbPath, qsos, seed);
    DemoData::writeRefdata(options.refdataMdbPath);
    const qint64 records = DemoData::writeReport(options.reportAdifPath, qsos, seed, 3, options.logins[0].loginCall);
    if (!SavePasswordFile(PasswordFilePath(paths), options) || !SaveOptionsFile(OptionsFilePath(paths), options)) {
        context.monitor->ShowMessage(QStringLiteral("Cannot write the option files in %1").arg(dir));
        return ExitFailed;
    }
    SavedQslDates dates;
    dates.date = QStringLiteral("2026-01-01");
    dates.reportRange = 0;
    if (!SaveQslDateFile(QslDateFilePath(paths), dates)) {
        context.monitor->ShowMessage(QStringLiteral("Cannot write the saved date in %1").arg(dir));
        return ExitFailed;
    }
    const QByteArray text = QStringLiteral("Demo data in %1: %2 QSOs in %3, LoTW report with %4 records in %5\n")
                                .arg(dir)
                                .arg(qsos)
                                .arg(options.sourceMdbPath)
                                .arg(records)
                                .arg(options.reportAdifPath)
                                .toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return ExitOk;
}

}

const BatchCommandSpec demoCommand{
    .name = "demo",
    .summary = "writes a complete demo data folder (a new folder, or one without options)",
    .options = {{.name = "qsos", .help = "QSOs in the demo log (default 2000)", .value = "N", .low = 0, .high = 10000000}},
    .run = runDemo,
    .needsLog = false,
};
BATCH_COMMAND(demoCommand);
