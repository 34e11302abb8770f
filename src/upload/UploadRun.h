#pragma once

#include "options/Choices.h"
#include "options/Options.h"

#include <QHash>
#include <QString>
#include <QStringEncoder>
#include <QStringList>
#include <memory>

class CPP2006SRC;
class CQSO2006SRC;
class Desktop;
class EventMonitor;
class QSaveFile;

// One press of "Upload": picks the QSOs of the log that are due for LoTW under the chosen
// signing call, writes them as the ADIF upload file, marks them as sent, and hands the file
// to TQSL and the LoTW upload page.
//
// The marks of a run are made in one transaction that is committed only once the ADIF file
// has been completely written and put in place; any failure rolls the marks back and leaves
// the previous file untouched, so no QSO is ever marked as sent without being in the file.
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

    // Recordsets to use instead of ones opened on the options' database paths. An open
    // recordset is used as it stands; either is closed at the end of the run.
    void setRecordsets(CQSO2006SRC* qsos, CPP2006SRC* prefixes);
    // Whether a run that wrote records opens the upload page and starts TQSL (default true).
    void setHandOff(bool enabled) { m_handOff = enabled; }

    // Runs the whole upload. True when it ran to its end; false when it stopped on an error,
    // which has then been reported and has left log and upload file as they were.
    bool run();

    long readInCount() const { return m_readIn; }
    long adifOutCount() const { return m_adifOut; }
    // QSOs selected but refused because their band or mode code maps to no ADIF name.
    long refusedCount() const { return m_refused; }

private:
    class Failure;
    void walk();
    void openTables();
    void buildDxccTable();
    // The [ARRL-ID] of the first prefix row holding prefix, or null when none does.
    const QString* FindDxcc(const QString& prefix) const;
    void uploadQso();
    void reportRefused(const QString& what, const QString& code);
    void setProblemRecord();
    void writeLines(const QStringList& lines);
    void closeTables();
    void abandon();

    const Options& m_options;
    // The choices as they stood when the run was made: the form stays live during a run, and
    // a click on another signing station must not change the call that is being uploaded.
    const Choices m_choices;
    QString m_tq8Path;
    EventMonitor& m_monitor;
    Desktop& m_desktop;
    bool m_handOff = true;

    CQSO2006SRC* m_qsos = nullptr;
    CPP2006SRC* m_prefixes = nullptr;
    std::unique_ptr<CQSO2006SRC> m_ownQsos;
    std::unique_ptr<CPP2006SRC> m_ownPrefixes;
    std::unique_ptr<QSaveFile> m_adifFile;
    QHash<QString, QString> m_dxccByPrefix;
    QStringList m_lines;
    QByteArray m_bytes;
    QStringEncoder m_latin1{QStringEncoder::Latin1};
    bool m_transactionOpen = false;

    long m_readIn = 0;
    long m_adifOut = 0;
    long m_refused = 0;
};
