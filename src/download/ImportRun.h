#pragma once

#include "LineFile.h"
#include "LotwRecord.h"
#include "QsoIndex.h"

#include <QString>
#include <memory>

class CDxb96CountySet;
class QFile;
struct ReportShape;
class ImportQsoSet;
class Connection;
class EventMonitor;
class LotwRecordParser;
class Paths;
struct Choices;
struct Options;

// The "#2 - LoTW Import" operation: reads the data folder's "lotwreport.adi", finds each
// reported QSO in the log, marks it confirmed with its QSL date and award credits, brings
// the location fields in line with LoTW, and reports every outcome in the download monitor,
// the error file and the imported-QSO list.
//
// Row updates are made in transactions committed every kCommitEvery records and at the end,
// each row written by one UPDATE statement, so that an interrupted import leaves every row
// either untouched or fully updated and a failed row update is undone alone.
class ImportRun
{
public:
    static constexpr int kCommitEvery = 10000;
    // How much of a file that is no report is looked through for a word of the login.
    static constexpr qint64 kLoginHintBytes = 1 << 20;

    // choices: the import scope and the overwrite choice are taken when the run starts and
    // again when the first QSL date is saved (the form is read then); a change made on the
    // form at any other moment of the run waits for the next run. The QSL date and the
    // "Download ALL QSLs" choice are written back when the report carries a QSL date (and
    // saved to the date file).
    ImportRun(const Options& options, Choices& choices, const Paths& paths, EventMonitor& monitor);
    ~ImportRun();

    // The log and reference databases to use instead of opening the options' paths.
    void setConnections(std::shared_ptr<Connection> log, std::shared_ptr<Connection> reference);

    // Runs the whole import. True when it ran to its end; false when the operator stopped it
    // (StopRequested, looked at after each record: the records handled so far are committed and
    // the monitor says how many were read, then "Stopped by the operator"), when it stopped on an error
    // (shown as a message), found the report empty, or found a file that is no LoTW report (a
    // message with its first line; nothing is changed, the date file included).
    bool OnLotwImport();

private:
    bool runBody();
    void endOfRecord();
    bool ValidateLotwRecord();
    bool FindLoggedQso();
    bool ApplyLotwRecord();
    void logRecordEvent(int kind, const QString& message);
    void recordLine(const QString& suffix, LineFile& file);
    void addToCounter(int controlId, long amount = 1);
    void saveFirstQslDate();
    void noteMissingStationCall();
    QString notAReportMessage(QFile& report, const ReportShape& shape) const;
    void takeChoices();
    void ensureLogReady();
    void commitBatch();
    void commitTransaction();

    const Options& m_options;
    Choices& m_choices;
    const Paths& m_paths;
    EventMonitor& m_monitor;

    std::shared_ptr<Connection> m_logDb;
    std::shared_ptr<Connection> m_refDb;
    std::unique_ptr<ImportQsoSet> m_qsos;
    std::unique_ptr<CDxb96CountySet> m_counties;
    std::unique_ptr<class DbCountyTable> m_countyTable;
    std::unique_ptr<LotwRecordParser> m_parser;
    LineFile m_errorFile;
    LineFile m_importedFile;
    QsoIndex m_index;
    QsoIndex::Match m_match;
    int m_importScope = 1;
    int m_overwriteChoice = 1;
    bool m_logReady = false;
    bool m_dateSavedThisRun = false;
    bool m_noMatchLogged = false;
    bool m_stationCallNoted = false;
    long m_recordsInBatch = 0;
};
