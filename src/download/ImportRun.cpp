#include "ImportRun.h"

#include "CountyNormaliser.h"
#include "DbCountyTable.h"
#include "FieldRules.h"
#include "LotwFieldRules.h"
#include "LotwRecordParser.h"
#include "LotwReportReader.h"
#include "logdb/CDxb96CountySet.h"
#include "ImportQsoSet.h"
#include "logdb/Connection.h"
#include "options/Choices.h"
#include "options/Options.h"
#include "options/OptionsStore.h"
#include "options/QslDateFile.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

constexpr int kDownloadCounters[] = {Control::DownloadRecsUsed, Control::DownloadNewDxcc, Control::DownloadErrors,
                                     Control::DownloadReadIn, Control::DownloadWarnings};
} // namespace

ImportRun::ImportRun(const Options& options, Choices& choices, const Paths& paths, EventMonitor& monitor)
    : m_options(options), m_choices(choices), m_paths(paths), m_monitor(monitor)
{
}

ImportRun::~ImportRun() = default;

void ImportRun::setConnections(std::shared_ptr<Connection> log, std::shared_ptr<Connection> reference)
{
    m_logDb = std::move(log);
    m_refDb = std::move(reference);
}

bool ImportRun::OnLotwImport()
{
    m_monitor.SetStepIcon(Control::ProblemPointer, StepIcon::Blank);
    m_dateSavedThisRun = false;
    m_noMatchLogged = false;
    m_stationCallNoted = false;
    m_monitor.ClearDownloadMonitor();
    for (int counter : kDownloadCounters)
        m_monitor.SetCounter(counter, 0);
    m_monitor.ShowCounters();
    takeChoices();

    // A file that can't be created fails at its first write.
    m_errorFile.create(m_options.errorFilePath);
    m_importedFile.create(m_options.importedListPath);
    m_monitor.errorFile = &m_errorFile.device();

    bool ranToEnd = false;
    QString failure;
    long stoppedAfter = -1; // records read when the operator stopped the run
    try {
        ranToEnd = runBody();
        commitTransaction();
    } catch (const OperatorStop& stop) {
        stoppedAfter = stop.recordsRead;
    } catch (const CDbException& e) {
        failure = e.description();
    } catch (const CFileException& e) {
        failure = e.description();
    }
    if (!failure.isEmpty() || stoppedAfter >= 0) {
        // Every row written so far is complete: keep them, as the lists already name them.
        try {
            commitTransaction();
        } catch (const CDbException& e) {
            failure += QLatin1Char('\n') + e.description();
        }
    }

    if (m_qsos)
        m_qsos->close();
    if (m_counties)
        m_counties->close();
    m_monitor.errorFile = nullptr;
    try {
        if (failure.isEmpty()) {
            m_importedFile.close();
            m_errorFile.close();
        }
    } catch (const CFileException& e) {
        failure = e.description();
        ranToEnd = false;
    }
    m_importedFile.abandon();
    m_errorFile.abandon();
    if (stoppedAfter >= 0 && failure.isEmpty()) {
        m_monitor.AddDownloadEvent(QStringLiteral("%1 records of the report were read; the log keeps the %2 QSOs "
                                                  "confirmed from them, which the imported-QSO list names. The rest "
                                                  "of the report was not read.")
                                       .arg(stoppedAfter)
                                       .arg(m_monitor.counter(Control::DownloadRecsUsed)));
        m_monitor.AddDownloadEvent(QStringLiteral("Stopped by the operator"));
    }
    if (!failure.isEmpty()) {
        ranToEnd = false;
        m_monitor.ShowMessage(failure);
    }
    if (m_monitor.counter(Control::DownloadErrors) != 0)
        m_monitor.SetStepIcon(Control::ProblemPointer, StepIcon::RedArrow);
    m_logReady = false;
    return ranToEnd;
}

bool ImportRun::runBody()
{
    m_counties = std::make_unique<CDxb96CountySet>(m_options.refdataMdbPath, m_refDb);
    if (!m_counties->isOpen())
        m_counties->open();
    m_countyTable = std::make_unique<DbCountyTable>(*m_counties, m_monitor);
    m_parser = std::make_unique<LotwRecordParser>(*m_countyTable, m_monitor);

    // The report is always the data folder's; the path shown on the form is not used here.
    QFile report(DefaultReportAdifPath(m_paths));
    if (!report.open(QIODevice::ReadOnly))
        throw CFileException(QStringLiteral("%1 could not be opened: %2").arg(report.fileName(), report.errorString()));

    ClearLotwRecord(m_parser->record());
    LotwReportReader reader(report);
    long recordsEnded = 0;
    const qint64 reportSize = report.size();
    const ReportShape shape = reader.read([this, &report, reportSize] {
                                              m_monitor.PumpMessages();
                                              m_monitor.ReportProgress(report.pos(), reportSize);
                                          },
                                          [this, &recordsEnded](QByteArrayView chunk) {
                                              if (m_parser->ParseTag(chunk)) {
                                                  ++recordsEnded;
                                                  endOfRecord();
                                                  if (m_monitor.StopRequested())
                                                      throw OperatorStop{recordsEnded};
                                              }
                                          });
    if (!shape.nonEmpty) {
        m_monitor.ShowMessage(Strings::text(Strings::LotwFileEmpty));
        return false;
    }
    // A report has an end of header or records; LoTW's answer without any QSL may have
    // neither, but it ends with its closing tag. Anything else (the page saved when the login
    // failed, another file) is no report: no record was met in it, so nothing has changed.
    const bool emptyAnswer = shape.endOfFileTag && !shape.recordEndInHeader;
    if (!shape.endOfHeader && recordsEnded == 0 && !emptyAnswer) {
        m_monitor.ShowMessage(notAReportMessage(report, shape));
        return false;
    }
    // Whatever followed the last end-of-record tag belongs to no record.
    ClearLotwRecord(m_parser->record());
    return true;
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

void ImportRun::logRecordEvent(int kind, const QString& message)
{
    m_monitor.problemMessage = message;
    SetProblemRecord(m_monitor, m_parser->record());
    m_monitor.LogRecordEvent(kind);
}

void ImportRun::addToCounter(int controlId, long amount)
{
    m_monitor.SetCounter(controlId, m_monitor.counter(controlId) + amount);
    m_monitor.ShowCounters();
}

// One line about the current record to the monitor and a file: call, date, time, band and
// mode texts, then the suffix.
void ImportRun::recordLine(const QString& suffix, LineFile& file)
{
    const LotwRecord& r = m_parser->record();
    SetProblemRecord(m_monitor, r);
    m_monitor.DecodeBandMode();
    QString line;
    line.reserve(r.call.size() + r.qsoDate.size() + r.timeOn.size() + m_monitor.bandText.size()
                 + m_monitor.modeText.size() + suffix.size() + 4);
    line.append(r.call).append(QLatin1Char(' ')).append(r.qsoDate).append(QLatin1Char(' ')).append(r.timeOn);
    line.append(QLatin1Char(' ')).append(m_monitor.bandText).append(QLatin1Char(' ')).append(m_monitor.modeText);
    line.append(suffix);
    m_monitor.AddDownloadEvent(line);
    file.writeLine(line);
}

bool ImportRun::ValidateLotwRecord()
{
    const LotwRecord& r = m_parser->record();
    QString message;
    if (r.call.size() < 2)
        message = QStringLiteral("Call?");
    else if (r.bandCode.isEmpty())
        message = QStringLiteral("Band?");
    else if (r.modeCode.isEmpty())
        message = QStringLiteral("Mode?");
    if (message.isEmpty())
        return true;
    logRecordEvent(1, message);
    return false;
}

void ImportRun::endOfRecord()
{
    LotwRecord& r = m_parser->record();
    if (r.modeCode == QLatin1String("99")) {
        r.modeCode.clear();
        logRecordEvent(1, QStringLiteral("Mode?"));
        ClearLotwRecord(r);
        return;
    }
    if (r.bandCode == QLatin1String("99")) {
        r.bandCode.clear();
        logRecordEvent(1, QStringLiteral("Band?"));
        ClearLotwRecord(r);
        return;
    }
    r.modeCode = ResolveSidebandMode(r.modeCode, r.bandCode);
    if (!ValidateLotwRecord()) {
        ClearLotwRecord(r);
        return;
    }
    addToCounter(Control::DownloadReadIn);
    if (!r.qslDate.isEmpty() && !m_dateSavedThisRun)
        saveFirstQslDate();
    if (m_parser->stationCallSource() != LotwRecordParser::StationCallSource::StationCallsign)
        noteMissingStationCall();

    if (FindLoggedQso()) {
        const ImportQsoSet& q = *m_qsos;
        const QString& confirm = q.qsoConfirm;
        const bool zeroOrOne = confirm == QLatin1String("0") || confirm == QLatin1String("1");
        const bool twoOrThree = confirm == QLatin1String("2") || confirm == QLatin1String("3");
        const bool eligible = r.dxccCredit == QLatin1String("DXCC") || r.vuccCredit == QLatin1String("VUCC")
                              || r.wpxCredit == QLatin1String("WPX") || q.qsoLotwRec.isEmpty() || zeroOrOne
                              || (m_importScope == 0 && (zeroOrOne || twoOrThree));
        if (eligible && r.stationCall == q.qsoOprCall && !r.qslDate.isEmpty()) {
            if (ApplyLotwRecord()) {
                addToCounter(Control::DownloadRecsUsed);
                recordLine(QString(), m_importedFile);
            }
        }
        if (r.stationCall != q.qsoOprCall) {
            addToCounter(Control::DownloadErrors);
            // A record without a station call is not the QSO's fault: the note above says
            // so once for the run.
            if (!m_noMatchLogged && !r.stationCall.isEmpty())
                recordLine(QStringLiteral("  **No Match **"), m_errorFile);
        }
    }
    ClearLotwRecord(r);
    m_noMatchLogged = false;
    if (++m_recordsInBatch >= kCommitEvery)
        commitBatch();
}

// Said once per run, at the first record without STATION_CALLSIGN: LoTW leaves it out of a
// report asked for without the own calls ("qso_withown=yes").
void ImportRun::noteMissingStationCall()
{
    if (m_stationCallNoted)
        return;
    m_stationCallNoted = true;
    QString line;
    if (m_parser->stationCallSource() == LotwRecordParser::StationCallSource::OwnCall) {
        line = QStringLiteral("Note: the LoTW report gives no STATION_CALLSIGN; its APP_LoTW_OWNCALL is taken "
                              "as the station call.");
    } else {
        line = QStringLiteral("Note: the LoTW report gives no station call (no STATION_CALLSIGN), so no QSO can "
                              "be matched to its operator call and none is confirmed. Request the report with "
                              "\"#1 - Download fm LoTW\", which asks LoTW for the own calls "
                              "(qso_withown=yes), and import it again.");
        m_monitor.SetStepIcon(Control::ProblemPointer, StepIcon::RedArrow);
    }
    m_monitor.AddDownloadEvent(line);
    m_errorFile.writeLine(line);
}

void ImportRun::saveFirstQslDate()
{
    // The form is read again here: what it shows now is what the rest of the run uses.
    takeChoices();
    const QString& q = m_parser->record().qslDate;
    const QString date = q.left(4) + QLatin1Char('-') + q.mid(4, 2) + QLatin1Char('-') + q.mid(6, 2);
    m_choices.sinceDate = date;
    m_dateSavedThisRun = true;
    m_choices.ReportRange = 0;
    m_choices.SinceChoice = -1;
    SavedQslDates saved;
    saved.date = date;
    saved.reportRange = 0;
    saved.sinceChoice = -1;
    saved.importScope = m_choices.ImportScope;
    saved.overwriteChoice = m_choices.OverwriteChoice;
    QDir().mkpath(m_paths.dataFolder());
    // A failed save is not reported, as with the form's own saves.
    SaveQslDateFile(QslDateFilePath(m_paths), saved);
    m_monitor.ShowCounters();
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
    m_index.build(*m_logDb);
    m_qsos = std::make_unique<ImportQsoSet>(m_options.sourceMdbPath, m_logDb, m_index.hasValueKeys());
    if (!m_logDb->inTransaction())
        m_logDb->beginTransaction();
    m_recordsInBatch = 0;
    m_logReady = true;
}

void ImportRun::commitBatch()
{
    m_recordsInBatch = 0;
    if (!m_logDb || !m_logDb->inTransaction())
        return;
    m_logDb->commit();
    m_logDb->beginTransaction();
}

// Keeps the rows written since the last commit (each of them complete); when the commit
// fails, they are undone together.
void ImportRun::commitTransaction()
{
    if (!m_logDb || !m_logDb->inTransaction())
        return;
    try {
        m_logDb->commit();
    } catch (const CDbException&) {
        m_logDb->rollback();
        throw;
    }
}

bool ImportRun::FindLoggedQso()
{
    ensureLogReady();
    LotwRecord& r = m_parser->record();
    m_match = m_index.find(r.call, r.qsoDate, r.timeOn, r.modeCode, r.bandCode, r.modeName, r.submodeName);
    if (m_match.found) {
        // The record takes the seconds of the row found.
        r.timeOn = m_match.time;
        // Read the row as it is now: an earlier record of this run may have written it.
        if (m_qsos->moveToKey(m_match.key))
            return true;
    } else if (r.timeOn.size() == 6) {
        r.timeOn = r.timeOn.left(4) + QLatin1String("59");
    }
    recordLine(QStringLiteral("  ** No QSO Found **"), m_errorFile);
    m_noMatchLogged = true;
    ClearLotwRecord(r);
    return false;
}

bool ImportRun::ApplyLotwRecord()
{
    LotwRecord& r = m_parser->record();
    ImportQsoSet& q = *m_qsos;
    // The row is written by one UPDATE statement, which the engine undoes by itself when it
    // fails; a row keyed by its values is refused before anything is written when the values
    // no longer pick out exactly one row. (Access SQL has no savepoints to offer here.)
    try {
        q.edit();
        // A column is written (marked changed, then assigned) only when its value changes: a
        // value equal to the one read is never empty, so the column isn't null either, and
        // writing it again would change nothing. A row that keeps every value isn't written.
        bool changed = false;
        auto write = [&](QString& column, const QString& value) {
            if (column == value)
                return;
            q.setFieldDirty(&column);
            column = value;
            changed = true;
        };

        const long confirm = LeadingNumber(q.qsoConfirm);
        if (confirm == 0 || confirm == 2)
            write(q.qsoConfirm, QStringLiteral("2"));
        else if (confirm == 1 || confirm == 3)
            write(q.qsoConfirm, QStringLiteral("3"));

        FieldRules rules(r, m_overwriteChoice, m_monitor, m_errorFile);
        auto field = [&](const char* word, const QString& lotw, QString& column, bool isGrid) {
            if (rules.apply(QLatin1String(word), lotw, column, isGrid))
                write(column, lotw);
        };
        field("CQ Zone", r.cqZone, q.qsoCqZone, false);
        field("ITU Zone", r.ituZone, q.qsoItuZone, false);
        field("State", r.state, q.qsoState, false);
        field("County", r.county, q.qsoCounty, false);
        field("IOTA", r.iota, q.qsoIota, false);
        field("GRID", r.grid, q.qsoGrid, true);

        if (!r.qslDate.isEmpty() && q.qsoLotwRec.isEmpty())
            write(q.qsoLotwRec, r.qslDate);

        bool newDxcc = false;
        const bool dxcc = r.dxccCredit == QLatin1String("DXCC");
        const bool vucc = r.vuccCredit == QLatin1String("VUCC");
        const bool wpx = r.wpxCredit == QLatin1String("WPX");
        if (dxcc || vucc || wpx) {
            // Bits 2 and 16 to 256 and every bit above them stay as found; DXCC (1), WPX (4)
            // and VUCC (8) are set by the credits.
            const qint32 old = q.qsoAward;
            newDxcc = dxcc && !(old & 1);
            qint32 mask = old;
            if (dxcc)
                mask |= 1;
            if (wpx)
                mask |= 4;
            if (vucc)
                mask |= 8;
            if (mask != old) {
                q.setFieldDirty(&q.qsoAward);
                q.qsoAward = mask;
                changed = true;
            }
            r.dxccCredit.clear();
            r.vuccCredit.clear();
            r.wpxCredit.clear();
        }
        if (changed)
            q.update();
        else
            q.cancelUpdate();
        if (newDxcc)
            addToCounter(Control::DownloadNewDxcc);
        return true;
    } catch (const CDbException& e) {
        q.cancelUpdate();
        if (!m_logDb->inTransaction()) {
            // The engine gave up the whole transaction: the rows of this batch are lost too.
            throw CDbException(e.description()
                               + QStringLiteral(" (the log rows written since the last commit were not saved)"));
        }
        logRecordEvent(1, r.call + QLatin1Char(' ') + e.description());
        return false;
    }
}
