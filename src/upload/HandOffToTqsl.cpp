#include "HandOffToTqsl.h"

#include "options/StationDiscovery.h"
#include "platform/Desktop.h"
#include "platform/EventMonitor.h"

#include <QFileInfo>

QString UploadPageAddress(const Choices& choices)
{
    // Login and the already encoded password go in as they stand.
    return QStringLiteral("https://lotw.arrl.org/lotwuser/upload?login=") + choices.CurrentLoginCall
           + QStringLiteral("&password=") + choices.CurrentPassword;
}

namespace {

// The location names TQSL's station file defines, trimmed; empty when the file cannot be read
// or holds no names, which leaves the answer to TQSL.
QStringList definedLocations(const QString& stationFile)
{
    QStringList names;
    if (stationFile.isEmpty() || !QFileInfo::exists(stationFile))
        return names;
    for (const StationLocation& known : ReadStationLocations(stationFile, 100000)) {
        const QString name = known.name.trimmed();
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

void setSteps(EventMonitor& monitor, std::initializer_list<int> steps, int icon)
{
    for (int step : steps)
        monitor.SetStepIcon(step, icon);
}

} // namespace

HandOffResult HandOffToTqsl(const Options& options, const Choices& choices, long adifOutCount, Desktop& desktop,
                            EventMonitor& monitor, const QString& stationFile)
{
    HandOffResult result;
    if (choices.TestOnly || adifOutCount <= 0)
        return result;
    result.attempted = true;

    std::vector<const SigningStation*> matching;
    for (const SigningStation& station : options.stations) {
        if (station.oprCall == choices.SigningCall)
            matching.push_back(&station);
    }
    if (matching.empty()) {
        result.failure = QStringLiteral("no signing station has the operator call \"%1\"").arg(choices.SigningCall);
        monitor.SetStepIcon(Control::StepSignAdif, StepIcon::RedArrow);
        return result;
    }

    // TQSL finds a location by its name without regard to case or surrounding blanks.
    const QStringList defined = definedLocations(stationFile);
    for (const SigningStation* station : matching) {
        if (!defined.isEmpty() && !defined.contains(station->location.trimmed(), Qt::CaseInsensitive)) {
            result.failure = QStringLiteral("the station location \"%1\" is not defined in TQSL (its station file %2 "
                                            "has no location of that name); define it in TQSL or correct it in the "
                                            "options")
                                 .arg(station->location, stationFile);
            monitor.AddUploadEvent(QStringLiteral("Not started: ") + result.failure);
            monitor.SetStepIcon(Control::StepSignAdif, StepIcon::RedArrow);
            return result;
        }
        TqslRun tqsl(options.tqslExePath, monitor);
        const TqslOutcome outcome = tqsl.sign(station->location, options.uploadAdifPath, choices.TqslUpload);
        result.tqslLines = outcome.lastLines;
        result.tqslStatus = outcome.status;
        if (!outcome.signedFile()) {
            result.failure = outcome.reason;
            if (outcome.failedStep == Control::StepUpload || outcome.failedStep == Control::StepMakeTq8) {
                // Signing itself went through; what came after it did not.
                monitor.SetStepIcon(Control::StepSignAdif, StepIcon::Tick);
                if (outcome.failedStep == Control::StepUpload)
                    monitor.SetStepIcon(Control::StepMakeTq8, StepIcon::Tick);
            }
            monitor.SetStepIcon(outcome.failedStep, StepIcon::RedArrow);
            return result;
        }
        result.someSkipped = result.someSkipped || outcome.kind == TqslOutcome::Kind::SomeSkipped;
    }
    result.signedFile = true;

    if (choices.TqslUpload) {
        // TQSL has sent the signed file to LoTW, and LoTW took it.
        setSteps(monitor, {Control::StepSignAdif, Control::StepMakeTq8, Control::StepClipboard, Control::StepUpload},
                 StepIcon::Tick);
        return result;
    }
    setSteps(monitor, {Control::StepSignAdif, Control::StepMakeTq8}, StepIcon::Tick);
    const QString address = UploadPageAddress(choices);
    result.pageOpened = desktop.openUrl(address);
    if (result.pageOpened) {
        setSteps(monitor, {Control::StepClipboard, Control::StepUpload}, StepIcon::Tick);
    } else {
        // The operator opens the page by hand: its address takes the clipboard's place.
        desktop.setClipboardText(address);
        result.pageFailure = QStringLiteral("The LoTW upload page could not be opened: no web browser could be started. "
                                            "Its address is on the clipboard instead; paste it into a browser and "
                                            "upload the signed file there.");
        monitor.SetStepIcon(Control::StepUpload, StepIcon::RedArrow);
    }
    return result;
}
