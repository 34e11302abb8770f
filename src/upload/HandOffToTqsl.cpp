#include "HandOffToTqsl.h"

#include "platform/Desktop.h"
#include "platform/EventMonitor.h"

QString UploadPageAddress(const Choices& choices)
{
    // Login and the already encoded password go in as they stand.
    return QStringLiteral("https://lotw.arrl.org/lotwuser/upload?login=") + choices.CurrentLoginCall
           + QStringLiteral("&password=") + choices.CurrentPassword;
}

void HandOffToTqsl(const Options& options, const Choices& choices, long adifOutCount, Desktop& desktop,
                   EventMonitor& monitor)
{
    if (choices.TestOnly || adifOutCount <= 0)
        return;
    const QString address = UploadPageAddress(choices);
    for (const SigningStation& station : options.stations) {
        if (station.oprCall != choices.SigningCall)
            continue;
        desktop.openUrl(address);
        desktop.pause(2000);
        // One argument each, so a location or path with blanks or quotes stays whole.
        desktop.startProgram(options.tqslExePath,
                             {QStringLiteral("-l"), station.location, QStringLiteral("-d"),
                              options.uploadAdifPath, QStringLiteral("-x")});
    }
    for (int step : {Control::StepSignAdif, Control::StepMakeTq8, Control::StepClipboard, Control::StepUpload})
        monitor.SetStepIcon(step, StepIcon::Tick);
}
