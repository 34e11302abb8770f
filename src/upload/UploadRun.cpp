#include "UploadRun.h"

#include "AdifUploadMapping.h"
#include "AdifUploadRecord.h"
#include "HandOffToTqsl.h"
#include "undo/UndoJournal.h"

#include "logdb/CPP2006SRC.h"
#include "logdb/CQSO2006SRC.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <filesystem>

// Thrown when the operator stopped the run before the upload file was in place.
class UploadRun::Stopped
{
};

namespace {

// Puts the monitor's error file back as it was when the run ends, however it ends.
class ErrorFileScope
{
public:
    ErrorFileScope(EventMonitor& monitor, QIODevice* file) : m_monitor(monitor), m_previous(monitor.errorFile)
    {
        m_monitor.errorFile = file;
    }
    ~ErrorFileScope() { m_monitor.errorFile = m_previous; }
    ErrorFileScope(const ErrorFileScope&) = delete;
    ErrorFileScope& operator=(const ErrorFileScope&) = delete;

private:
    EventMonitor& m_monitor;
    QIODevice* m_previous;
};

// Keeps the file at a path aside under a second name ("...previous") for as long as a run may
// still need to put it back: a second link to the same file where the file system has them,
// otherwise a copy.
class PreviousFile
{
public:
    explicit PreviousFile(const QString& path)
        : m_path(path.toStdU16String()), m_kept((path + QStringLiteral(".previous")).toStdU16String())
    {
    }

    bool keep(QString& error)
    {
        std::error_code ec;
        std::filesystem::remove(m_kept, ec); // left by a run that was killed
        m_had = std::filesystem::exists(m_path, ec);
        if (!m_had)
            return true;
        std::filesystem::create_hard_link(m_path, m_kept, ec);
        if (ec) {
            ec.clear();
            std::filesystem::copy_file(m_path, m_kept, std::filesystem::copy_options::overwrite_existing, ec);
        }
        if (ec) {
            error = QString::fromLocal8Bit(ec.message());
            std::filesystem::remove(m_kept, ec);
            return false;
        }
        m_keeping = true;
        return true;
    }

    // Puts the kept file back in place (or, when there was none, removes the new one).
    bool restore()
    {
        std::error_code ec;
        if (!m_had) {
            std::filesystem::remove(m_path, ec);
            return !ec;
        }
        if (!m_keeping)
            return false;
        std::filesystem::rename(m_kept, m_path, ec);
        m_keeping = ec.operator bool();
        return !ec;
    }

    void discard()
    {
        if (!m_keeping)
            return;
        std::error_code ec;
        std::filesystem::remove(m_kept, ec);
        m_keeping = false;
    }

    ~PreviousFile() { discard(); }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_kept;
    bool m_had = false;
    bool m_keeping = false;
};

bool isSelectableQsls(const QString& qsls)
{
    return qsls.size() == 1 && (qsls.at(0) == QLatin1Char('0') || qsls.at(0) == QLatin1Char('1'));
}

} // namespace

UploadRun::UploadRun(const Options& options, const Choices& choices, const QString& tq8Path, EventMonitor& monitor,
                     Desktop& desktop)
    : m_options(options), m_choices(choices), m_tq8Path(tq8Path), m_monitor(monitor), m_desktop(desktop)
{
}

UploadRun::~UploadRun() = default;

bool UploadRun::run()
{
    const bool test = m_choices.TestOnly;
    m_readIn = 0;
    m_adifOut = 0;
    m_refused = 0;
    m_marked = 0;
    m_pending.clear();

    for (int step : {Control::StepMakeAdif, Control::StepSignAdif, Control::StepMakeTq8, Control::StepClipboard,
                     Control::StepUpload})
        m_monitor.SetStepIcon(step, StepIcon::Blank);
    m_monitor.ClearUploadMonitor();
    m_desktop.setClipboardText(m_tq8Path.left(100));

    // The error file is created afresh for every run; when it can't be, problem lines still
    // reach the monitor.
    QFile errorFile(m_options.errorFilePath);
    const bool errorFileOpen = errorFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
    ErrorFileScope errorFileScope(m_monitor, errorFileOpen ? &errorFile : nullptr);

    try {
        bool adifOpen = false;
        if (!test) {
            // Written beside the old file and put in its place only when complete.
            m_adifFile = std::make_unique<QSaveFile>(m_options.uploadAdifPath);
            adifOpen = m_adifFile->open(QIODevice::WriteOnly);
        }
        m_monitor.SetCounter(Control::UploadAdifOut, 0);

        openTables();
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
        m_monitor.lastDbError = e.description();
        m_monitor.problemMessage.clear();
        m_monitor.record = ProblemRecord();
        try {
            m_monitor.LogRecordEvent(1);
        } catch (const CFileException& fileError) {
            m_monitor.ShowMessage(fileError.description());
        }
        abandon();
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

    // The new file takes the old one's place; the old one is kept aside until the log holds
    // the marks of the new one.
    PreviousFile previous(m_options.uploadAdifPath);
    QString keepError;
    if (!previous.keep(keepError)) {
        m_adifFile->cancelWriting();
        m_adifFile.reset();
        finishFailed(QStringLiteral("The upload file %1 was not written: the previous one could not be kept aside (%2). "
                                    "No QSO was marked as sent.")
                         .arg(m_options.uploadAdifPath, keepError));
        return false;
    }
    errno = 0;
    if (!m_adifFile->commit()) {
        const QString reason = FileErrorText(*m_adifFile, errno);
        m_adifFile.reset();
        previous.discard();
        finishFailed(QStringLiteral("Cannot write the ADIF upload file %1: %2. No QSO was marked as sent.")
                         .arg(m_options.uploadAdifPath, reason));
        return false;
    }
    m_adifFile.reset();
    m_monitor.SetStepIcon(Control::StepMakeAdif, StepIcon::Tick);

    if (!m_handOff) {
        QString error;
        if (!markUploaded(error)) {
            const bool restored = previous.restore();
            finishFailed(QStringLiteral("The log could not be marked: %1. No QSO was marked as sent; %2")
                             .arg(error, restored ? QStringLiteral("the previous upload file is back in place.")
                                                  : QStringLiteral("the new upload file stays.")));
            return false;
        }
        previous.discard();
        return true;
    }

    // TQSL signs the file that is now in place. The previous one is kept aside until TQSL has
    // signed: when the operator stops the wait for TQSL, it is put back.
    const HandOffResult handOff = HandOffToTqsl(m_options, m_choices, m_adifOut, m_desktop, m_monitor, m_stationFile);
    if (!handOff.signedFile && m_monitor.StopRequested()) {
        const bool restored = previous.restore();
        reportStopped(QStringLiteral("TQSL did not sign the upload file (%1). No QSO was marked as sent; %2")
                          .arg(handOff.failure,
                               restored ? QStringLiteral("the previous upload file is back in place.")
                                        : QStringLiteral("the new upload file %1 stays.").arg(m_options.uploadAdifPath)));
        return false;
    }
    previous.discard();
    if (!handOff.signedFile) {
        QString text = QStringLiteral("TQSL did not sign the upload file: %1").arg(handOff.failure);
        if (handOff.tqslStatus >= 0)
            text += QStringLiteral(" (TQSL status %1)").arg(handOff.tqslStatus);
        text += QLatin1Char('.');
        if (!handOff.tqslLines.isEmpty())
            text += QStringLiteral("\nTQSL: ") + handOff.tqslLines.join(QStringLiteral("\nTQSL: "));
        text += QStringLiteral("\nNo QSO was marked as sent: the %1 QSOs of this run stay due for LoTW. "
                               "The file %2 is kept for you to look at.")
                    .arg(m_adifOut)
                    .arg(m_options.uploadAdifPath);
        finishFailed(text);
        return false;
    }

    QString error;
    if (!markUploaded(error)) {
        finishFailed(QStringLiteral("TQSL signed the upload file, but the log could not be marked: %1. The QSOs stay due "
                                    "for LoTW in the log.")
                         .arg(error));
        return false;
    }
    if (handOff.someSkipped)
        m_monitor.ShowMessage(QStringLiteral("TQSL signed the upload file but skipped some of its QSOs: they were "
                                             "already uploaded before, or lie outside the dates of the station's "
                                             "callsign certificate (TQSL's lines in the upload monitor name them). "
                                             "All %1 QSOs of the file are marked as sent.")
                                  .arg(m_marked));
    if (!handOff.pageFailure.isEmpty())
        m_monitor.ShowMessage(handOff.pageFailure + QStringLiteral(" The signed file is ") + m_tq8Path + QLatin1Char('.'));
    return true;
}

void UploadRun::reportStopped(const QString& outcome)
{
    // The newest line is the one the monitor shows at its top.
    m_monitor.AddUploadEvent(outcome);
    m_monitor.AddUploadEvent(QStringLiteral("Stopped by the operator"));
}

void UploadRun::finishFailed(const QString& message)
{
    m_monitor.AddUploadEvent(message.section(QLatin1Char('\n'), 0, 0));
    m_monitor.ShowMessage(message);
}

// Marks the QSOs of the file as sent, in one transaction: "0" becomes "2" and "1" becomes "3",
// each only where the row still holds the value the file was made from. A row another program
// changed meanwhile keeps its value and gets a warning line. A busy log is tried again for a
// while before the run gives up; on failure nothing is marked.
bool UploadRun::markUploaded(QString& error)
{
    static const std::vector<ColumnSpec> qsls = {{QStringLiteral("[QSO-QSLS]"), ColumnType::Text}};
    static const QString table = QStringLiteral("[QSO-TAB]");
    static const QVariant zero = QStringLiteral("0"), one = QStringLiteral("1");
    static const QVariant two = QStringLiteral("2"), three = QStringLiteral("3");
    // What the marks change is kept first, so that the run can be taken back.
    std::unique_ptr<UndoJournal> journal;
    if (!m_undoFolder.isEmpty()) {
        try {
            journal = UndoJournal::begin(m_undoFolder, QStringLiteral("upload"), m_options.sourceMdbPath,
                                         m_qsos->database(), qsls);
            for (const Pending& p : m_pending)
                journal->add(p.key, {p.wasOne ? one : zero}, {p.wasOne ? three : two});
            journal->seal();
        } catch (const CFileException& e) {
            error = e.description();
            return false;
        } catch (const CDbException& e) {
            if (journal)
                journal->discard();
            error = e.description();
            return false;
        }
    }
    std::vector<size_t> changed;
    Connection* db = nullptr;
    size_t at = 0;
    try {
        db = &m_qsos->database();
        db->beginTransaction();
        // One statement for every mark, its values made once.
        const std::unique_ptr<ConditionalUpdate> mark = db->prepareUpdateIfUnchanged(table, qsls, qsls);
        const QVariantList toTwo{two}, toThree{three}, wasZero{zero}, wasOne{one};
        // Rows that lay one after another in the walk with the same value are marked together,
        // in stretches short enough for the window to hear from the run in between.
        constexpr size_t kStretch = 65536;
        std::vector<const RowKey*> keys;
        for (at = 0; at < m_pending.size();) {
            const Pending& first = m_pending[at];
            size_t end = at + 1;
            while (end < m_pending.size() && end - at < kStretch && m_pending[end].row == m_pending[end - 1].row + 1
                   && m_pending[end].wasOne == first.wasOne)
                ++end;
            keys.clear();
            for (size_t i = at; i < end; ++i)
                keys.push_back(&m_pending[i].key);
            const QVariantList& values = first.wasOne ? toThree : toTwo;
            const QVariantList& expected = first.wasOne ? wasOne : wasZero;
            std::vector<size_t> notWritten;
            try {
                notWritten = mark->runAdjacent(keys, values, expected);
            } catch (const CDbException&) {
                // Once more one row at a time, so that the failure names the row it is about;
                // only while the transaction still holds (an engine that gave it up has nothing
                // left to undo, and a row written now would stay written).
                if (keys.size() == 1 || !db->inTransaction())
                    throw;
                for (; at < end; ++at)
                    mark->run(m_pending[at].key, values, expected);
                throw;
            }
            for (size_t i : notWritten)
                changed.push_back(at + i);
            at = end;
            m_monitor.PumpMessages();
        }
        db->commit();
    } catch (const CDbException& e) {
        if (db) {
            try {
                db->rollback();
            } catch (const CDbException&) {
                // The failure itself is reported below.
            }
        }
        // The engine has waited for a log another program holds (5 s) before it gave up;
        // the run gives up with it, as every run does.
        if (journal)
            journal->discard();
        error = e.description();
        m_monitor.lastDbError = e.description();
        m_monitor.record = ProblemRecord();
        m_monitor.problemMessage = e.description();
        try {
            if (at < m_pending.size() && m_qsos->moveToKey(m_pending[at].key)) {
                setProblemRecord();
                m_monitor.problemMessage = m_qsos->qsoCall + QLatin1Char(' ') + e.description();
            }
            m_qsos->close();
        } catch (const CDbException&) {
            // The row cannot be read back either; the line names the failure alone.
        }
        try {
            m_monitor.LogRecordEvent(1);
        } catch (const CFileException& fileError) {
            m_monitor.ShowMessage(fileError.description());
        }
        return false;
    }
    if (journal)
        journal->finish(changed);
    m_marked = long(m_pending.size() - changed.size());
    m_monitor.AddUploadEvent(QStringLiteral("Marked %1 QSOs as sent to LoTW").arg(m_marked));
    for (size_t i : changed) {
        try {
            if (m_qsos->moveToKey(m_pending[i].key))
                setProblemRecord();
            else
                m_monitor.record = ProblemRecord();
            m_qsos->close();
            m_monitor.problemMessage = QStringLiteral("Not marked as sent: changed by another program after it was "
                                                      "written to the upload file:");
            m_monitor.LogRecordEvent(2);
        } catch (const CDbException&) {
            // The row cannot even be read back; the count below still says it.
        } catch (const CFileException& e) {
            m_monitor.ShowMessage(e.description());
        }
    }
    if (!changed.empty())
        m_monitor.AddUploadEvent(QStringLiteral("%1 QSOs were changed by another program after they were written to "
                                                "the upload file and were not marked")
                                     .arg(changed.size()));
    return true;
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
        m_qsos->open();
        m_monitor.AddUploadEvent(QStringLiteral("Opened QSO-TAB table"));
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

namespace {

// The columns the walk reads, by their place among the log's columns.
struct WalkColumns
{
    int call, date, time, rstSent, rstRcvd, power, ituZone, oprCall, wpx, confirm, name, iota, band, cqZone, mode,
        submode, qsls, prefix, sat, freq, state, county, valid;
};

int columnAt(const std::vector<ColumnSpec>& specs, const char* name)
{
    for (size_t i = 0; i < specs.size(); ++i) {
        if (specs[i].name == QLatin1StringView(name))
            return int(i);
    }
    return -1;
}

// A text column into a text kept from row to row: ASCII bytes widened in place (no new
// buffer once the text has held as many characters), anything else through the engine's
// text.
void readText(const Cursor& cursor, int column, QString& text)
{
    std::string_view bytes;
    if (!cursor.asciiText(column, bytes)) {
        text = cursor.text(column);
        return;
    }
    text.resize(qsizetype(bytes.size()));
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (char c : bytes)
        *out++ = char16_t(static_cast<unsigned char>(c));
}

} // namespace

// Reads the log once, in its own order, with only the columns the records and the problem
// lines need (every column where the engine knows a row only by all its values, so that the
// key read tells the rows apart).
void UploadRun::walk()
{
    Connection& db = m_qsos->database();
    static const QString table = QStringLiteral("[QSO-TAB]");
    const std::vector<ColumnSpec>& all = CQSO2006SRC::columnSpecs();
    static const char* const wanted[] = {
        "[QSO-CALL]",    "[QSO-DATE]",  "[QSO-TIME]",   "[QSO-RSTS]",   "[QSO-RSTR]",   "[QSO-POWER]",
        "[QSO-ITU-ZONE]", "[QSO-OPRCALL]", "[QSO-WPX]",  "[QSO-CONFIRM]", "[QSO-NAME]", "[QSO-IOTA]",
        "[QSO-BAND]",    "[QSO-CQ-ZONE]", "[QSO-MODE]", "[QSO-SUBMODE]", "[QSO-QSLS]",  "[QSO-PREFIX]",
        "[QSO-SAT]",     "[QSO-FREQ]",  "[QSO-STATE]",  "[QSO-COUNTY]", "[QSO-VALID]",
    };
    static_assert(sizeof wanted / sizeof wanted[0] == sizeof(WalkColumns) / sizeof(int));
    std::vector<ColumnSpec> columns;
    WalkColumns at{};
    int* place = &at.call;
    const bool allColumns = db.rowsKnownByValues(table);
    for (const char* name : wanted) {
        const int inLog = columnAt(all, name);
        if (allColumns) {
            *place++ = inLog;
        } else {
            *place++ = int(columns.size());
            columns.push_back(all[size_t(inLog)]);
        }
    }
    if (allColumns)
        columns = all;

    // The number of rows is only for the progress shown: a log that can't count them is walked
    // all the same.
    qint64 rows = 0;
    try {
        rows = db.countRows(table);
    } catch (const CDbException&) {
        rows = 0;
    }
    const std::unique_ptr<Cursor> cursor = db.select(table, columns, QString(), QString());
    UploadQsoValues& values = m_values;
    while (cursor->next()) {
        m_monitor.PumpMessages();
        if (m_monitor.StopRequested())
            throw Stopped();
        readText(*cursor, at.qsls, m_qslsRead);
        readText(*cursor, at.oprCall, values.oprCall);
        if (isSelectableQsls(m_qslsRead) && values.oprCall == m_choices.SigningCall
            && qint32(cursor->integer(at.valid)) != 0) {
            readText(*cursor, at.call, values.call);
            readText(*cursor, at.date, values.date);
            readText(*cursor, at.time, values.time);
            readText(*cursor, at.rstSent, values.rstSent);
            readText(*cursor, at.rstRcvd, values.rstRcvd);
            readText(*cursor, at.power, values.power);
            readText(*cursor, at.ituZone, values.ituZone);
            readText(*cursor, at.wpx, values.wpx);
            readText(*cursor, at.confirm, values.confirm);
            readText(*cursor, at.name, values.name);
            readText(*cursor, at.iota, values.iota);
            readText(*cursor, at.band, values.band);
            readText(*cursor, at.cqZone, values.cqZone);
            readText(*cursor, at.mode, values.mode);
            readText(*cursor, at.submode, values.submode);
            readText(*cursor, at.prefix, values.prefix);
            readText(*cursor, at.sat, values.sat);
            readText(*cursor, at.freq, values.freq);
            readText(*cursor, at.state, m_state);
            readText(*cursor, at.county, m_county);
            uploadQso(*cursor);
        }
        ++m_readIn;
        m_monitor.SetCounter(Control::UploadReadIn, m_readIn);
        m_monitor.ShowCounters();
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
        reportRefused(QStringLiteral("Not uploaded, the time \"%1\" is not HHMMSS:").arg(values.time));
        return;
    case UploadRecordProblem::None:
        break;
    }

    // The record shows the QSO as it stands once marked ("0" -> "2", "1" -> "3"); a test run
    // shows it as it stands.
    const bool wasOne = m_qslsRead == QLatin1String("1");
    if (m_choices.TestOnly) {
        values.qsls = m_qslsRead;
    } else {
        m_pending.push_back(Pending{cursor.key(), m_readIn, wasOne});
        values.qsls = wasOne ? QStringLiteral("3") : QStringLiteral("2");
    }

    m_text.truncate(0); // keeps its room for the next record
    AppendAdifRecord(values, FindDxcc(values.prefix), m_text);
    writeText(m_text);

    ++m_adifOut;
    m_monitor.SetCounter(Control::UploadAdifOut, m_adifOut);
    m_monitor.ShowCounters();
}

// The QSO the recordset stands on is the one the next problem line is about.
void UploadRun::setProblemRecord()
{
    const CQSO2006SRC& qso = *m_qsos;
    m_monitor.record = {qso.qsoCall, qso.qsoDate, qso.qsoTime, qso.qsoBand, qso.qsoMode, qso.qsoState, qso.qsoCounty};
}

// A selected QSO that TQSL would refuse is left unmarked and unwritten.
void UploadRun::reportRefused(const QString& reason)
{
    ++m_refused;
    m_monitor.record = {m_values.call, m_values.date, m_values.time, m_values.band, m_values.mode, m_state, m_county};
    m_monitor.problemMessage = reason;
    m_monitor.LogRecordEvent(1);
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
    m_pending.clear();
    if (m_adifFile) {
        m_adifFile->cancelWriting();
        m_adifFile.reset();
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
