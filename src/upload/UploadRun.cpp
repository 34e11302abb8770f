#include "UploadRun.h"

#include "AdifUploadMapping.h"
#include "AdifUploadRecord.h"
#include "PreviousFile.h"
#include "UploadMarks.h"
#include "UploadWalk.h"
#include "undo/UndoJournal.h"

#include "logdb/CPP2006SRC.h"
#include "logdb/CQSO2006SRC.h"
#include "logdb/QsoTable.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/ProblemLog.h"

#include <QFile>
#include <QSaveFile>
#include <QScopeGuard>

#include <algorithm>
#include <numeric>
#include <cerrno>

// Thrown when the operator stopped the run before the upload file was in place.
class UploadRun::Stopped
{
};

namespace {

// 0, 1, ... count - 1: every QSO of the file.
std::vector<size_t> everyPlace(size_t count)
{
    std::vector<size_t> places(count);
    std::iota(places.begin(), places.end(), size_t(0));
    return places;
}

} // namespace

UploadRun::UploadRun(const Options& options, const Choices& choices, EventMonitor& monitor, Desktop& desktop)
    : m_options(options), m_choices(choices), m_monitor(monitor), m_desktop(desktop)
{
}

UploadRun::~UploadRun() = default;

bool UploadRun::run()
{
    m_readIn = 0;
    m_adifOut = 0;
    m_refused = 0;
    m_signed = 0;
    m_marked = 0;
    m_twinsMarked = 0;
    m_marks.clear();
    m_counters = RunCounters();

    for (Step step : {Step::MakeAdif, Step::SignAdif, Step::MakeTq8, Step::Clipboard, Step::Upload})
        m_monitor.SetStepIcon(step, StepIcon::Blank);
    m_monitor.ClearUploadMonitor();

    // The error file is created afresh for every run; when it can't be, problem lines still
    // reach the monitor.
    m_problems.createErrorFile(m_options.errorFilePath);
    const auto closeErrorFile = qScopeGuard([this] { m_problems.closeErrorFile(); });

    PreviousFile* previous = nullptr;
    if (!writeFile(previous))
        return false;
    if (!previous)
        return true; // a test run, or nothing to upload
    // The previous upload file is kept aside until the new one is signed and its QSOs marked.
    const std::unique_ptr<PreviousFile> keptFile(previous);
    m_monitor.SetStepIcon(Step::MakeAdif, StepIcon::Tick);

    if (!m_handOff) {
        m_monitor.AddUploadEvent(QStringLiteral("Without TQSL: the %1 QSOs of the file are marked as sent unsigned; "
                                                "nothing goes to LoTW.")
                                     .arg(m_adifOut));
        QString error;
        std::vector<size_t> changed;
        if (!markRows(everyPlace(m_marks.size()), error, changed)) {
            finishFailed(QStringLiteral("The log could not be marked: %1. No QSO was marked as sent; %2")
                             .arg(WithoutFinalStop(error), takeBackFile(*keptFile)));
            return false;
        }
        keptFile->discard();
        reportChanged(changed);
        m_monitor.AddUploadEvent(QStringLiteral("Marked %1 QSOs as sent to LoTW").arg(m_marked));
        return true;
    }
    return handOff(*keptFile);
}

// Walks the log and writes the upload file. False when the run ended there (reported);
// otherwise previous is the kept previous upload file once a new file with records is in
// place, or null (a test run, or no QSO to upload).
bool UploadRun::writeFile(PreviousFile*& previous)
{
    const bool test = m_choices.TestOnly;
    previous = nullptr;
    try {
        bool adifOpen = false;
        if (!test) {
            // Written beside the old file and put in its place only when complete.
            m_adifFile = std::make_unique<QSaveFile>(m_options.uploadAdifPath);
            adifOpen = m_adifFile->open(QIODevice::WriteOnly);
        }
        m_counters.set(Counter::UploadAdifOut, 0);

        openTables();
        // Marks an earlier upload could not write go first: the QSOs LoTW took must not be
        // selected again.
        if (!test && !writeKeptMarks()) {
            abandon();
            return false;
        }
        if (!test) {
            // A file that could not be created stops the run where its header would be
            // written: after the tables are open, before any QSO is read.
            if (!adifOpen)
                throw CFileException(QStringLiteral("Cannot create the ADIF upload file ") + m_options.uploadAdifPath
                                     + QStringLiteral(": ") + FileErrorText(*m_adifFile, errno));
        }
        buildDxccTable();
        if (!test) {
            QString header;
            for (const QString& line : AdifHeaderLines())
                header += line + QLatin1StringView("\r\n");
            writeText(header);
        }

        walk();
        closeTables();
        // The file is not in place yet: a stop now still leaves everything as it was.
        if (m_monitor.StopRequested())
            throw Stopped();
    } catch (const Stopped&) {
        abandon();
        reportStopped(QStringLiteral("No QSO was marked as sent; the upload file %1 is as it was.")
                          .arg(m_options.uploadAdifPath));
        return false;
    } catch (const CDbException& e) {
        m_problems.noteDbError(e.description());
        // The prefix table is opened after the log's: it is the one that failed when the log's
        // is open and it is not.
        const bool reference = m_qsos && m_qsos->isOpen() && m_prefixes && !m_prefixes->isOpen();
        abandon();
        // Said whole, in the upload monitor, the error file and a message.
        finishFailed(QStringLiteral("ERROR:  The %1 could not be read: %2. No QSO was marked as sent.")
                         .arg(reference ? QStringLiteral("reference database") : QStringLiteral("log"),
                              WithoutFinalStop(e.description())));
        return false;
    } catch (const CFileException& e) {
        m_monitor.ShowMessage(e.description());
        abandon();
        return false;
    }

    if (m_adifOut == 0) {
        // Nothing to upload: the previous upload file stays as it is.
        if (m_adifFile) {
            m_adifFile->cancelWriting();
            m_adifFile.reset();
        }
        m_monitor.AddUploadEvent(QStringLiteral("NO QSOs for Uploading !!!! "));
        return true;
    }
    if (test)
        return true;

    return putInPlace(previous);
}

// The file swap: the new upload file takes the old one's place, and the old one is kept aside
// until the log holds the marks of the new one (previous). False when the new file could not
// be put in place (said; the old one stays).
bool UploadRun::putInPlace(PreviousFile*& previous)
{
    auto kept = std::make_unique<PreviousFile>(m_options.uploadAdifPath, PreviousFile::Way::Link);
    QString keepError;
    if (!kept->keep(keepError)) {
        m_adifFile->cancelWriting();
        m_adifFile.reset();
        fileGone();
        finishFailed(QStringLiteral("The upload file %1 was not written: the previous one could not be kept aside (%2). "
                                    "No QSO was marked as sent.")
                         .arg(m_options.uploadAdifPath, keepError));
        return false;
    }
    errno = 0;
    if (!m_adifFile->commit()) {
        const QString reason = FileErrorText(*m_adifFile, errno);
        m_adifFile.reset();
        kept->discard();
        fileGone();
        finishFailed(QStringLiteral("Cannot write the ADIF upload file %1: %2. No QSO was marked as sent.")
                         .arg(m_options.uploadAdifPath, reason));
        return false;
    }
    m_adifFile.reset();
    previous = kept.release();
    return true;
}

QString UploadRun::takeBackFile(PreviousFile& previous)
{
    const bool had = previous.hadFile();
    if (!previous.restore())
        return QStringLiteral("the new upload file %1 stays.").arg(m_options.uploadAdifPath);
    // The file the counter counted is gone.
    fileGone();
    return had ? QStringLiteral("the previous upload file is back in place.")
               : QStringLiteral("the new upload file is removed (there was none before).");
}

void UploadRun::fileGone()
{
    m_adifOut = 0;
    m_counters.set(Counter::UploadAdifOut, 0);
    m_monitor.ShowCounters(m_counters);
}

void UploadRun::reportStopped(const QString& outcome)
{
    // The newest line is the one the monitor shows at its top.
    m_monitor.AddUploadEvent(outcome);
    m_monitor.AddUploadEvent(QStringLiteral("Stopped by the operator"));
}

void UploadRun::finishFailed(const QString& message)
{
    uploadProblem(message.section(QLatin1Char('\n'), 0, 0));
    m_monitor.ShowMessage(message);
}

void UploadRun::uploadProblem(const QString& line)
{
    m_monitor.AddUploadEvent(line);
    QString failure;
    if (!m_problems.writeErrorLine(line, &failure))
        m_monitor.AddUploadEvent(QStringLiteral("An error occurred while writing the error file: ") + failure);
}

void UploadRun::openTables()
{
    if (!m_qsos) {
        m_ownQsos = std::make_unique<CQSO2006SRC>(m_options.sourceMdbPath);
        m_qsos = m_ownQsos.get();
    }
    if (!m_prefixes) {
        m_ownPrefixes = std::make_unique<CPP2006SRC>(m_options.refdataMdbPath);
        m_prefixes = m_ownPrefixes.get();
    }
    if (!m_qsos->isOpen()) {
        m_qsos->openWithoutReading();
        m_monitor.AddUploadEvent(QStringLiteral("Opened QSO-TAB table"));
        // How the marks will find their rows, where the engine had a choice.
        const QString locator = m_qsos->database().rowLocatorNote(QsoTable::name());
        if (!locator.isEmpty())
            m_monitor.AddUploadEvent(locator);
    }
    if (!m_prefixes->isOpen()) {
        m_prefixes->open();
        m_monitor.AddUploadEvent(QStringLiteral("Opened PRI-PFX table"));
        m_monitor.AddUploadEvent(QString());
    }
}

// The DXCC lookup table, built in one pass: the first row of a prefix in table order wins.
// Kept sorted by prefix (a short text looked up for every QSO).
void UploadRun::buildDxccTable()
{
    m_dxccByPrefix.clear();
    CPP2006SRC& prefixes = *m_prefixes;
    if (prefixes.isBOF() && prefixes.isEOF())
        return;
    prefixes.moveFirst();
    while (!prefixes.isEOF()) {
        m_dxccByPrefix.emplace_back(prefixes.prefix, prefixes.arrlId);
        prefixes.moveNext();
    }
    const auto byPrefix = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(m_dxccByPrefix.begin(), m_dxccByPrefix.end(), byPrefix);
    const auto samePrefix = [](const auto& a, const auto& b) { return a.first == b.first; };
    m_dxccByPrefix.erase(std::unique(m_dxccByPrefix.begin(), m_dxccByPrefix.end(), samePrefix), m_dxccByPrefix.end());
}

const QString* UploadRun::FindDxcc(const QString& prefix) const
{
    const auto found = std::lower_bound(m_dxccByPrefix.begin(), m_dxccByPrefix.end(), prefix,
                                        [](const auto& entry, const QString& p) { return entry.first < p; });
    return found == m_dxccByPrefix.end() || found->first != prefix ? nullptr : &found->second;
}

// Reads the log once, in its own order, with only the columns the records and the problem
// lines need (every column where the engine knows a row only by all its values, so that the
// key read tells the rows apart).
void UploadRun::walk()
{
    Connection& db = m_qsos->database();
    const WaitNoticeScope notice(db, WaitNotice(m_monitor, true, m_options.sourceMdbPath));
    const UploadWalkColumns columns = UploadWalkColumns::of(db);

    // The number of rows is only for the progress shown: a log that can't count them is walked
    // all the same.
    qint64 rows = 0;
    try {
        rows = db.countRows(QsoTable::name());
    } catch (const CDbException&) {
        rows = 0;
    }
    const std::unique_ptr<Cursor> cursor = db.select(QsoTable::name(), columns.specs, QString(), QString());
    UploadQsoValues& values = m_values;
    while (cursor->next()) {
        m_monitor.PumpMessages();
        if (m_monitor.StopRequested())
            throw Stopped();
        columns.readSelection(*cursor, m_qslsRead, values.oprCall, m_validRead);
        if (SentMark::isDue(m_qslsRead) && values.oprCall == m_choices.SigningCall && qint32(m_validRead) != 0) {
            columns.readRecord(*cursor, values, m_state, m_county);
            uploadQso(*cursor);
        }
        ++m_readIn;
        m_counters.set(Counter::UploadReadIn, m_readIn);
        m_monitor.ShowCounters(m_counters);
        m_monitor.ReportProgress(m_readIn, rows);
    }
}

void UploadRun::uploadQso(const Cursor& cursor)
{
    UploadQsoValues& values = m_values;
    switch (CheckUploadCodes(values)) {
    case UploadRecordProblem::UnknownBand:
        reportRefused(QStringLiteral("Not uploaded, no ADIF band for code \"%1\":").arg(values.band));
        return;
    case UploadRecordProblem::UnknownMode:
        reportRefused(QStringLiteral("Not uploaded, no ADIF mode for code \"%1\":").arg(values.mode));
        return;
    case UploadRecordProblem::NoSubmode:
        reportRefused(QStringLiteral("Not uploaded, a digital QSO (mode code 6) without a submode:"));
        return;
    case UploadRecordProblem::UnknownSubmode:
        reportRefused(QStringLiteral("Not uploaded, TQSL does not know the mode \"%1\":").arg(values.submode));
        return;
    case UploadRecordProblem::BadDate:
        reportRefused(QStringLiteral("Not uploaded, the date \"%1\" is not YYYYMMDD:").arg(values.date));
        return;
    case UploadRecordProblem::BadTime:
        reportRefused(QStringLiteral("Not uploaded, the time \"%1\" is not HHMM or HHMMSS:").arg(values.time));
        return;
    case UploadRecordProblem::None:
        break;
    }

    // The record shows the QSO as it stands once marked; a test run shows it as it stands.
    const bool wasOne = SentMark::isOne(m_qslsRead);
    if (m_choices.TestOnly) {
        values.qsls = m_qslsRead;
    } else {
        m_marks.push_back(UploadMark{PackedRowKey(cursor.key()), m_readIn, wasOne,
                                     UploadRowDigest(values, m_qslsRead, m_validRead)});
        values.qsls = SentMark::marked(wasOne);
    }

    m_text.truncate(0); // keeps its room for the next record
    AppendAdifRecord(values, FindDxcc(values.prefix), m_text);
    writeText(m_text);

    ++m_adifOut;
    m_counters.set(Counter::UploadAdifOut, m_adifOut);
    m_monitor.ShowCounters(m_counters);
}

// A selected QSO that TQSL would refuse is left unmarked and unwritten.
void UploadRun::reportRefused(const QString& reason)
{
    ++m_refused;
    m_problems.LogRecordEvent(ProblemKind::Error, reason,
                              {m_values.call, m_values.date, m_values.time, m_values.band, m_values.mode, m_state, m_county});
}

// Writes lines (each ended by CR LF) to the upload file and shows them in the upload monitor.
void UploadRun::writeText(const QString& text)
{
    // UTF-8, converted into a buffer reused from record to record.
    m_bytes.resize(text.size() * 3);
    char* const begin = m_bytes.data();
    char* const end = m_utf8.appendToBuffer(begin, text);
    m_bytes.truncate(end - begin);
    m_monitor.AddUploadLines(m_bytes);
    if (!m_adifFile)
        return;
    errno = 0;
    if (m_adifFile->write(m_bytes) != m_bytes.size())
        throw CFileException(QStringLiteral("An error occurred while writing the ADIF upload file ")
                             + m_options.uploadAdifPath + QStringLiteral(": ") + FileErrorText(*m_adifFile, errno));
}

void UploadRun::closeTables()
{
    m_qsos->close();
    m_monitor.AddUploadEvent(QStringLiteral("Closed QSO-TAB table"));
    m_prefixes->close();
    m_monitor.AddUploadEvent(QStringLiteral("Closed PRI-PFX table"));
    m_monitor.AddUploadEvent(QString());
}

// After a failure: the half-written file is discarded (the old one stays), nothing has been
// marked, and the tables are closed at once.
void UploadRun::abandon()
{
    m_marks.clear();
    if (m_adifFile) {
        m_adifFile->cancelWriting();
        m_adifFile.reset();
        fileGone();
    }
    for (CRecordset* recordset : {static_cast<CRecordset*>(m_qsos), static_cast<CRecordset*>(m_prefixes)}) {
        if (!recordset)
            continue;
        try {
            recordset->close();
        } catch (const CDbException&) {
            // Closing after a failure: the failure has been reported already.
        }
    }
}

// Marks the rows of m_marks at the given places as sent (UploadMarks), and says when rows
// logged twice were marked together.
bool UploadRun::markRows(const std::vector<size_t>& places, QString& error, std::vector<size_t>& changed)
{
    UploadMarks marks(*m_qsos, m_marks, m_problems, m_options.sourceMdbPath, m_undoFolder);
    if (!marks.markRows(places, error, changed))
        return false;
    m_twinsMarked += marks.twinsMarked();
    if (m_twinsMarked > 0) {
        uploadProblem(QStringLiteral("Warning: %1 QSOs of the file are logged more than once (rows equal in every column, "
                                     "which the log cannot tell apart); each was marked as sent together with its twin.")
                          .arg(m_twinsMarked));
        m_twinsMarked = 0;
    }
    m_marked += marks.marked();
    return true;
}

// Writes the marks an earlier upload kept because the log could not take them after LoTW took
// its QSOs. False (reported) when they can't be written now: the run then selects nothing.
bool UploadRun::writeKeptMarks()
{
    if (m_undoFolder.isEmpty())
        return true;
    const KeptMarks kept(m_undoFolder);
    if (!kept.exist())
        return true;
    QDateTime made;
    QString problem;
    if (!kept.load(m_options.sourceMdbPath, m_marks, made, problem)) {
        finishFailed(QStringLiteral("The marks that an earlier upload could not write are kept in %1, but %2. No QSO "
                                    "was selected, so that none goes to LoTW twice. Move that file away once the "
                                    "QSOs it names are marked as sent in the log.")
                         .arg(kept.path(), problem));
        m_marks.clear();
        return false;
    }
    m_monitor.AddUploadEvent(QStringLiteral("Writing the marks of the upload of %1 that LoTW took: %2 QSOs")
                                 .arg(made.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                 .arg(m_marks.size()));
    const std::vector<size_t> all = everyPlace(m_marks.size());
    QString error;
    std::vector<size_t> changed;
    if (!markRows(all, error, changed)) {
        finishFailed(QStringLiteral("The marks of an earlier upload that LoTW took could not be written yet: %1. No "
                                    "QSO was selected, so that none goes to LoTW twice; run the upload again when "
                                    "the log is free.")
                         .arg(WithoutFinalStop(error)));
        m_marks.clear();
        return false;
    }
    for (size_t place : changed) {
        QString named;
        try {
            if (m_qsos->moveToKey(m_marks[place].key.unpack()))
                named = m_qsos->qsoCall + QLatin1Char(' ') + m_qsos->qsoDate + QLatin1Char(' ') + m_qsos->qsoTime;
            m_qsos->close();
        } catch (const CDbException&) {
        }
        uploadProblem(QStringLiteral("Warning: not marked as sent, changed by another program since LoTW took it: %1")
                          .arg(named.isEmpty() ? QStringLiteral("(the row is gone)") : named));
    }
    m_monitor.AddUploadEvent(QStringLiteral("Marked %1 QSOs as sent to LoTW (kept from the earlier upload)")
                                 .arg(long(all.size() - changed.size())));
    if (!kept.remove())
        uploadProblem(QStringLiteral("Warning: %1 could not be removed; its marks are written.").arg(kept.path()));
    m_marks.clear();
    m_marked = 0;
    return true;
}
