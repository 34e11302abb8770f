// quorvane-cli upload: the form's "Upload" without a window. It waits for TQSL and succeeds
// only when TQSL signed and every QSO it signed is marked as sent.

#include "BatchContext.h"

#include "options/ChoiceModel.h"
#include "service/Operations.h"

#include <QFile>
#include <QTextStream>

#include <cstdio>

namespace {

// The first line of a file, or of standard input for "-"; false with error set when it can't
// be read.
bool readPassphrase(const QString& path, QString& passphrase, QString& error)
{
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                    : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        error = QStringLiteral("The passphrase file %1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray line = file.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    passphrase = QString::fromLocal8Bit(line);
    if (passphrase.isEmpty()) {
        error = QStringLiteral("The passphrase file %1 holds no passphrase on its first line").arg(path);
        return false;
    }
    return true;
}

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
    UploadRequest request = MakeUploadRequest(context.options, model.choices());
    request.choices.TestOnly = test;
    request.choices.TqslUpload = tqslUpload;
    request.handOff = handOff;
    request.signAgain = arguments.isSet("sign-again");
    // Nobody can answer TQSL's own questions here: TQSL is never waited for without a limit.
    request.tqslTimeLimit = arguments.integer("tqsl-timeout", UploadRun::kDefaultTqslTimeLimit);

    if (arguments.isSet("passphrase-file")) {
        QString error;
        if (!readPassphrase(arguments.value("passphrase-file"), request.passphrase, error)) {
            context.monitor->ShowMessage(error);
            return ExitFailed;
        }
    }
    return RunUpload(request, *context.paths, *context.monitor, *context.desktop, &context.result) ? ExitOk : ExitFailed;
}

} // namespace

const BatchCommandSpec uploadCommand{
    .name = "upload",
    .summary = "the form's \"Upload\": writes the due QSOs to the upload file, has TQSL sign it, marks the QSOs it "
               "signed as sent",
    .options =
        {
            {.name = "slot", .help = "the signing station, 1 to 5 (default 1)", .value = "N", .low = 1, .high = kSlotCount},
            {.name = "test", .help = "\"Test only - No ADIF file created\": show what would be uploaded, change nothing"},
            {.name = "no-handoff",
             .help = "write the upload file and mark its QSOs as sent WITHOUT TQSL: nothing is signed, nothing goes "
                     "to LoTW, no browser opens",
             .group = "handoff"},
            {.name = "tqsl-upload",
             .help = "send the signed file to LoTW at once (no upload page); the QSOs are marked once LoTW took it",
             .group = "handoff"},
            {.name = "sign-again",
             .help = "have TQSL sign QSOs it has signed before (after an undo, or a signed file that never reached "
                     "LoTW)"},
            {.name = "passphrase-file",
             .help = "read the passphrase of the callsign certificate from the first line of FILE (- for standard "
                     "input); TQSL gets it on its command line",
             .value = "FILE"},
            {.name = "tqsl-timeout",
             .help = "end TQSL when it has not finished after SECONDS (default: 300 and one more for every 500 QSOs)",
             .value = "SECONDS",
             .low = 10,
             .high = 86400},
        },
    .run = upload,
};
BATCH_COMMAND(uploadCommand);
