#include "UploadRun.h"

#include "AdifUploadMapping.h"
#include "AdifUploadRecord.h"
#include "HandOffToTqsl.h"

#include "logdb/CPP2006SRC.h"
#include "logdb/CQSO2006SRC.h"
#include "platform/Desktop.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

#include <QFile>
#include <QSaveFile>

// Thrown once a failure has been reported: the run only has to be abandoned.
class UploadRun::Failure
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

void UploadRun::setRecordsets(CQSO2006SRC* qsos, CPP2006SRC* prefixes)
{
    m_qsos = qsos;
    m_prefixes = prefixes;
}

bool UploadRun::run()
{
    const bool test = m_choices.TestOnly;
    m_readIn = 0;
    m_adifOut = 0;
    m_refused = 0;

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
            // written: after the tables are open, before any QSO is read or marked.
            if (!adifOpen)
                throw CFileException(QStringLiteral("Cannot create the ADIF upload file ") + m_options.uploadAdifPath
                                     + QStringLiteral(": ") + m_adifFile->errorString());
        }
        buildDxccTable();
        if (!test) {
            writeLines({AdifHeaderLines().begin(), AdifHeaderLines().end()});
            m_qsos->database().beginTransaction();
            m_transactionOpen = true;
        }

        walk();

        if (!test) {
            if (!m_adifFile->commit())
                throw CFileException(QStringLiteral("Cannot write the ADIF upload file ") + m_options.uploadAdifPath
                                     + QStringLiteral(": ") + m_adifFile->errorString());
            m_adifFile.reset();
            try {
                m_qsos->database().commit();
            } catch (const CDbException&) {
                // The marks are lost: the file must not stay behind as if they were made.
                QFile::remove(m_options.uploadAdifPath);
                throw;
            }
            m_transactionOpen = false;
        }
        closeTables();
    } catch (const Failure&) {
        abandon();
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

    errorFile.close();
    if (m_adifOut == 0)
        m_monitor.AddUploadEvent(QStringLiteral("NO QSOs for Uploading !!!! "));
    if (!test && m_adifOut > 0)
        m_monitor.SetStepIcon(Control::StepMakeAdif, StepIcon::Tick);
    if (m_handOff)
        HandOffToTqsl(m_options, m_choices, m_adifOut, m_desktop, m_monitor);
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
void UploadRun::buildDxccTable()
{
    m_dxccByPrefix.clear();
    CPP2006SRC& prefixes = *m_prefixes;
    if (prefixes.isBOF() && prefixes.isEOF())
        return;
    prefixes.moveFirst();
    while (!prefixes.isEOF()) {
        if (!m_dxccByPrefix.contains(prefixes.prefix))
            m_dxccByPrefix.insert(prefixes.prefix, prefixes.arrlId);
        prefixes.moveNext();
    }
}

const QString* UploadRun::FindDxcc(const QString& prefix) const
{
    auto found = m_dxccByPrefix.constFind(prefix);
    return found == m_dxccByPrefix.constEnd() ? nullptr : &*found;
}

void UploadRun::walk()
{
    CQSO2006SRC& qsos = *m_qsos;
    if (qsos.isBOF() && qsos.isEOF())
        return;
    qsos.moveFirst();
    while (!qsos.isEOF()) {
        m_monitor.PumpMessages();
        if (isSelectableQsls(qsos.qsoQsls) && qsos.qsoOprCall == m_choices.SigningCall && qsos.qsoValid != 0)
            uploadQso();
        qsos.moveNext();
        ++m_readIn;
        m_monitor.SetCounter(Control::UploadReadIn, m_readIn);
        m_monitor.ShowCounters();
    }
}

void UploadRun::uploadQso()
{
    CQSO2006SRC& qso = *m_qsos;
    UploadQsoValues values;
    values.call = qso.qsoCall;
    values.date = qso.qsoDate;
    values.time = qso.qsoTime;
    values.rstSent = qso.qsoRsts;
    values.rstRcvd = qso.qsoRstr;
    values.power = qso.qsoPower;
    values.ituZone = qso.qsoItuZone;
    values.oprCall = qso.qsoOprCall;
    values.wpx = qso.qsoWpx;
    values.confirm = qso.qsoConfirm;
    values.name = qso.qsoName;
    values.iota = qso.qsoIota;
    values.band = qso.qsoBand;
    values.cqZone = qso.qsoCqZone;
    values.mode = qso.qsoMode;
    values.submode = qso.qsoSubmode;
    values.prefix = qso.qsoPrefix;
    values.sat = qso.qsoSat;
    values.freq = qso.qsoFreq;

    switch (CheckUploadCodes(values)) {
    case UploadRecordProblem::UnknownBand:
        reportRefused(QStringLiteral("band"), values.band);
        return;
    case UploadRecordProblem::UnknownMode:
        reportRefused(QStringLiteral("mode"), values.mode);
        return;
    case UploadRecordProblem::None:
        break;
    }

    if (!m_choices.TestOnly) {
        try {
            qso.edit();
            qso.setFieldDirty(&qso.qsoQsls);
            qso.qsoQsls = qso.qsoQsls == QLatin1String("0") ? QStringLiteral("2") : QStringLiteral("3");
            qso.update();
        } catch (const CDbException& e) {
            m_monitor.lastDbError = e.description();
            setProblemRecord();
            m_monitor.problemMessage = values.call + QLatin1Char(' ') + e.description();
            m_monitor.LogRecordEvent(1);
            throw Failure();
        }
    }
    values.qsls = qso.qsoQsls;

    m_lines.clear();
    AppendAdifRecord(values, FindDxcc(values.prefix), m_lines);
    writeLines(m_lines);

    ++m_adifOut;
    m_monitor.SetCounter(Control::UploadAdifOut, m_adifOut);
    m_monitor.ShowCounters();
}

void UploadRun::setProblemRecord()
{
    const CQSO2006SRC& qso = *m_qsos;
    ProblemRecord& record = m_monitor.record;
    record.call = qso.qsoCall;
    record.qsoDate = qso.qsoDate;
    record.timeOn = qso.qsoTime;
    record.bandCode = qso.qsoBand;
    record.modeCode = qso.qsoMode;
    record.state = qso.qsoState;
    record.county = qso.qsoCounty;
}

// A selected QSO whose band or mode has no ADIF name is left unmarked and unwritten.
void UploadRun::reportRefused(const QString& what, const QString& code)
{
    ++m_refused;
    setProblemRecord();
    m_monitor.problemMessage =
        QStringLiteral("Not uploaded, no ADIF %1 for code \"%2\":").arg(what, code);
    m_monitor.LogRecordEvent(1);
}

void UploadRun::writeLines(const QStringList& lines)
{
    for (const QString& line : lines)
        m_monitor.AddUploadEvent(line);
    if (!m_adifFile)
        return;
    // Latin-1 with CR LF, converted into a buffer reused from record to record.
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    m_bytes.resize(size);
    char* const begin = m_bytes.data();
    char* out = begin;
    for (const QString& line : lines) {
        out = m_latin1.appendToBuffer(out, line);
        *out++ = '\r';
        *out++ = '\n';
    }
    m_bytes.truncate(out - begin);
    if (m_adifFile->write(m_bytes) != m_bytes.size())
        throw CFileException(QStringLiteral("An error occurred while writing the ADIF upload file ")
                             + m_options.uploadAdifPath + QStringLiteral(": ") + m_adifFile->errorString());
}

void UploadRun::closeTables()
{
    m_qsos->close();
    m_monitor.AddUploadEvent(QStringLiteral("Closed QSO-TAB table"));
    m_prefixes->close();
    m_monitor.AddUploadEvent(QStringLiteral("Closed PRI-PFX table"));
    m_monitor.AddUploadEvent(QString());
}

// After a failure: the marks are rolled back, the half-written file is discarded (the old
// one stays), and the tables are closed at once.
void UploadRun::abandon()
{
    if (m_transactionOpen) {
        m_transactionOpen = false;
        try {
            m_qsos->database().rollback();
        } catch (const CDbException& e) {
            m_monitor.ShowMessage(e.description());
        }
    }
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
