#pragma once

#include "options/Choices.h"
#include "options/Options.h"

#include <QString>
#include <QStringEncoder>
#include <QStringList>
#include <memory>
#include <vector>

#include "logdb/Connection.h"
#include "platform/ProblemLog.h"
#include "upload/AdifUploadRecord.h"
#include "upload/KeptMarks.h"
#include "upload/SignedMatch.h"
#include "upload/TqslRun.h"

class CPP2006SRC;
class CQSO2006SRC;
class Desktop;
class EventMonitor;
class PreviousFile;
class QSaveFile;
struct SigningStation;

// One press of "Upload": picks the QSOs of the log that are due for LoTW under the chosen
// signing call, writes them as the ADIF upload file, has TQSL sign it, and marks as sent
// exactly the QSOs the signed file holds; then offers the signed file on the LoTW upload page
// (or sends it to LoTW itself).
//
// The walk of the log only reads. The QSOs are marked afterwards, in one transaction, by their
// keys and only where a row still holds every value its record was made from. What TQSL
// signed is read from the signed file it wrote, not taken from its exit status: a QSO TQSL
// left out stays due, with a line that says why. A kill at any moment leaves the log as it
// was or with every mark made. The previous upload file stays when a run writes no record,
// and is put back when nothing could be signed or marked.
class UploadRun
{
public:
    UploadRun(const Options& options, const Choices& choices, EventMonitor& monitor, Desktop& desktop);
    ~UploadRun();
    UploadRun(const UploadRun&) = delete;
    UploadRun& operator=(const UploadRun&) = delete;

    // Whether a run that wrote records has TQSL sign the file (default true). Without it the
    // QSOs of the file are marked as sent as soon as the file is in place, unsigned.
    void setHandOff(bool enabled) { m_handOff = enabled; }
    // TQSL's station data file, so that a location TQSL does not define is never handed to it;
    // TQSL's keys lie in the folder "keys" beside it.
    void setStationFile(const QString& path) { m_stationFile = path; }
    // The data folder: its "undo" folder keeps what the run changes, and the marks of an upload
    // that LoTW took but the log could not take are kept there (none: neither is kept).
    void setUndoFolder(const QString& dataFolder) { m_undoFolder = dataFolder; }
    // Has TQSL sign again the QSOs it signed before, without asking.
    void setSignAgain(bool signAgain) { m_signAgain = signAgain; }
    // The passphrase of the callsign certificate's key, handed to TQSL; empty: TQSL asks.
    void setTqslPassphrase(const QString& passphrase) { m_passphrase = passphrase; }
    // TQSL is ended when it has not finished after this many seconds (0: no limit; the default
    // limit: 300 s and one more for every 500 QSOs of the file).
    static constexpr int kDefaultTqslTimeLimit = -1;
    void setTqslTimeLimit(int seconds) { m_tqslTimeLimit = seconds; }

    // Runs the whole upload. True when it ran to its end and every QSO TQSL signed is marked
    // (QSOs TQSL left out are listed, and stay due); false when it stopped on an error or
    // nothing was signed, which has then been reported.
    //
    // The operator's stop (StopRequested) is honoured between two QSOs of the walk and until
    // TQSL has signed: the log and the previous upload file are then left as they were, and
    // the upload monitor ends with "Stopped by the operator". Once TQSL has signed, the run
    // goes on to its end.
    bool run();

    long readInCount() const { return m_readIn; }
    long adifOutCount() const { return m_adifOut; }
    // QSOs selected but refused because TQSL would not sign them (band or mode code with no
    // ADIF name, a digital mode TQSL does not know, a malformed date or time).
    long refusedCount() const { return m_refused; }
    // QSOs of the file that the signed file holds.
    long signedCount() const { return m_signed; }
    // QSOs this run marked as sent.
    long markedCount() const { return m_marked; }

    // What the problem lines of an earlier run left (the window's last database error, band
    // and mode texts).
    void setProblemMemory(const ProblemMemory& memory) { m_problems.setMemory(memory); }
    // The counters of the last run and what its problem lines left.
    RunResult result() const { return {m_counters, m_problems.memory()}; }
    const RunCounters& counters() const { return m_counters; }

private:
    class Stopped;
    bool writeFile(PreviousFile*& previous);
    bool putInPlace(PreviousFile*& previous);
    void walk();
    void openTables();
    void buildDxccTable();
    // The [ARRL-ID] of the first prefix row holding prefix, or null when none does.
    const QString* FindDxcc(const QString& prefix) const;
    void uploadQso(const Cursor& cursor);
    void reportRefused(const QString& reason);
    // Marks the rows of m_marks at the given places, in one transaction (see the .cpp).
    bool markRows(const std::vector<size_t>& places, QString& error, std::vector<size_t>& changed);
    bool writeKeptMarks();
    // The hand-off of the written file, in its steps (UploadHandOff.cpp).
    struct Signing
    {
        TqslOutcome outcome;
        SignedMatch match; // what the signed file holds of the upload file
    };
    bool handOff(PreviousFile& previousAdif);
    const SigningStation* signingStation();
    const SigningStation* readyToSign(PreviousFile& previousAdif);
    bool readBackFile(PreviousFile& previousAdif, std::vector<UploadFileRecord>& records);
    Signing sign(const SigningStation& station, const std::vector<UploadFileRecord>& records, const QString& signedPath);
    void reportNothingSigned(PreviousFile& previousAdif, const std::vector<UploadFileRecord>& records,
                             const Signing& signing, const QString& signedPath);
    bool sendSignedFile(PreviousFile& previousAdif, const std::vector<UploadFileRecord>& records,
                        const Signing& signing, const QString& signedPath, bool& sent);
    bool markSigned(PreviousFile& previousAdif, const std::vector<size_t>& places, bool sent, qint64 signedCount,
                    std::vector<size_t>& changed);
    void listLeftDue(const std::vector<UploadFileRecord>& records, const SignedMatch& match,
                     const TqslOutcome& outcome);
    void offerUploadPage(const QString& signedPath);
    // A warning line for each QSO of the file (by its place) that was not marked because
    // another program changed it meanwhile, naming what the file holds of it.
    void reportChanged(const std::vector<size_t>& places);
    void finishFailed(const QString& message);
    // The operator stopped the run: says in the upload monitor what became of it, then
    // "Stopped by the operator".
    void reportStopped(const QString& outcome);
    // Puts the previous upload file back in place of the new one (or removes the new one when
    // there was none) and says what became of it, ending with a period.
    QString takeBackFile(PreviousFile& previous);
    // The new upload file is not there: its records count no more.
    void fileGone();
    // A problem line of the upload: in the upload monitor and the error file, whole.
    void uploadProblem(const QString& line);
    void writeText(const QString& text);
    void closeTables();
    void abandon();

    const Options& m_options;
    // The choices as they stood when the run was made: the form stays live during a run, and
    // a click on another signing station must not change the call that is being uploaded.
    const Choices m_choices;
    EventMonitor& m_monitor;
    Desktop& m_desktop;
    RunCounters m_counters;
    ProblemLog m_problems{m_monitor, m_counters};
    bool m_handOff = true;
    QString m_stationFile;
    QString m_undoFolder;
    bool m_signAgain = false;
    QString m_passphrase;
    int m_tqslTimeLimit = 0;

    CQSO2006SRC* m_qsos = nullptr;
    CPP2006SRC* m_prefixes = nullptr;
    std::unique_ptr<CQSO2006SRC> m_ownQsos;
    std::unique_ptr<CPP2006SRC> m_ownPrefixes;
    std::unique_ptr<QSaveFile> m_adifFile;
    std::vector<std::pair<QString, QString>> m_dxccByPrefix; // prefix, [ARRL-ID]; sorted by prefix
    // The QSO being read and its record, kept from row to row (their buffers are used again).
    UploadQsoValues m_values;
    QString m_qslsRead; // [QSO-QSLS] as read
    qint64 m_validRead = 0;
    QString m_state;
    QString m_county;
    QString m_text;
    QByteArray m_bytes;
    QStringEncoder m_utf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    // The QSOs of the file, in file order.
    std::vector<UploadMark> m_marks;

    long m_readIn = 0;
    long m_adifOut = 0;
    long m_refused = 0;
    long m_signed = 0;
    long m_marked = 0;
    qint64 m_twinsMarked = 0; // marks written with a twin's (rows equal in every column)
};
