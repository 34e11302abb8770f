#include "ImportRun.h"
#include "undo/UndoJournal.h"

#include <exception>
#include <thread>

#include "CountyNormaliser.h"
#include "DbCountyTable.h"
#include "FieldRules.h"
#include "LotwFieldRules.h"
#include "LotwRecordParser.h"
#include "LotwReportReader.h"
#include "ReportFeed.h"
#include "ReportRequest.h"
#include "logdb/CDxb96CountySet.h"
#include "logdb/Connection.h"
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
#include <limits>

namespace {
// The leading decimal number of a text as the C library reads it: leading white space, an
// optional sign, digits up to the first other character; no digits read as 0. Values
// beyond the range of a long are held at its ends.
long LeadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && IsReportSpace(text.at(i)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    constexpr long kMax = std::numeric_limits<long>::max();
    long value = 0;
    for (; i < text.size() && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9'; ++i) {
        const long digit = text.at(i).unicode() - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

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

    // A file that can't be created fails at its first write.
    m_errorFile.create(m_options.errorFilePath);
    m_importedFile.create(m_options.importedListPath);
    m_problems.setErrorDevice(&m_errorFile.device());

    bool ranToEnd = false;
    QString failure;
    m_stoppedAfter = -1;
    m_stopAt = -1;
    try {
        noteUnfinishedRun();
        ranToEnd = importReport(failure);
    } catch (const CDbException& e) {
        const long records = m_counters.value(Counter::DownloadReadIn);
        rollback();
        if (m_phase == Phase::Committed) {
            failure = e.description();
        } else {
            dropHeld();
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
            failure += QLatin1Char('\n') + discardedText(records);
        }
    } catch (const CFileException& e) {
        const long records = m_counters.value(Counter::DownloadReadIn);
        rollback();
        failure = e.description();
        if (m_phase == Phase::Committed) {
            failure += QStringLiteral("\nThe log holds every QSO this import confirmed, but the imported-QSO list "
                                      "and the error file may lack some of their lines.");
        } else {
            dropHeld();
            failure += QLatin1Char('\n') + discardedText(records);
        }
    } catch (const std::exception& e) {
        const long records = m_counters.value(Counter::DownloadReadIn);
        rollback();
        failure = QStringLiteral("The import stopped on an unexpected error: %1.").arg(QString::fromLocal8Bit(e.what()));
        if (m_phase != Phase::Committed) {
            dropHeld();
            failure += QLatin1Char('\n') + discardedText(records);
        }
    } catch (...) {
        const long records = m_counters.value(Counter::DownloadReadIn);
        rollback();
        failure = QStringLiteral("The import stopped on an unexpected error.");
        if (m_phase != Phase::Committed) {
            dropHeld();
            failure += QLatin1Char('\n') + discardedText(records);
        }
    }

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
        ranToEnd = false;
    }
    if (!failure.isEmpty()) {
        ranToEnd = false;
        reportFailure(failure);
    }
    m_importedFile.abandon();
    m_errorFile.abandon();
    const bool stopped = m_stoppedAfter >= 0 && failure.isEmpty();
    if (stopped) {
        m_monitor.AddDownloadEvent(QStringLiteral("%1 records of the report were read; the log keeps the %2 QSOs "
                                                  "confirmed from them, which the imported-QSO list names. The rest "
                                                  "of the report was not read.")
                                       .arg(m_stoppedAfter)
                                       .arg(m_counters.value(Counter::DownloadRecsUsed)));
        m_monitor.AddDownloadEvent(QStringLiteral("Stopped by the operator"));
    }
    // The lists are complete: the mark goes first, so that a run killed from here on has
    // either no new date or a new date and no mark.
    setUnfinishedMark(false);
    if (ranToEnd) {
        // The "since" kept for the next request is LoTW's own cursor of a report imported to
        // its end (or the newest QSL date of its records). A run that failed, was stopped or
        // was killed leaves the date file (and the form) as they were: the records it did not
        // read would otherwise never be asked for again.
        const QString since = nextSince();
        if (!since.isEmpty()) {
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
    }
    if (m_counters.value(Counter::DownloadErrors) != 0)
        m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    m_logReady = false;
    if (m_logDb)
        m_logDb->setWaitNotice(nullptr);
    return ranToEnd;
}

// Reads the report and saves what it brings. True when the report was read to its end and
// the log saved; failure is set when the run stopped on a file error after saving the rows
// of the records before it.
bool ImportRun::importReport(QString& failure)
{
    startPass();
    QString fileFailure;
    m_monitor.ReportStage(RunStage::Matching);
    PassEnd end = readReport(fileFailure);
    if (m_logReady) {
        m_phase = Phase::Saving;
        // What the run changes is kept before the log commits, so that it can be taken back;
        // without room for it the run changes nothing. Where rows are known by their rowids
        // the before-images are written on a thread of their own while the log takes the
        // changes (the two read what the run holds and change none of it).
        std::unique_ptr<UndoJournal> journal;
        std::thread journalThread;
        std::exception_ptr journalError;
        bool journalWritten = false;
        const auto writeJournal = [&] {
            try {
                m_qsos.journal([&](const RowKey& key, QByteArrayView before, QByteArrayView after,
                                   QByteArrayView identity) { journal->addEncoded(key, before, after, identity); });
                journal->seal();
            } catch (...) {
                journalError = std::current_exception();
            }
        };
        // A thread that is still writing is waited for however this ends.
        struct Join
        {
            std::thread& thread;
            ~Join()
            {
                if (thread.joinable())
                    thread.join();
            }
        } join{journalThread};
        const auto startJournal = [&](bool parallel) {
            if (!m_keepUndo || m_qsos.touchedRows() == 0)
                return;
            try {
                journal = UndoJournal::begin(m_paths.dataFolder(), QStringLiteral("import"), m_options.sourceMdbPath,
                                             ImportQsoSet::writtenColumns());
            } catch (...) {
                rollback();
                throw;
            }
            if (parallel) {
                journalThread = std::thread(writeJournal);
            } else {
                writeJournal();
            }
            journalWritten = true;
        };
        const auto endJournal = [&] {
            if (journalThread.joinable())
                journalThread.join();
            if (journalError) {
                if (journal)
                    journal->discard();
                rollback();
                std::rethrow_exception(journalError);
            }
        };

        qint64 refused = -1;
        QString reason;
        // Rows known by their values are known by the values written: their before-images
        // follow the writes.
        if (!m_logDb->rowsKnownByValues(QStringLiteral("[QSO-TAB]")))
            startJournal(true);
        bool written = false;
        try {
            m_monitor.ReportStage(RunStage::Saving);
            const qint64 toWrite = m_qsos.changedRows();
            m_monitor.ReportProgress(0, toWrite);
            written = m_qsos.writeChanges(
                *m_logDb,
                [this, toWrite](qint64 done) {
                    m_held.PumpMessages();
                    m_monitor.ReportProgress(done, toWrite);
                },
                refused, reason);
        } catch (...) {
            if (journalThread.joinable())
                journalThread.join();
            if (journal)
                journal->discard();
            throw;
        }
        if (!written) {
            // The log refused a row: the report is read again and each record's row written
            // at once, so that the refused record alone fails and the records after it see
            // the row as the log holds it.
            if (journalThread.joinable())
                journalThread.join();
            if (journal)
                journal->discard();
            journal.reset();
            journalError = nullptr;
            journalWritten = false;
            rollback();
            m_careful = true;
            startPass();
            m_phase = Phase::Reading;
            m_monitor.ReportStage(RunStage::Matching);
            end = readReport(fileFailure);
            m_phase = Phase::Saving;
        }
        if (m_logReady) {
            if (m_qsos.twinsWritten() > 0) {
                const QString line = QStringLiteral("Warning: %1 QSOs confirmed by this report are logged more than once "
                                                    "(rows equal in every column, which the log cannot tell apart); each "
                                                    "twin took the confirmation too.")
                                         .arg(m_qsos.twinsWritten());
                m_held.AddDownloadEvent(line);
                m_errorFile.writeLine(line);
            }
            if (!journalWritten)
                startJournal(false);
            endJournal();
            setUnfinishedMark(true);
            try {
                m_logDb->commit();
            } catch (const CDbException&) {
                if (journal)
                    journal->discard();
                rollback();
                throw;
            }
            if (journal)
                journal->finish();
        } else if (journal) {
            if (journalThread.joinable())
                journalThread.join();
            journal->discard();
        }
    }
    m_phase = Phase::Committed;
    m_logReady = false;
    releaseHeld();
    if (end == PassEnd::FileError) {
        failure = fileFailure;
        return false;
    }
    return end == PassEnd::Finished;
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
    m_noMatchLogged = false;
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

void ImportRun::endOfRecord()
{
    LotwRecord& r = *m_record;
    if (r.modeCode == QLatin1String("99")) {
        r.modeCode.clear();
        logRecordEvent(ProblemKind::Error, QStringLiteral("Mode?"));
        ClearLotwRecord(r);
        return;
    }
    if (r.bandCode == QLatin1String("99")) {
        r.bandCode.clear();
        logRecordEvent(ProblemKind::Error, QStringLiteral("Band?"));
        ClearLotwRecord(r);
        return;
    }
    r.modeCode = ResolveSidebandMode(r.modeCode, r.bandCode);
    if (!ValidateLotwRecord()) {
        ClearLotwRecord(r);
        return;
    }
    addToCounter(Counter::DownloadReadIn);
    if (!r.qslDate.isEmpty())
        noteQslDate();
    if (m_source == LotwRecordParser::StationCallSource::None)
        ++m_withoutStationCall;
    else
        m_withStationCall = true;
    if (m_source == LotwRecordParser::StationCallSource::OwnCall)
        noteOwnCallTaken();

    if (FindLoggedQso()) {
        const LoggedQso& q = m_row;
        const QString& confirm = q.confirm;
        const bool zeroOrOne = confirm == QLatin1String("0") || confirm == QLatin1String("1");
        const bool twoOrThree = confirm == QLatin1String("2") || confirm == QLatin1String("3");
        const bool eligible = r.dxccCredit == QLatin1String("DXCC") || r.vuccCredit == QLatin1String("VUCC")
                              || r.wpxCredit == QLatin1String("WPX") || q.lotwRec.isEmpty() || zeroOrOne
                              || (m_importScope == 0 && (zeroOrOne || twoOrThree));
        if (eligible && r.stationCall == q.oprCall && !r.qslDate.isEmpty()) {
            if (ApplyLotwRecord()) {
                addToCounter(Counter::DownloadRecsUsed);
                recordLine(QString(), m_importedFile);
            }
        }
        if (r.stationCall != q.oprCall) {
            addToCounter(Counter::DownloadErrors);
            // Every record counted here has its own line, a record without a station call too.
            if (!m_noMatchLogged)
                recordLine(QStringLiteral("  **No Match **"), m_errorFile);
        }
    }
    ClearLotwRecord(r);
    m_noMatchLogged = false;
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
    const qint64 logRows = m_logDb->countRows(QStringLiteral("[QSO-TAB]"));
    m_monitor.ReportProgress(0, logRows);
    m_qsos.load(*m_logDb, [this, logRows](qint64 rows) {
        m_held.PumpMessages();
        m_monitor.ReportProgress(rows, logRows);
    });
    m_monitor.ReportStage(RunStage::Matching);
    // How the confirmations will find their rows, where the engine had a choice.
    const QString locator = m_logDb->rowLocatorNote(QStringLiteral("[QSO-TAB]"));
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
    m_noMatchLogged = true;
    ClearLotwRecord(r);
    return false;
}

bool ImportRun::ApplyLotwRecord()
{
    LotwRecord& r = *m_record;
    // The row's values are changed where they are; a record that fails puts them back.
    LoggedQso& q = m_row;
    LoggedQso before;
    if (m_careful)
        before = m_row;
    // A column is written only when its value changes: a value equal to the one read is
    // never empty, so the column isn't null either, and writing it again would change
    // nothing. A row that keeps every value isn't written.
    unsigned changed = 0;
    auto write = [&](QString& column, const QString& value, unsigned bit) {
        if (column == value)
            return;
        // Copied into the column's own buffer, which the next row read reuses.
        column.resize(0);
        column.append(value);
        changed |= bit;
    };

    const long confirm = LeadingNumber(q.confirm);
    if (confirm == 0 || confirm == 2)
        write(q.confirm, QStringLiteral("2"), ImportQsoSet::Confirm);
    else if (confirm == 1 || confirm == 3)
        write(q.confirm, QStringLiteral("3"), ImportQsoSet::Confirm);

    FieldRules rules(r, m_overwriteChoice, m_problems, m_errorFile);
    auto field = [&](const char* word, const QString& lotw, QString& column, unsigned bit, bool isGrid) {
        if (rules.apply(QLatin1String(word), lotw, column, isGrid))
            write(column, lotw, bit);
    };
    field("CQ Zone", r.cqZone, q.cqZone, ImportQsoSet::CqZone, false);
    field("ITU Zone", r.ituZone, q.ituZone, ImportQsoSet::ItuZone, false);
    field("State", r.state, q.state, ImportQsoSet::State, false);
    field("County", r.county, q.county, ImportQsoSet::County, false);
    field("IOTA", r.iota, q.iota, ImportQsoSet::Iota, false);
    field("GRID", r.grid, q.grid, ImportQsoSet::Grid, true);

    if (!r.qslDate.isEmpty() && q.lotwRec.isEmpty())
        write(q.lotwRec, r.qslDate, ImportQsoSet::LotwRec);

    bool newDxcc = false;
    const bool dxcc = r.dxccCredit == QLatin1String("DXCC");
    const bool vucc = r.vuccCredit == QLatin1String("VUCC");
    const bool wpx = r.wpxCredit == QLatin1String("WPX");
    if (dxcc || vucc || wpx) {
        // Bits 2 and 16 to 256 and every bit above them stay as found; DXCC (1), WPX (4)
        // and VUCC (8) are set by the credits.
        const qint32 old = q.award;
        newDxcc = dxcc && !(old & 1);
        qint32 mask = old;
        if (dxcc)
            mask |= 1;
        if (wpx)
            mask |= 4;
        if (vucc)
            mask |= 8;
        if (mask != old) {
            q.award = mask;
            changed |= ImportQsoSet::Award;
        }
        r.dxccCredit.clear();
        r.vuccCredit.clear();
        r.wpxCredit.clear();
    }
    if (m_careful) {
        // Each row is written by one UPDATE statement, which the engine undoes by itself
        // when it fails; a row keyed by its values is refused before anything is written when
        // the values no longer pick out exactly one row.
        try {
            m_qsos.write(*m_logDb, m_entry, q, changed);
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
        m_qsos.change(m_entry, q, changed);
    }
    if (newDxcc)
        addToCounter(Counter::DownloadNewDxcc);
    return true;
}
