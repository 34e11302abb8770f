#include "ProblemLog.h"

#include "Errors.h"

#include <QFile>
#include <map>

namespace {
// The code as a number when it is one of the decimal texts "0" to "99" without leading zero;
// -1 otherwise.
int SmallCode(const QString& code)
{
    if (code.isEmpty() || code.size() > 2)
        return -1;
    int value = 0;
    for (QChar c : code) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return code.size() == 2 && code.at(0) == QLatin1Char('0') ? -1 : value;
}
} // namespace

void DecodeBandMode(const QString& bandCode, const QString& modeCode, BandModeTexts& texts)
{
    // The codes of the tables below, looked up by number first (a report has a million of them).
    static const QString* bandTexts[100] = {};
    static const QString* modeTexts[100] = {};
    static const std::map<QString, QString> bands = {
        {QStringLiteral("0"), QStringLiteral("144")}, {QStringLiteral("1"), QStringLiteral("50")},
        {QStringLiteral("2"), QStringLiteral("28")},  {QStringLiteral("3"), QStringLiteral("24")},
        {QStringLiteral("4"), QStringLiteral("21")},  {QStringLiteral("5"), QStringLiteral("18")},
        {QStringLiteral("6"), QStringLiteral("14")},  {QStringLiteral("7"), QStringLiteral("10")},
        {QStringLiteral("8"), QStringLiteral("7")},   {QStringLiteral("9"), QStringLiteral("3.5")},
        {QStringLiteral("10"), QStringLiteral("1.8")}, {QStringLiteral("11"), QStringLiteral("222")},
        {QStringLiteral("12"), QStringLiteral("432")}, {QStringLiteral("23"), QStringLiteral("5.3")},
    };
    static const std::map<QString, QString> modes = {
        {QStringLiteral("0"), QStringLiteral("USB")},  {QStringLiteral("1"), QStringLiteral("LSB")},
        {QStringLiteral("2"), QStringLiteral("CW")},   {QStringLiteral("3"), QStringLiteral("FM")},
        {QStringLiteral("4"), QStringLiteral("AM")},   {QStringLiteral("5"), QStringLiteral("RTTY")},
        {QStringLiteral("6"), QStringLiteral("DIGITAL")}, {QStringLiteral("7"), QStringLiteral("SSTV")},
        {QStringLiteral("89"), QStringLiteral("SSB")},
    };
    static const bool indexed = [] {
        for (const auto& [code, text] : bands)
            bandTexts[SmallCode(code)] = &text;
        for (const auto& [code, text] : modes)
            modeTexts[SmallCode(code)] = &text;
        return true;
    }();
    (void)indexed;
    const int band = SmallCode(bandCode);
    if (band >= 0 && bandTexts[band])
        texts.band = *bandTexts[band];
    const int mode = SmallCode(modeCode);
    if (mode >= 0 && modeTexts[mode])
        texts.mode = *modeTexts[mode];
}

QString ProblemLineText(ProblemKind kind, const QString& lastDbError, const QString& message,
                        const ProblemRecord& record, const BandModeTexts& texts)
{
    QString line = kind == ProblemKind::Warning ? QStringLiteral("Warning: ") : QStringLiteral("ERROR:  ");
    line += lastDbError;
    line += QLatin1String("   ");
    line += message;
    // A field of the record that is never filled stands between the time and the band: two
    // blanks there.
    line += QLatin1Char(' ') + record.call + QLatin1Char(' ') + record.qsoDate + QLatin1Char(' ') + record.timeOn
            + QLatin1Char(' ') + QLatin1Char(' ') + texts.band + QLatin1String("m  ") + texts.mode + QLatin1Char(' ')
            + record.state + QLatin1Char(' ') + record.county;
    return line;
}

ProblemLog::ProblemLog(EventMonitor& monitor, RunCounters& counters) : m_monitor(monitor), m_counters(counters) {}

ProblemLog::~ProblemLog() = default;

void ProblemLog::countWarning()
{
    m_counters.add(Counter::DownloadWarnings);
    m_monitor.SetStepIcon(Step::ProblemPointer, StepIcon::RedArrow);
    m_monitor.ShowCounters(m_counters);
}

const BandModeTexts& ProblemLog::DecodeBandMode(const QString& bandCode, const QString& modeCode)
{
    ::DecodeBandMode(bandCode, modeCode, m_memory.texts);
    return m_memory.texts;
}

void ProblemLog::LogRecordEvent(ProblemKind kind, const QString& message, const ProblemRecord& record)
{
    if (kind == ProblemKind::Warning)
        countWarning();
    DecodeBandMode(record.bandCode, record.modeCode);
    const QString line = ProblemLineText(kind, m_memory.lastDbError, message, record, m_memory.texts);
    m_monitor.AddDownloadEvent(line);
    QString failure;
    if (!writeErrorLine(line, &failure))
        throw CFileException(QStringLiteral("An error occurred while writing the error file: ") + failure);
}

bool ProblemLog::createErrorFile(const QString& path)
{
    closeErrorFile();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_ownFile = std::move(file);
    m_errorFile = m_ownFile.get();
    return true;
}

void ProblemLog::setErrorDevice(QIODevice* device)
{
    closeErrorFile();
    m_errorFile = device;
}

void ProblemLog::closeErrorFile()
{
    m_errorFile = nullptr;
    m_ownFile.reset();
}

bool ProblemLog::writeErrorLine(const QString& line, QString* failure)
{
    if (!m_errorFile)
        return true;
    const QByteArray bytes = line.toLatin1() + "\r\n";
    if (m_errorFile->write(bytes) == bytes.size())
        return true;
    if (failure)
        *failure = m_errorFile->errorString();
    return false;
}
