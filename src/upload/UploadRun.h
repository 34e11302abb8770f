#pragma once

#include "options/Choices.h"
#include "options/Options.h"

#include <QString>
#include <QStringEncoder>
#include <QStringList>
#include <memory>
#include <vector>

#include "logdb/Connection.h"
#include "upload/AdifUploadRecord.h"

class CPP2006SRC;
class CQSO2006SRC;
class Desktop;
class EventMonitor;
class QSaveFile;

// One press of "Upload": picks the QSOs of the log that are due for LoTW under the chosen
// signing call, writes them as the ADIF upload file, hands the file to TQSL, and marks the QSOs
// as sent once TQSL has signed it; then opens the LoTW upload page.
//
// The walk of the log only reads. The QSOs of the file are marked afterwards, in one
// transaction, by their keys and only where a row still holds what the file was made from:
// with the hand-off only when TQSL signed the file, without it once the file is in place. So no
// QSO is ever marked as sent that is not in a completely written (and, with the hand-off,
// signed) file, and a kill at any moment leaves the log as it was or with every mark made.
// The previous upload file stays when a run writes no record, and is put back when the log
// could not be marked.
class UploadRun
{
public:
    // tq8Path: the signed file's path as the form shows it (its first 100 characters go to the
    // clipboard).
    UploadRun(const Options& options, const Choices& choices, const QString& tq8Path, EventMonitor& monitor,
              Desktop& desktop);
    ~UploadRun();
    UploadRun(const UploadRun&) = delete;
    UploadRun& operator=(const UploadRun&) = delete;

    // Whether a run that wrote records opens the upload page and starts TQSL (default true).
    void setHandOff(bool enabled) { m_handOff = enabled; }
    // TQSL's station data file, so that a location TQSL does not define is never handed to it.
    void setStationFile(const QString& path) { m_stationFile = path; }
    // The data folder whose "undo" folder keeps what the run changes (none: nothing is kept).
    void setUndoFolder(const QString& dataFolder) { m_undoFolder = dataFolder; }

    // Runs the whole upload. True when it ran to its end and, with the hand-off, TQSL signed
    // the file; false when it stopped on an error or TQSL did not sign, which has then been
    // reported (no QSO of this run is then marked as sent).
    //
    // The operator's stop (StopRequested) is honoured between two QSOs of the walk and until
    // TQSL has signed: the log and the previous upload file are then left as they were (a
    // file TQSL did not sign is replaced by the previous one again), and the upload monitor
    // ends with "Stopped by the operator". Once TQSL has signed, the run goes on to its end.
    bool run();

    long readInCount() const { return m_readIn; }
    long adifOutCount() const { return m_adifOut; }
    // QSOs selected but refused because TQSL would not sign them (band or mode code with no
    // ADIF name, a digital mode TQSL does not know, a malformed date or time).
    long refusedCount() const { return m_refused; }
    // QSOs this run marked as sent.
    long markedCount() const { return m_marked; }

private:
    class Stopped;
    void walk();
    void openTables();
    void buildDxccTable();
    // The [ARRL-ID] of the first prefix row holding prefix, or null when none does.
    const QString* FindDxcc(const QString& prefix) const;
    void uploadQso(const Cursor& cursor);
    void reportRefused(const QString& reason);
    bool markUploaded(QString& error);
    void finishFailed(const QString& message);
    // The operator stopped the run: says in the upload monitor what became of it, then
    // "Stopped by the operator".
    void reportStopped(const QString& outcome);
    void setProblemRecord();
    void writeText(const QString& text);
    void closeTables();
    void abandon();

    // The rows of the file and the value their [QSO-QSLS] held when it was written.
    struct Pending
    {
        RowKey key;
        long row;    // its place in the walk: rows one after another in the log are marked together
        bool wasOne; // "1" (marked "3"), else "0" (marked "2")
    };

    const Options& m_options;
    // The choices as they stood when the run was made: the form stays live during a run, and
    // a click on another signing station must not change the call that is being uploaded.
    const Choices m_choices;
    QString m_tq8Path;
    EventMonitor& m_monitor;
    Desktop& m_desktop;
    bool m_handOff = true;
    QString m_stationFile;
    QString m_undoFolder;

    CQSO2006SRC* m_qsos = nullptr;
    CPP2006SRC* m_prefixes = nullptr;
    std::unique_ptr<CQSO2006SRC> m_ownQsos;
    std::unique_ptr<CPP2006SRC> m_ownPrefixes;
    std::unique_ptr<QSaveFile> m_adifFile;
    std::vector<std::pair<QString, QString>> m_dxccByPrefix; // prefix, [ARRL-ID]; sorted by prefix
    // The QSO being read and its record, kept from row to row (their buffers are used again).
    UploadQsoValues m_values;
    QString m_qslsRead; // [QSO-QSLS] as read
    QString m_state;
    QString m_county;
    QString m_text;
    QByteArray m_bytes;
    QStringEncoder m_utf8{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    std::vector<Pending> m_pending;

    long m_readIn = 0;
    long m_adifOut = 0;
    long m_refused = 0;
    long m_marked = 0;
};
