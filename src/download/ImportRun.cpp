#include "ImportRun.h"
#include "undo/UndoJournal.h"

#include <exception>
#include <thread>

#include "CountyNormaliser.h"
#include "DbCountyTable.h"
#include "FieldRules.h"
#include "ImportDecision.h"
#include "LotwFieldRules.h"
#include "LotwRecordParser.h"
#include "LotwReportReader.h"
#include "ReportFeed.h"
#include "ReportRequest.h"
#include "logdb/CDxb96CountySet.h"
#include "logdb/Connection.h"
#include "logdb/QsoTable.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "options/OptionsStore.h"
#include "options/QslDateFile.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>

namespace {
// Thrown at a record boundary when the operator stopped the run: how many records were read.
struct OperatorStop
{
    long recordsRead;
};

constexpr Counter kDownloadCounters[] = {Counter::DownloadRecsUsed, Counter::DownloadNewDxcc, Counter::DownloadErrors,
                                         Counter::DownloadReadIn, Counter::DownloadWarnings};
} // namespace

ImportRun::ImportRun(const Options& options, const Choices& choices, const Paths& paths, EventMonitor& monitor)
    : m_options(options), m_choices(choices), m_paths(paths), m_monitor(monitor), m_held(monitor)
{
}

ImportRun::~ImportRun()
{
    rollback();
    if (m_logDb)
        m_logDb->setWaitNotice(nullptr);
}

void ImportRun::setConnections(std::shared_ptr<Connection> log, std::shared_ptr<Connection> reference)
{
    m_logDb = std::move(log);
    m_refDb = std::move(reference);
}

void ImportRun::applySavedDates(Choices& choices, const SavedQslDates& dates)
{
    choices.sinceDate = dates.date;
    choices.ReportRange = dates.reportRange;
    choices.SinceChoice = dates.sinceChoice;
}

QString ImportRun::unfinishedMarkPath(const Paths& paths)
{
    return paths.join(paths.dataFolder(), QStringLiteral("quorvane-import.unfinished"));
}

bool ImportRun::OnLotwImport()
{
    startRun();
    bool ranToEnd = false;
    QString failure;
    try {
        noteUnfinishedRun();
        ranToEnd = importReport(failure);
    } catch (...) {
        failure = failureText(std::current_exception());
    }
    endRun(failure);
    if (!failure.isEmpty()) {
        ranToEnd = false;
        reportFailure(failure);
    }
    m_importedFile.abandon();
    m_errorFile.abandon();
    if (m_stoppedAfter >= 0 && failure.isEmpty())
        noteStopped();
    // The lists are complete: the mark goes first, so that a run killed from here on has
    // either no new date or a new date and no mark.
    setUnfinishedMark(false);
    if (ranToEnd)
        saveNextSince();
    if (m_counters.value(Counter::DownloadErrors) != 0)
        m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    m_logReady = false;
    if (m_logDb)
        m_logDb->setWaitNotice(nullptr);
    return ranToEnd;
}

// The monitor and the counters cleared, the choices taken, the two files begun.
void ImportRun::startRun()
{
    m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::Blank);
    m_monitor.ClearDownloadMonitor();
    m_counters = RunCounters();
    m_savedDates.reset();
    for (Counter counter : kDownloadCounters)
        m_counters.set(counter, 0);
    m_monitor.ShowCounters(m_counters);
    m_held.discard(m_counters);
    takeChoices();
    m_startScope = m_importScope;
    m_startOverwrite = m_overwriteChoice;
    m_careful = false;
    m_phase = Phase::Reading;
    m_stoppedAfter = -1;
    m_stopAt = -1;

    // A file that can't be created fails at its first write.
    m_errorFile.create(m_options.errorFilePath);
    m_importedFile.create(m_options.importedListPath);
    m_problems.setErrorDevice(&m_errorFile.device());
}

// What the run says when it stopped on an exception, the log rolled back: before the log
// committed, the lines held for it are dropped and the text says what was discarded; after,
// the log keeps what it committed.
QString ImportRun::failureText(std::exception_ptr error)
{
    const long records = m_counters.value(Counter::DownloadReadIn);
    rollback();
    const bool committed = m_phase == Phase::Committed;
    QString failure;
    try {
        std::rethrow_exception(error);
    } catch (const CDbException& e) {
        if (committed)
            return e.description();
        // The engine may name the program's hold itself (SQLite does, with the file).
        const bool named = e.description().contains(QLatin1String("in use by another program"));
        if (e.busy() && named)
            failure = WithoutFinalStop(e.description()) + QStringLiteral(": the import waited for it, then gave up.");
        else if (e.busy())
            failure = QStringLiteral("The log is in use by another program (%1): the import waited for it, then "
                                     "gave up.")
                          .arg(e.description());
        else
            failure = QStringLiteral("The import stopped on an error of the log: %1.").arg(WithoutFinalStop(e.description()));
    } catch (const CFileException& e) {
        failure = e.description();
        if (committed)
            return failure + QStringLiteral("\nThe log holds every QSO this import confirmed, but the imported-QSO "
                                            "list and the error file may lack some of their lines.");
    } catch (const std::exception& e) {
        failure = QStringLiteral("The import stopped on an unexpected error: %1.").arg(QString::fromLocal8Bit(e.what()));
        if (committed)
            return failure;
    } catch (...) {
        failure = QStringLiteral("The import stopped on an unexpected error.");
        if (committed)
            return failure;
    }
    dropHeld();
    return failure + QLatin1Char('\n') + discardedText(records);
}

// The reference tables and the log's rows let go of; the two files closed when the run did
// not fail (a failure to write them is the run's failure).
void ImportRun::endRun(QString& failure)
{
    if (m_counties)
        m_counties->close();
    m_countyTable.reset();
    m_qsos.clear();
    m_problems.closeErrorFile();
    try {
        if (failure.isEmpty()) {
            m_importedFile.close();
            m_errorFile.close();
        }
    } catch (const CFileException& e) {
        failure = e.description() + QStringLiteral("\nThe log holds every QSO this import confirmed, but the "
                                                   "imported-QSO list and the error file may lack some of their lines.");
    }
}

void ImportRun::noteStopped()
{
    m_monitor.AddDownloadEvent(QStringLiteral("%1 records of the report were read; the log keeps the %2 QSOs "
                                              "confirmed from them, which the imported-QSO list names. The rest "
                                              "of the report was not read.")
                                   .arg(m_stoppedAfter)
                                   .arg(m_counters.value(Counter::DownloadRecsUsed)));
    m_monitor.AddDownloadEvent(QStringLiteral("Stopped by the operator"));
}

// The "since" kept for the next request is LoTW's own cursor of a report imported to its end
// (or the newest QSL date of its records). A run that failed, was stopped or was killed leaves
// the date file (and the form) as they were: the records it did not read would otherwise never
// be asked for again.
void ImportRun::saveNextSince()
{
    const QString since = nextSince();
    if (since.isEmpty())
        return;
    SavedQslDates dates;
    dates.date = since;
    dates.reportRange = 0;
    dates.sinceChoice = -1;
    // The choices as the first QSL date found them (the form was read then).
    dates.importScope = m_dateSavedThisRun ? m_scopeAtFirstQsl : m_startScope;
    dates.overwriteChoice = m_dateSavedThisRun ? m_overwriteAtFirstQsl : m_startOverwrite;
    m_savedDates = dates;
    QDir().mkpath(m_paths.dataFolder());
    // A failed save is not reported, as with the form's own saves.
    SaveQslDateFile(QslDateFilePath(m_paths), dates);
}

// The before-images of what the run changes, kept for undo (unless the run keeps none): begun
// and written while the log takes the changes (on a thread of its own) or after them, sealed
// before the log commits, finished after it. The writing reads what the run holds and changes
// none of it.
class ImportRun::KeptRun
{
public:
    explicit KeptRun(ImportRun& run) : m_run(run) {}
    KeptRun(const KeptRun&) = delete;
    KeptRun& operator=(const KeptRun&) = delete;

    bool started() const { return m_started; }
    // Begins the kept run, when there is something to keep, and writes it (on a thread of its
    // own when parallel). Without room for it the log is rolled back and the failure thrown.
    void start(bool parallel)
    {
        if (!m_run.m_keepUndo || m_run.m_qsos.touchedRows() == 0)
            return;
        try {
            m_journal = UndoJournal::begin(m_run.m_paths.dataFolder(), QStringLiteral("import"),
                                           m_run.m_options.sourceMdbPath, ImportQsoSet::writtenColumns());
        } catch (...) {
            m_run.rollback();
            throw;
        }
        if (parallel)
            m_thread = std::jthread([this] { write(); });
        else
            write();
        m_started = true;
    }
    // Waits for the writing; when it failed, the kept run is dropped, the log rolled back and
    // the failure thrown.
    void seal()
    {
        join();
        if (m_error) {
            if (m_journal)
                m_journal->discard();
            m_run.rollback();
            std::rethrow_exception(m_error);
        }
    }
    // Drops what was kept: the log will not commit it.
    void discard()
    {
        join();
        if (m_journal)
            m_journal->discard();
        m_journal.reset();
        m_error = nullptr;
        m_started = false;
    }
    // The log has committed: the kept run is complete.
    void finish()
    {
        if (m_journal)
            m_journal->finish();
    }

private:
    void write()
    {
        try {
            m_run.m_qsos.journal([this](const RowKey& key, QByteArrayView before, QByteArrayView after,
                                        QByteArrayView identity) { m_journal->addEncoded(key, before, after, identity); });
            m_journal->seal();
        } catch (...) {
            m_error = std::current_exception();
        }
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    ImportRun& m_run;
    std::unique_ptr<UndoJournal> m_journal;
    std::exception_ptr m_error;
    bool m_started = false;
    // A thread still writing is waited for however the save ends: declared last, it is joined
    // before what it uses goes.
    std::jthread m_thread;
};

// Reads the report and saves what it brings. True when the report was read to its end and
// the log saved; failure is set when the run stopped on a file error after saving the rows
// of the records before it.
bool ImportRun::importReport(QString& failure)
{
    startPass();
    QString fileFailure;
    m_monitor.ReportStage(RunStage::Matching);
    PassEnd end = readReport(fileFailure);
    if (m_logReady)
        end = saveChanges(end, fileFailure);
    m_phase = Phase::Committed;
    m_logReady = false;
    releaseHeld();
    if (end == PassEnd::FileError) {
        failure = fileFailure;
        return false;
    }
    return end == PassEnd::Finished;
}

// Writes the rows the pass changed and commits them with their kept run. A row the log refuses
// makes the report be read again, each record's row written at once, so that the refused
// record alone fails and the records after it see the row as the log holds it: how that pass
// ended is returned.
ImportRun::PassEnd ImportRun::saveChanges(PassEnd end, QString& fileFailure)
{
    m_phase = Phase::Saving;
    // What the run changes is kept before the log commits, so that it can be taken back;
    // without room for it the run changes nothing. Where rows are known by their rowids the
    // before-images are written while the log takes the changes; rows known by their values
    // are known by the values written, so their before-images follow the writes.
    KeptRun kept(*this);
    if (!m_logDb->rowsKnownByValues(QsoTable::name()))
        kept.start(true);
    bool written = false;
    try {
        written = writeChangedRows();
    } catch (...) {
        kept.discard();
        throw;
    }
    if (!written) {
        kept.discard();
        rollback();
        m_careful = true;
        startPass();
        m_phase = Phase::Reading;
        m_monitor.ReportStage(RunStage::Matching);
        end = readReport(fileFailure);
        m_phase = Phase::Saving;
    }
    if (m_logReady)
        commitChanges(kept);
    else
        kept.discard();
    return end;
}

// Writes every row the pass changed, in table order. False when the log refused one (the
// transaction goes on).
bool ImportRun::writeChangedRows()
{
    m_monitor.ReportStage(RunStage::Saving);
    const qint64 toWrite = m_qsos.changedRows();
    m_monitor.ReportProgress(0, toWrite);
    qint64 refused = -1;
    QString reason;
    return m_qsos.writeChanges(
        *m_logDb,
        [this, toWrite](qint64 done) {
            m_held.PumpMessages();
            m_monitor.ReportProgress(done, toWrite);
        },
        refused, reason);
}

// The log commits the rows written, once their kept run is sealed; the mark of an unfinished
// run stands until the lines of the run are written.
void ImportRun::commitChanges(KeptRun& kept)
{
    if (m_qsos.twinsWritten() > 0) {
        const QString line = QStringLiteral("Warning: %1 QSOs confirmed by this report are logged more than once "
                                            "(rows equal in every column, which the log cannot tell apart); each "
                                            "twin took the confirmation too.")
                                 .arg(m_qsos.twinsWritten());
        m_held.AddDownloadEvent(line);
        m_errorFile.writeLine(line);
    }
    if (!kept.started())
        kept.start(false);
    kept.seal();
    setUnfinishedMark(true);
    try {
        m_logDb->commit();
    } catch (const CDbException&) {
        kept.discard();
        rollback();
        throw;
    }
    kept.finish();
}

void ImportRun::startPass()
{
    dropHeld();
    m_qsos.clear();
    m_logReady = false;
    m_dateSavedThisRun = false;
    m_newestQslDate.clear();
    m_lastQsl.clear();
    m_lastQslGiven = false;
    m_stationCallNoted = false;
    m_withoutStationCall = 0;
    m_withStationCall = false;
    m_importScope = m_startScope;
    m_overwriteChoice = m_startOverwrite;
}

// The records of the report as the reading thread hands them over.
class ImportRun::Records : public ReportFeed::Consumer
{
public:
    Records(ImportRun& run, qint64 reportSize) : m_run(run), m_reportSize(reportSize) {}
    void lines(qint64 count, qint64 position) override
    {
        for (qint64 i = 0; i < count; ++i)
            m_run.m_held.PumpMessages();
        m_run.m_monitor.ReportProgress(position, m_reportSize);
    }
    bool countyExists(const ProblemRecord& record) override
    {
        if (m_run.m_countyTable->CountyExists(record.state, record.county))
            return true;
        m_run.m_problems.LogRecordEvent(ProblemKind::Warning, QStringLiteral("County?"), record);
        return false;
    }
    void record(LotwRecord& record, LotwRecordParser::StationCallSource source) override
    {
        ++ended;
        m_run.m_record = &record;
        m_run.m_source = source;
        m_run.endOfRecord();
        // The operator's Stop is looked at after each record; a second pass over the report
        // stops where the first one did.
        if (m_run.m_careful ? ended == m_run.m_stopAt : m_run.m_held.StopRequested()) {
            m_run.m_stopAt = ended;
            throw OperatorStop{ended};
        }
    }
    long ended = 0;

private:
    ImportRun& m_run;
    qint64 m_reportSize;
};

ImportRun::PassEnd ImportRun::readReport(QString& fileFailure)
{
    m_counties = std::make_unique<CDxb96CountySet>(m_options.refdataMdbPath, m_refDb);
    if (!m_counties->isOpen())
        m_counties->open();
    m_countyTable = std::make_unique<DbCountyTable>(*m_counties, m_held);
    m_countyTable->preload();

    // The report is always the data folder's; the path shown on the form is not used here.
    QFile report(DefaultReportAdifPath(m_paths));
    if (!report.open(QIODevice::ReadOnly))
        throw CFileException(QStringLiteral("%1 could not be opened: %2").arg(report.fileName(), report.errorString()));

    Records records(*this, report.size());
    ReportShape shape;
    try {
        ReportFeed feed(report, *m_countyTable);
        shape = feed.run(records);
    } catch (const OperatorStop& stop) {
        // The records handled so far are saved; the rest of the report is not read.
        m_record = nullptr;
        m_stoppedAfter = stop.recordsRead;
        noteMissingStationCalls();
        return PassEnd::Stopped;
    } catch (const CFileException& e) {
        // An output file that can't be written, or a report that can't be read further: the
        // records before it are saved.
        m_record = nullptr;
        fileFailure = e.description();
        return PassEnd::FileError;
    }
    m_record = nullptr;
    m_lastQsl = QString::fromLatin1(shape.lastQsl);
    m_lastQslGiven = shape.lastQslGiven;
    noteMissingStationCalls();
    if (!shape.nonEmpty) {
        m_monitor.ShowMessage(Strings::text(Strings::LotwFileEmpty));
        return PassEnd::NoReport;
    }
    // A report has an end of header or records; LoTW's answer without any QSL may have
    // neither, but it ends with its closing tag. Anything else (the page saved when the login
    // failed, another file) is no report: no record was met in it, so nothing has changed.
    // Whatever followed the last end-of-record tag belongs to no record.
    const bool emptyAnswer = shape.endOfFileTag && !shape.recordEndInHeader;
    if (!shape.endOfHeader && records.ended == 0 && !emptyAnswer) {
        m_monitor.ShowMessage(notAReportMessage(report, shape));
        return PassEnd::NoReport;
    }
    return PassEnd::Finished;
}

QString ImportRun::notAReportMessage(QFile& report, const ReportShape& shape) const
{
    // The first line as readable text: control bytes (NUL included) shown as "?".
    QString line;
    for (char c : shape.firstLine) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7f ? QLatin1Char('?') : QLatin1Char(c);
    }
    line = TrimReportSpace(line);
    if (shape.firstLineCut)
        line += QStringLiteral("...");
    QString message = QStringLiteral("%1 is not a LoTW report: \"%2\"").arg(QFileInfo(report).fileName(), line);
    if (MentionsPassword(report, kLoginHintBytes))
        message += QStringLiteral("\nThe page speaks of the password: LoTW may have refused the login. Check the "
                                  "LoTW login call and password in the options, then request the report again "
                                  "(\"#1 - Download fm LoTW\").");
    else
        message += QStringLiteral("\nRequest the report again (\"#1 - Download fm LoTW\") and save what LoTW "
                                  "sends as %1.")
                       .arg(QFileInfo(report).fileName());
    message += QStringLiteral("\nNothing was imported.");
    return message;
}

void ImportRun::logRecordEvent(ProblemKind kind, const QString& message)
{
    m_problems.LogRecordEvent(kind, message, ProblemRecordOf(*m_record));
}

void ImportRun::addToCounter(Counter counter, long amount)
{
    m_counters.add(counter, amount);
    m_held.ShowCounters(m_counters);
}

// One line about the current record to the monitor and a file: call, date, time, band and
// mode texts, then the suffix.
void ImportRun::recordLine(const QString& suffix, LineFile& file)
{
    const LotwRecord& r = *m_record;
    // The band and mode texts are those of the record's codes (a problem line sets the rest of
    // the record it is about itself).
    const BandModeTexts& texts = m_problems.DecodeBandMode(r.bandCode, r.modeCode);
    QString& line = m_line; // its buffer serves every line of the run
    line.resize(0);
    line.append(r.call).append(QLatin1Char(' ')).append(r.qsoDate).append(QLatin1Char(' ')).append(r.timeOn);
    line.append(QLatin1Char(' ')).append(texts.band).append(QLatin1Char(' ')).append(texts.mode);
    line.append(suffix);
    m_held.AddDownloadEvent(line);
    file.writeLine(line);
}

bool ImportRun::ValidateLotwRecord()
{
    const LotwRecord& r = *m_record;
    QString message;
    if (r.call.size() < 2)
        message = QStringLiteral("Call?");
    else if (r.bandCode.isEmpty())
        message = QStringLiteral("Band?");
    else if (r.modeCode.isEmpty())
        message = QStringLiteral("Mode?");
    if (message.isEmpty())
        return true;
    logRecordEvent(ProblemKind::Error, message);
    return false;
}

// One record of the report, read to its end: checked and counted, found in the log, decided
// and applied; then emptied for the next one.
void ImportRun::endOfRecord()
{
    if (takeRecord() && FindLoggedQso())
        importRecord();
    ClearLotwRecord(*m_record);
}

// Whether the record can be looked for in the log: a record without a usable call, band or
// mode gets its problem line and goes no further. A record taken is counted as read in, and
// its QSL date and where its station call came from are noted.
bool ImportRun::takeRecord()
{
    LotwRecord& r = *m_record;
    if (r.modeCode == QLatin1String("99")) {
        r.modeCode.clear();
        logRecordEvent(ProblemKind::Error, QStringLiteral("Mode?"));
        return false;
    }
    if (r.bandCode == QLatin1String("99")) {
        r.bandCode.clear();
        logRecordEvent(ProblemKind::Error, QStringLiteral("Band?"));
        return false;
    }
    r.modeCode = ResolveSidebandMode(r.modeCode, r.bandCode);
    if (!ValidateLotwRecord())
        return false;
    addToCounter(Counter::DownloadReadIn);
    if (!r.qslDate.isEmpty())
        noteQslDate();
    if (m_source == LotwRecordParser::StationCallSource::None)
        ++m_withoutStationCall;
    else
        m_withStationCall = true;
    if (m_source == LotwRecordParser::StationCallSource::OwnCall)
        noteOwnCallTaken();
    return true;
}

// What the record does to the row FindLoggedQso found, decided from the two alone, then
// carried out: a confirmation counts as used and is named in the imported-QSO list; a record
// of another station call is an error.
void ImportRun::importRecord()
{
    LoggedQso before;
    if (m_careful)
        before = m_row;
    const ImportDecision decision = DecideImport(*m_record, m_row, m_importScope, m_overwriteChoice);
    if (decision.confirms && ApplyLotwRecord(decision, before)) {
        addToCounter(Counter::DownloadRecsUsed);
        recordLine(QString(), m_importedFile);
    }
    if (decision.noMatch) {
        // Every record counted here has its own line, a record without a station call too.
        addToCounter(Counter::DownloadErrors);
        recordLine(QStringLiteral("  **No Match **"), m_errorFile);
    }
}

// Said once per run, at the first record whose station call is taken from APP_LoTW_OWNCALL.
void ImportRun::noteOwnCallTaken()
{
    if (m_stationCallNoted)
        return;
    m_stationCallNoted = true;
    const QString line = QStringLiteral("Note: the LoTW report gives no STATION_CALLSIGN; its APP_LoTW_OWNCALL is taken "
                                        "as the station call.");
    m_held.AddDownloadEvent(line);
    m_errorFile.writeLine(line);
}

// Said once, after the records, when none of them gave a station call: LoTW leaves it out of a
// report asked for without the own calls ("qso_withown=yes"), and then no QSO can be matched
// to its operator call. Each such record has its own "**No Match **" line as well.
void ImportRun::noteMissingStationCalls()
{
    if (m_withoutStationCall == 0 || m_withStationCall)
        return;
    const QString line = QStringLiteral("Note: the LoTW report gives no station call (no STATION_CALLSIGN) in any of "
                                        "its records, so no QSO can be matched to its operator call and none is "
                                        "confirmed. Request the report with \"#1 - Download fm LoTW\", which asks "
                                        "LoTW for the own calls (qso_withown=yes), and import it again.");
    m_held.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    m_held.AddDownloadEvent(line);
    m_errorFile.writeLine(line);
}

// A run killed after it saved its rows and before all its lines were written left its mark:
// said at once, in the monitor and the error file of this run.
void ImportRun::noteUnfinishedRun()
{
    const QString mark = unfinishedMarkPath(m_paths);
    if (!QFileInfo::exists(mark))
        return;
    const QString line = QStringLiteral("Note: the previous import was interrupted while it was saving: the log "
                                        "may hold QSOs it confirmed that its imported-QSO list and error file do "
                                        "not name.");
    m_monitor.AddDownloadEvent(line);
    m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    m_errorFile.writeLine(line);
    m_errorFile.commitLines();
    QFile::remove(mark);
}

void ImportRun::setUnfinishedMark(bool set)
{
    const QString mark = unfinishedMarkPath(m_paths);
    if (set == m_marked)
        return;
    m_marked = set;
    if (!set) {
        QFile::remove(mark);
        return;
    }
    // Without the mark the run goes on: it only tells a later run about a kill.
    QDir().mkpath(m_paths.dataFolder());
    QFile file(mark);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + "\r\n");
}

void ImportRun::noteQslDate()
{
    const QString& q = m_record->qslDate;
    if (!m_dateSavedThisRun) {
        // The form is read again at the first QSL date: what it shows now is what the rest of
        // the run uses.
        takeChoices();
        m_dateSavedThisRun = true;
        m_scopeAtFirstQsl = m_choices.ImportScope;
        m_overwriteAtFirstQsl = m_choices.OverwriteChoice;
        m_held.ShowCounters(m_counters);
    }
    // The newest QSL date of the report, whatever the order of its records (only real dates).
    if (q > m_newestQslDate && IsReportDate(q.left(4) + QLatin1Char('-') + q.mid(4, 2) + QLatin1Char('-') + q.mid(6, 2)))
        m_newestQslDate = q;
}

// The "since" of the next request: LoTW's own cursor of the report when it is a date and time,
// else the newest QSL date of its records. Empty when the report has neither.
QString ImportRun::nextSince()
{
    if (m_lastQslGiven && IsReportSince(m_lastQsl))
        return m_lastQsl;
    const QString newest = m_newestQslDate.isEmpty()
                               ? QString()
                               : m_newestQslDate.left(4) + QLatin1Char('-') + m_newestQslDate.mid(4, 2) + QLatin1Char('-')
                                     + m_newestQslDate.mid(6, 2);
    if (m_lastQslGiven) {
        QString shown;
        for (QChar c : m_lastQsl)
            shown += c.unicode() < 0x20 || c.unicode() == 0x7f ? QLatin1Char('?') : c;
        m_monitor.AddDownloadEvent(
            QStringLiteral("Note: the report's APP_LoTW_LASTQSL \"%1\" is no date and time; %2")
                .arg(shown, newest.isEmpty() ? QStringLiteral("the QSL date is left as it was.")
                                             : QStringLiteral("the newest QSL date of its records, %1, is kept as the "
                                                              "next \"since\" instead.")
                                                   .arg(newest)));
    }
    return newest;
}

void ImportRun::takeChoices()
{
    m_importScope = m_choices.ImportScope;
    m_overwriteChoice = m_choices.OverwriteChoice;
}

void ImportRun::ensureLogReady()
{
    if (m_logReady)
        return;
    if (!m_logDb)
        m_logDb = Connection::open(m_options.sourceMdbPath);
    // A wait for another program that holds the log is said at once, not held with the lines
    // of the records.
    m_logDb->setWaitNotice(WaitNotice(m_monitor, false, m_options.sourceMdbPath));
    // The rows are read inside the run's transaction: no other program changes them until
    // the run has written its own.
    if (!m_logDb->inTransaction())
        m_logDb->beginTransaction();
    m_logReady = true;
    // The log is read at the report's first record: its rows are counted so that the window
    // can say how far the reading has come, then the matching goes on where it was.
    m_monitor.ReportStage(RunStage::ReadingLog);
    const qint64 logRows = m_logDb->countRows(QsoTable::name());
    m_monitor.ReportProgress(0, logRows);
    m_qsos.load(*m_logDb, [this, logRows](qint64 rows) {
        m_held.PumpMessages();
        m_monitor.ReportProgress(rows, logRows);
    });
    m_monitor.ReportStage(RunStage::Matching);
    // How the confirmations will find their rows, where the engine had a choice.
    const QString locator = m_logDb->rowLocatorNote(QsoTable::name());
    if (!locator.isEmpty())
        m_held.AddDownloadEvent(locator);
}

void ImportRun::rollback()
{
    m_logReady = false;
    if (!m_logDb || !m_logDb->inTransaction())
        return;
    try {
        m_logDb->rollback();
    } catch (const CDbException&) {
        // The engine gave the transaction up by itself; nothing of it stays.
    }
}

void ImportRun::dropHeld()
{
    m_held.discard(m_counters);
    m_importedFile.discardLines();
    m_errorFile.discardLines();
}

// The lines stand for what the log has committed: shown, then written to their files.
void ImportRun::releaseHeld()
{
    m_held.release(m_counters);
    m_importedFile.commitLines();
    m_errorFile.commitLines();
}

QString ImportRun::discardedText(long records) const
{
    if (records <= 0)
        return QStringLiteral("Nothing was imported: the log is as it was before.");
    if (records == 1)
        return QStringLiteral("The record read from the report was discarded: the log is as it was before, and "
                              "neither the imported-QSO list nor the counters name it.");
    return QStringLiteral("The %1 records read from the report were discarded: the log is as it was before, and "
                          "neither the imported-QSO list nor the counters name any of them.")
        .arg(records);
}

// A run that stopped: the reason's first line in the monitor and the error file, all of it in
// a message.
void ImportRun::reportFailure(const QString& message)
{
    const QString first = message.section(QLatin1Char('\n'), 0, 0);
    m_monitor.AddDownloadEvent(first);
    m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    try {
        m_errorFile.discardLines();
        m_errorFile.writeLine(first);
        m_errorFile.commitLines();
    } catch (const CFileException&) {
        // The message below says it all.
    }
    m_monitor.ShowMessage(message);
}

bool ImportRun::FindLoggedQso()
{
    ensureLogReady();
    LotwRecord& r = *m_record;
    const QsoIndex::Match match =
        m_qsos.index().find(r.call, r.qsoDate, r.timeOn, r.modeCode, r.bandCode, r.modeName, r.submodeName);
    if (match.found) {
        // The record takes the seconds of the row found, and sees the row as an earlier
        // record of this run may have left it.
        if (r.timeOn != match.time) {
            r.timeOn.resize(0);
            r.timeOn.append(match.time);
        }
        m_entry = match.entry;
        m_qsos.read(m_entry, m_row);
        return true;
    }
    if (r.timeOn.size() == 6)
        r.timeOn = r.timeOn.left(4) + QLatin1String("59");
    // Nothing found: the values of no row.
    m_entry = -1;
    m_row = LoggedQso();
    recordLine(QStringLiteral("  ** No QSO Found **"), m_errorFile);
    return false;
}

// Carries out what the record was decided to do to its row (m_row holds the row's new values;
// before, in the careful pass, the values it held): the warnings of its location fields, then
// the row changed in memory or, in the careful pass, written at once. False when the log
// refused the row, which then keeps its values.
bool ImportRun::ApplyLotwRecord(const ImportDecision& decision, const LoggedQso& before)
{
    const LotwRecord& r = *m_record;
    if (!decision.warnings.empty()) {
        FieldRules rules(r, m_overwriteChoice, m_problems, m_errorFile);
        for (const FieldWarning& warning : decision.warnings)
            rules.warn(warning);
    }
    if (m_careful) {
        // Each row is written by one UPDATE statement, which the engine undoes by itself
        // when it fails; a row keyed by its values is refused before anything is written when
        // the values no longer pick out exactly one row.
        try {
            m_qsos.write(*m_logDb, m_entry, m_row, decision.changed);
        } catch (const CDbException& e) {
            if (e.busy())
                throw; // another program holds the log: no row could be written
            if (!m_logDb->inTransaction()) {
                // The engine gave up the whole transaction: every row of the run is lost.
                throw CDbException(r.call + QLatin1Char(' ') + e.description()
                                   + QStringLiteral(" (the log gave up the whole import)"));
            }
            m_row = before;
            logRecordEvent(ProblemKind::Error, r.call + QLatin1Char(' ') + e.description());
            // A record the log refused is one with an error.
            addToCounter(Counter::DownloadErrors);
            return false;
        }
    } else {
        m_qsos.change(m_entry, m_row, decision.changed);
    }
    if (decision.newDxcc)
        addToCounter(Counter::DownloadNewDxcc);
    return true;
}
