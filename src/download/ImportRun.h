#pragma once

#include "HeldMonitor.h"
#include "ImportQsoSet.h"
#include "LineFile.h"
#include "LotwRecord.h"
#include "LotwRecordParser.h"
#include "options/QslDateFile.h"
#include "platform/ProblemLog.h"

#include <QString>
#include <exception>
#include <memory>
#include <optional>

class CDxb96CountySet;
class QFile;
struct ImportDecision;
struct ReportShape;
class Connection;
class EventMonitor;
class Paths;
struct Choices;
struct Options;

// What an import leaves for its front end to show: the counters as the log saved them, what
// its problem lines leave for the next ones, and the "since" and choices it saved to the date
// file when it reached its end (none otherwise).
struct ImportResult : RunResult
{
    std::optional<SavedQslDates> savedDates;
};

// The "#2 - LoTW Import" operation: reads the data folder's "lotwreport.adi", finds each
// reported QSO in the log, marks it confirmed with its QSL date and award credits, brings
// the location fields in line with LoTW, and reports every outcome in the download monitor,
// the error file and the imported-QSO list.
//
// The whole run is one transaction. The log's QSOs are read once at the first record that is
// searched; every record's outcome is decided in memory, in the order of the report, from
// the rows as the run has left them so far; the changed rows are then written in table order
// and committed together. So a kill at any moment leaves the log as it was or with every row
// of the run fully written, and a second run gives the same log as one. A row the log
// refuses (a trigger, a constraint) makes the run go through the report again, writing each
// record's row at once, so that the refused record alone gets an error line.
//
// Monitor lines, counters and the lines of the two files are held until the log has committed
// the rows they stand for; when the log cannot be saved they are dropped and the run says how
// many records it discarded. The date file is written only when the run has reached its end.
// A run killed after its commit and before its lines were all written leaves a mark in the
// data folder, so that the next run says so.
class ImportRun
{
public:
    // How much of a file that is no report is looked through for a word of the login.
    static constexpr qint64 kLoginHintBytes = 1 << 20;

    // choices: the import scope and the overwrite choice are taken when the run starts and
    // again when the first QSL date is met (the form is read then); a change made on the
    // form at any other moment of the run waits for the next run. The next "since" (LoTW's
    // cursor APP_LoTW_LASTQSL of the report, a date and time; without it the newest QSL date
    // of its records) and the "Download ALL QSLs" choice are saved to the date file when the
    // run has reached its end, and come back in the result (applySavedDates puts them on the
    // front end's choices).
    ImportRun(const Options& options, const Choices& choices, const Paths& paths, EventMonitor& monitor);
    ~ImportRun();

    // The log and reference databases to use instead of opening the options' paths.
    void setConnections(std::shared_ptr<Connection> log, std::shared_ptr<Connection> reference);
    // Whether the run keeps what it changes in the data folder's "undo" folder (default true).
    void setKeepUndo(bool keep) { m_keepUndo = keep; }

    // Runs the whole import. True when it ran to its end; false when the operator stopped it
    // (StopRequested, looked at after each record: the records handled so far are committed and
    // the monitor says how many were read, then "Stopped by the operator"; the date file stays
    // as it was, so that the next request asks for the rest again), when it stopped on an error
    // (shown as a message), found the report empty, or found a file that is no LoTW report (a
    // message with its first line; nothing is changed, the date file included).
    bool OnLotwImport();

    // What the problem lines of an earlier run left (the window's last database error, band
    // and mode texts).
    void setProblemMemory(const ProblemMemory& memory) { m_problems.setMemory(memory); }
    // What the last OnLotwImport left.
    ImportResult result() const { return {{m_counters, m_problems.memory()}, m_savedDates}; }
    const RunCounters& counters() const { return m_counters; }

    // The "since" and the "Download ALL QSLs" choice of dates, as the form shows them after an
    // import that saved them.
    static void applySavedDates(Choices& choices, const SavedQslDates& dates);

    // The file in the data folder that marks a run whose lines may not all have been written.
    static QString unfinishedMarkPath(const Paths& paths);

private:
    enum class PassEnd { Finished, NoReport, FileError, Stopped };
    class Records;
    class KeptRun;
    enum class Phase { Reading, Saving, Committed };

    void startRun();
    QString failureText(std::exception_ptr error);
    void endRun(QString& failure);
    void noteStopped();
    void saveNextSince();
    bool importReport(QString& failure);
    PassEnd saveChanges(PassEnd end, QString& fileFailure);
    bool writeChangedRows();
    void commitChanges(KeptRun& kept);
    PassEnd readReport(QString& fileFailure);
    void startPass();
    void endOfRecord();
    bool takeRecord();
    void importRecord();
    bool ValidateLotwRecord();
    bool FindLoggedQso();
    bool ApplyLotwRecord(const ImportDecision& decision, const LoggedQso& before);
    void logRecordEvent(ProblemKind kind, const QString& message);
    void recordLine(const QString& suffix, LineFile& file);
    void addToCounter(Counter counter, long amount = 1);
    void noteQslDate();
    QString nextSince();
    void noteOwnCallTaken();
    void noteMissingStationCalls();
    void noteUnfinishedRun();
    QString notAReportMessage(QFile& report, const ReportShape& shape) const;
    void takeChoices();
    void ensureLogReady();
    void rollback();
    void dropHeld();
    void releaseHeld();
    QString discardedText(long records) const;
    void setUnfinishedMark(bool set);
    void reportFailure(const QString& message);

    const Options& m_options;
    const Choices& m_choices;
    const Paths& m_paths;
    EventMonitor& m_monitor;
    HeldMonitor m_held;
    RunCounters m_counters;
    ProblemLog m_problems{m_held, m_counters}; // its lines are held with the records'
    std::optional<SavedQslDates> m_savedDates;

    std::shared_ptr<Connection> m_logDb;
    std::shared_ptr<Connection> m_refDb;
    ImportQsoSet m_qsos;
    std::unique_ptr<CDxb96CountySet> m_counties;
    std::unique_ptr<class DbCountyTable> m_countyTable;
    LotwRecord* m_record = nullptr; // the record being handled
    LotwRecordParser::StationCallSource m_source = LotwRecordParser::StationCallSource::None;
    LineFile m_errorFile;
    LineFile m_importedFile;
    qint64 m_entry = -1; // the row found for the current record
    LoggedQso m_row;     // its values
    QString m_line;      // the line being put together
    int m_importScope = 1;
    int m_overwriteChoice = 1;
    int m_startScope = 1;
    int m_startOverwrite = 1;
    bool m_logReady = false;
    bool m_keepUndo = true;
    bool m_careful = false; // each record's row is written at once
    bool m_dateSavedThisRun = false;
    bool m_stationCallNoted = false;
    bool m_marked = false;
    long m_stoppedAfter = -1; // records read when the operator stopped the run
    long m_stopAt = -1;       // the record after which the first pass stopped
    Phase m_phase = Phase::Reading;
    QString m_newestQslDate;  // YYYYMMDD, the newest of the records read
    QString m_lastQsl;        // the report's APP_LoTW_LASTQSL as given
    bool m_lastQslGiven = false;
    int m_scopeAtFirstQsl = 1;
    int m_overwriteAtFirstQsl = 1;
    long m_withoutStationCall = 0; // records read without any station call
    bool m_withStationCall = false;
};
