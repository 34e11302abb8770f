// The hand-off of a written upload file: TQSL signs it, the signed file decides which QSOs are
// marked as sent, and the signed file is offered on the LoTW upload page.

#include "UploadRun.h"

#include "HandOffToTqsl.h"
#include "PreviousFile.h"
#include "SigningReport.h"
#include "lotw/SignedFileUpload.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

#include <QFile>

#include <algorithm>
#include <filesystem>

namespace {

void moveFile(const QString& from, const QString& to)
{
    std::error_code ec;
    std::filesystem::rename(from.toStdU16String(), to.toStdU16String(), ec);
}

void removeFile(const QString& path)
{
    std::error_code ec;
    std::filesystem::remove(path.toStdU16String(), ec);
}

} // namespace

// The first signing slot with the signing call signs; another slot with the same call is said
// and left out: one QSO is signed for one station location.
const SigningStation* UploadRun::signingStation()
{
    const SigningStation* station = nullptr;
    for (size_t k = 0; k < m_options.stations.size(); ++k) {
        const SigningStation& slot = m_options.stations[k];
        if (slot.oprCall != m_choices.SigningCall)
            continue;
        if (!station) {
            station = &slot;
            continue;
        }
        m_monitor.AddUploadEvent(QStringLiteral("The signing station in slot %1 has the same operator call; its "
                                                "location \"%2\" is not used (the QSOs are signed for the location "
                                                "\"%3\").")
                                     .arg(k + 1)
                                     .arg(slot.location, station->location));
    }
    return station;
}

// The hand-off of a written upload file, step by step: the signing station and TQSL's station
// file checked, the file read back, an earlier signed file moved aside, TQSL's signing (again
// on request), the signed file sent to LoTW when the operator chose so, the signed QSOs marked,
// and the upload page offered. A step that ends the run has said why and put the files back.
bool UploadRun::handOff(PreviousFile& previousAdif)
{
    const SigningStation* station = readyToSign(previousAdif);
    if (!station)
        return false;
    std::vector<UploadFileRecord> records;
    if (!readBackFile(previousAdif, records))
        return false;

    // A signed file of an earlier run is moved aside first: what lies at the signed file's
    // path afterwards is TQSL's answer to this run, or nothing.
    const QString signedPath = SignedFilePath(m_options.uploadAdifPath);
    PreviousFile previousSigned(signedPath, PreviousFile::Way::Move);
    QString problem;
    if (!previousSigned.keep(problem)) {
        previousAdif.discard();
        finishFailed(QStringLiteral("The signed file %1 of an earlier upload could not be moved aside (%2): TQSL was "
                                    "not started. No QSO was marked as sent.")
                         .arg(signedPath, problem));
        return false;
    }

    const Signing signing = sign(*station, records, signedPath);
    if (!signing.match.usable || signing.match.signedCount == 0) {
        // Nothing this run may use: whatever TQSL left (an empty or damaged file) goes, and the
        // earlier signed file is back in place.
        previousSigned.restore();
        reportNothingSigned(previousAdif, records, signing, signedPath);
        return false;
    }

    m_signed = long(signing.match.signedCount);
    previousSigned.discard();
    m_monitor.SetStepIcon(Step::SignAdif, StepIcon::Tick);
    m_monitor.SetStepIcon(Step::MakeTq8, StepIcon::Tick);
    m_monitor.AddUploadEvent(QStringLiteral("The signed file %1 holds %2 of the %3 QSOs of the upload file")
                                 .arg(signedPath)
                                 .arg(signing.match.signedCount)
                                 .arg(m_adifOut));

    // Sent to LoTW by the program itself: the QSOs are marked once LoTW took the file.
    bool sent = false;
    if (m_choices.TqslUpload && !sendSignedFile(previousAdif, records, signing, signedPath, sent))
        return false;

    std::vector<size_t> changed;
    if (!markSigned(previousAdif, SignedPlaces(signing.match), sent, signing.match.signedCount, changed))
        return false;
    previousAdif.discard();

    reportChanged(changed);
    listLeftDue(records, signing.match, signing.outcome);
    m_monitor.AddUploadEvent(QStringLiteral("Marked %1 QSOs as sent to LoTW").arg(m_marked));
    if (sent) {
        m_monitor.SetStepIcon(Step::Clipboard, StepIcon::Tick);
        m_monitor.SetStepIcon(Step::Upload, StepIcon::Tick);
    } else {
        offerUploadPage(signedPath);
    }
    if (m_adifOut - long(signing.match.signedCount) > 0 || !changed.empty())
        m_monitor.ShowMessage(PartlySignedText(records, signing.match, signing.outcome, m_adifOut, m_marked,
                                               changed.size()));
    return true;
}

// The signing station, once it is certain that TQSL can sign for it: a slot with the signing
// call, a station file TQSL can read, and the slot's location defined there. Null when not
// (said, the run ended).
const SigningStation* UploadRun::readyToSign(PreviousFile& previousAdif)
{
    const SigningStation* station = signingStation();
    if (!station) {
        m_monitor.SetStepIcon(Step::SignAdif, StepIcon::RedArrow);
        previousAdif.discard();
        finishFailed(QStringLiteral("No signing station has the operator call \"%1\": nothing was signed. No QSO was "
                                    "marked as sent: the %2 QSOs of this run stay due.")
                         .arg(m_choices.SigningCall)
                         .arg(m_adifOut));
        return nullptr;
    }
    // A station file TQSL can't read would keep it (and the run) waiting.
    const QString stationProblem = StationFileProblem(m_stationFile);
    if (!stationProblem.isEmpty()) {
        m_monitor.SetStepIcon(Step::SignAdif, StepIcon::RedArrow);
        previousAdif.discard();
        finishFailed(QStringLiteral("TQSL was not started: %1. Move it away, or define the station locations in TQSL "
                                    "again. No QSO was marked as sent: the %2 QSOs of this run stay due.")
                         .arg(stationProblem)
                         .arg(m_adifOut));
        return nullptr;
    }
    // TQSL finds a location by its name without regard to case or surrounding blanks.
    const QStringList defined = DefinedLocations(m_stationFile);
    if (!defined.isEmpty() && !defined.contains(station->location.trimmed(), Qt::CaseInsensitive)) {
        m_monitor.SetStepIcon(Step::SignAdif, StepIcon::RedArrow);
        previousAdif.discard();
        finishFailed(QStringLiteral("TQSL was not started: the station location \"%1\" is not defined in TQSL (its "
                                    "station file %2 has no location of that name); define it in TQSL or correct it "
                                    "in the options. No QSO was marked as sent: the %3 QSOs of this run stay due.")
                         .arg(station->location, m_stationFile)
                         .arg(m_adifOut));
        return nullptr;
    }
    return station;
}

// The records of the file just written, to compare the signed file with. False when it can't
// be read back whole (said, the run ended).
bool UploadRun::readBackFile(PreviousFile& previousAdif, std::vector<UploadFileRecord>& records)
{
    QString problem;
    if (ReadUploadFileRecords(m_options.uploadAdifPath, records, problem) && records.size() == m_marks.size())
        return true;
    previousAdif.discard();
    finishFailed(QStringLiteral("The upload file %1 could not be read back (%2): TQSL was not started. No QSO was "
                                "marked as sent.")
                     .arg(m_options.uploadAdifPath,
                          problem.isEmpty()
                              ? QStringLiteral("it holds %1 records, not %2").arg(records.size()).arg(m_marks.size())
                              : problem));
    return false;
}

// TQSL signs the file for the station, and what it signed is read from the signed file. QSOs
// TQSL signed before stay due for ever unless TQSL signs them again: the operator decides, and
// TQSL signs the file once more.
UploadRun::Signing UploadRun::sign(const SigningStation& station, const std::vector<UploadFileRecord>& records,
                                   const QString& signedPath)
{
    TqslSigning request;
    request.location = station.location;
    request.adifPath = m_options.uploadAdifPath;
    request.signAgain = m_signAgain;
    request.passphrase = m_passphrase;
    request.timeLimitSeconds = m_tqslTimeLimit == kDefaultTqslTimeLimit ? int(300 + m_adifOut / 500) : m_tqslTimeLimit;
    request.keysFolder = TqslKeysFolder(m_stationFile);
    TqslRun tqsl(m_options.tqslExePath, m_monitor);
    const auto readSigned = [&](const TqslOutcome& o) {
        SignedMatch match;
        if (o.wroteSignedFile())
            match = MatchSignedFile(records, signedPath);
        else
            match.isSigned.assign(records.size(), false);
        return match;
    };
    Signing signing;
    signing.outcome = tqsl.sign(request);
    signing.match = readSigned(signing.outcome);

    const long before = SignedBeforeCount(records, signing.match, signing.outcome);
    if (before <= 0 || request.signAgain || m_monitor.StopRequested()
        || !m_monitor.AskOperator(QStringLiteral("TQSL did not sign %1 QSOs of this upload because it signed them "
                                                 "before: TQSL keeps every QSO it signed and does not sign one twice. "
                                                 "An upload that was undone, or a signed file that never reached "
                                                 "LoTW, leaves such QSOs due.\n\nHave TQSL sign them again?")
                                      .arg(before)))
        return signing;

    m_monitor.AddUploadEvent(QStringLiteral("TQSL signs the file again, with the %1 QSOs it signed before").arg(before));
    // The first signed file waits aside until the second one is read.
    const QString first = signedPath + QStringLiteral(".first");
    removeFile(first);
    if (signing.match.usable)
        moveFile(signedPath, first);
    request.signAgain = true;
    const TqslOutcome again = tqsl.sign(request);
    const SignedMatch againMatch = readSigned(again);
    if (againMatch.usable && againMatch.signedCount > 0) {
        signing.outcome = again;
        signing.match = againMatch;
        removeFile(first);
    } else {
        m_monitor.AddUploadEvent(QStringLiteral("Signing again did not work: %1")
                                     .arg(againMatch.problem.isEmpty() ? again.reason : againMatch.problem));
        removeFile(signedPath);
        if (signing.match.usable)
            moveFile(first, signedPath);
    }
    return signing;
}

// TQSL signed nothing this run may use: the run ends with what TQSL said, and every QSO of the
// file stays due.
void UploadRun::reportNothingSigned(PreviousFile& previousAdif, const std::vector<UploadFileRecord>& records,
                                    const Signing& signing, const QString& signedPath)
{
    const TqslOutcome& outcome = signing.outcome;
    const SignedMatch& match = signing.match;
    if (outcome.kind == TqslOutcome::Kind::Stopped) {
        reportStopped(QStringLiteral("TQSL did not sign the upload file (%1). No QSO was marked as sent; %2")
                          .arg(outcome.reason, takeBackFile(previousAdif)));
        return;
    }
    previousAdif.discard();
    listLeftDue(records, match, outcome);
    QString text;
    if (outcome.wroteSignedFile() && !match.usable) {
        text = QStringLiteral("TQSL ended with status %1, but its signed file %2 can't be used: %3.")
                   .arg(outcome.status)
                   .arg(signedPath, match.problem);
        m_monitor.SetStepIcon(Step::MakeTq8, StepIcon::RedArrow);
    } else {
        text = QStringLiteral("TQSL did not sign the upload file: %1").arg(outcome.reason);
        if (outcome.status >= 0)
            text += QStringLiteral(" (TQSL status %1)").arg(outcome.status);
        text += QLatin1Char('.');
        m_monitor.SetStepIcon(outcome.failedStep.value_or(Step::SignAdif), StepIcon::RedArrow);
    }
    if (!outcome.lastLines.isEmpty() && outcome.reasonsByLine.empty())
        text += QStringLiteral("\nTQSL: ") + outcome.lastLines.join(QStringLiteral("\nTQSL: "));
    text += QStringLiteral("\nNo QSO was marked as sent: the %1 QSOs of this run stay due for LoTW. The file %2 is kept "
                           "for you to look at.")
                .arg(m_adifOut)
                .arg(m_options.uploadAdifPath);
    const long signedEarlier = SignedBeforeCount(records, match, outcome);
    if (signedEarlier > 0)
        text += SignAgainHint(signedEarlier);
    finishFailed(text);
}

// Sends the signed file to LoTW. sent tells whether LoTW took it; when it did not, the operator
// may take the upload page instead. False when the run ends here (said).
bool UploadRun::sendSignedFile(PreviousFile& previousAdif, const std::vector<UploadFileRecord>& records,
                               const Signing& signing, const QString& signedPath, bool& sent)
{
    m_monitor.AddUploadEvent(QStringLiteral("Sending the signed file %1 to LoTW").arg(signedPath));
    const SignedFileUpload answer = UploadSignedFile(signedPath, m_monitor);
    if (answer.result == SignedFileUpload::Result::Accepted) {
        sent = true;
        m_monitor.AddUploadEvent(answer.message.isEmpty() ? QStringLiteral("LoTW took the signed file")
                                                          : QStringLiteral("LoTW took the signed file: ") + answer.message);
        return true;
    }
    const QString why = NotSentReason(answer);
    m_monitor.AddUploadEvent(QStringLiteral("The signed file was not sent: ") + why);
    m_monitor.SetStepIcon(Step::Upload, StepIcon::RedArrow);
    const bool pageInstead =
        answer.result != SignedFileUpload::Result::Stopped
        && m_monitor.AskOperator(QStringLiteral("TQSL signed %1 QSOs, but the signed file did not reach LoTW: %2.\n\n"
                                                "Upload it on the LoTW upload page instead? Its QSOs are then marked "
                                                "as sent, and the page opens with the signed file's path on the "
                                                "clipboard.")
                                     .arg(signing.match.signedCount)
                                     .arg(why));
    if (!pageInstead) {
        previousAdif.discard();
        listLeftDue(records, signing.match, signing.outcome);
        finishFailed(QStringLiteral("TQSL signed %1 QSOs, but the signed file did not reach LoTW: %2. No QSO was "
                                    "marked as sent: all %3 QSOs stay due. The signed file %4 is kept: upload it on "
                                    "the LoTW upload page, or run the upload again (TQSL will then say that it signed "
                                    "them before: have it sign them again).")
                         .arg(signing.match.signedCount)
                         .arg(why)
                         .arg(m_adifOut)
                         .arg(signedPath));
        return false;
    }
    m_monitor.SetStepIcon(Step::Upload, StepIcon::Blank);
    return true;
}

// Marks the signed QSOs (places in the file) as sent. When the log can't take the marks, the
// run ends: marks of QSOs LoTW took are kept for the next run, others are not offered.
bool UploadRun::markSigned(PreviousFile& previousAdif, const std::vector<size_t>& places, bool sent,
                           qint64 signedCount, std::vector<size_t>& changed)
{
    QString error;
    if (markRows(places, error, changed))
        return true;
    previousAdif.discard();
    if (sent) {
        // LoTW holds the QSOs: their marks are kept and written by the next run, before it
        // selects anything, so that none is sent twice.
        std::vector<UploadMark> toKeep;
        for (size_t place : places)
            toKeep.push_back(m_marks[place]);
        QString keepError;
        const KeptMarks kept(m_undoFolder);
        if (!m_undoFolder.isEmpty() && kept.save(m_options.sourceMdbPath, toKeep, keepError)) {
            finishFailed(QStringLiteral("LoTW took the %1 signed QSOs, but the log could not be marked: %2. The marks "
                                        "are kept in %3 and are written at the start of the next upload, before it "
                                        "selects anything.")
                             .arg(signedCount)
                             .arg(WithoutFinalStop(error), kept.path()));
        } else {
            finishFailed(QStringLiteral("LoTW took the %1 signed QSOs, but the log could not be marked (%2), and the "
                                        "marks could not be kept either (%3). The QSOs stay due in the log although "
                                        "LoTW holds them: the next upload sends them again (LoTW keeps a QSO once).")
                             .arg(signedCount)
                             .arg(WithoutFinalStop(error),
                                  m_undoFolder.isEmpty() ? QStringLiteral("no data folder") : keepError));
        }
        return false;
    }
    m_monitor.SetStepIcon(Step::Clipboard, StepIcon::RedArrow);
    finishFailed(QStringLiteral("TQSL signed %1 QSOs, but the log could not be marked: %2. The signed file is not "
                                "offered, so that no QSO reaches LoTW without its mark: all %3 QSOs stay due. Run the "
                                "upload again once the log is free; TQSL will then say that it signed them before: "
                                "have it sign them again.")
                     .arg(signedCount)
                     .arg(WithoutFinalStop(error))
                     .arg(m_adifOut));
    return false;
}

// One line for each QSO of the file that the signed file does not hold, with TQSL's reason.
void UploadRun::listLeftDue(const std::vector<UploadFileRecord>& records, const SignedMatch& match,
                            const TqslOutcome& outcome)
{
    const std::vector<const QString*> reasons = ReasonsByRecord(records, outcome);
    QFile file(m_options.uploadAdifPath);
    file.open(QIODevice::ReadOnly);
    long listed = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (match.isSigned[i])
            continue;
        UploadFileQso qso;
        const QString named = ReadUploadFileQso(file, records[i].offset, qso)
                                  ? QStringList{qso.call, qso.date, qso.time, qso.band, qso.mode}.join(QLatin1Char(' '))
                                  : QStringLiteral("record %1 of the upload file").arg(i + 1);
        uploadProblem(QStringLiteral("Warning: not signed by TQSL, stays due: %1: %2")
                          .arg(named, reasons[i] ? *reasons[i] : QStringLiteral("TQSL gave no reason")));
        if (++listed % 4096 == 0)
            m_monitor.PumpMessages();
    }
}

// The signed file's path goes to the clipboard and the LoTW upload page opens, for the
// operator to upload it there.
void UploadRun::offerUploadPage(const QString& signedPath)
{
    m_desktop.setClipboardText(signedPath);
    m_monitor.SetStepIcon(Step::Clipboard, StepIcon::Tick);
    if (m_desktop.openUrl(UploadPageAddress(m_choices))) {
        m_monitor.SetStepIcon(Step::Upload, StepIcon::Tick);
        return;
    }
    m_monitor.SetStepIcon(Step::Upload, StepIcon::RedArrow);
    if (!m_desktop.hasClipboard()) {
        m_monitor.ShowMessage(QStringLiteral("The LoTW upload page could not be opened: no web browser could be "
                                             "started. Open https://lotw.arrl.org/lotwuser/upload in a browser, log "
                                             "in as %1 and upload the signed file %2 there (or send it with "
                                             "--tqsl-upload next time).")
                                  .arg(m_choices.CurrentLoginCall, signedPath));
        return;
    }
    // The operator opens the page by hand: its address takes the clipboard's place.
    m_desktop.setClipboardText(UploadPageAddress(m_choices));
    m_monitor.ShowMessage(QStringLiteral("The LoTW upload page could not be opened: no web browser could be started. "
                                         "Its address is on the clipboard instead; paste it into a browser and upload "
                                         "the signed file %1 there.")
                              .arg(signedPath));
}

void UploadRun::reportChanged(const std::vector<size_t>& places)
{
    if (places.empty())
        return;
    std::vector<UploadFileRecord> records;
    QString problem;
    ReadUploadFileRecords(m_options.uploadAdifPath, records, problem);
    QFile file(m_options.uploadAdifPath);
    file.open(QIODevice::ReadOnly);
    for (size_t place : places) {
        UploadFileQso qso;
        const bool named = place < records.size() && ReadUploadFileQso(file, records[place].offset, qso);
        uploadProblem(QStringLiteral("Warning: not marked as sent: changed by another program after it was written to "
                                     "the upload file, which holds: %1")
                          .arg(named ? QStringList{qso.call, qso.date, qso.time, qso.band, qso.mode}.join(QLatin1Char(' '))
                                     : QStringLiteral("(record %1)").arg(place + 1)));
    }
    m_monitor.AddUploadEvent(QStringLiteral("%1 QSOs were changed by another program after they were written to the "
                                            "upload file and were not marked")
                                 .arg(places.size()));
}
