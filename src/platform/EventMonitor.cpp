#include "EventMonitor.h"

#include "Errors.h"

#include <QIODevice>

long EventMonitor::counter(int controlId) const
{
    auto it = m_counters.find(controlId);
    return it == m_counters.end() ? 0 : it->second;
}

void EventMonitor::AddUploadLines(QByteArrayView utf8Lines)
{
    while (!utf8Lines.isEmpty()) {
        const qsizetype end = utf8Lines.indexOf(QByteArrayView("\r\n"));
        AddUploadEvent(QString::fromUtf8(end < 0 ? utf8Lines : utf8Lines.first(end)));
        utf8Lines = end < 0 ? QByteArrayView() : utf8Lines.sliced(end + 2);
    }
}

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

void EventMonitor::DecodeBandMode()
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
    // An unknown code leaves its text as it was.
    const int band = SmallCode(record.bandCode);
    if (band >= 0 && bandTexts[band])
        bandText = *bandTexts[band];
    const int mode = SmallCode(record.modeCode);
    if (mode >= 0 && modeTexts[mode])
        modeText = *modeTexts[mode];
}

QString EventMonitor::problemLine(int kind) const
{
    QString line = kind == 2 ? QStringLiteral("Warning: ") : QStringLiteral("ERROR:  ");
    line += lastDbError;
    line += QLatin1String("   ");
    line += problemMessage;
    line += QLatin1Char(' ') + record.call + QLatin1Char(' ') + record.qsoDate + QLatin1Char(' ')
            + record.timeOn + QLatin1Char(' ') + QLatin1Char(' ') + bandText + QLatin1String("m  ")
            + modeText + QLatin1Char(' ') + record.state + QLatin1Char(' ') + record.county;
    return line;
}

void EventMonitor::LogRecordEvent(int kind)
{
    if (kind == 2) {
        SetCounter(Control::DownloadWarnings, counter(Control::DownloadWarnings) + 1);
        SetStepIcon(Control::ProblemPointer, StepIcon::RedArrow);
        ShowCounters();
    }
    DecodeBandMode();
    const QString line = problemLine(kind);
    AddDownloadEvent(line);
    if (errorFile) {
        const QByteArray bytes = line.toLatin1() + "\r\n";
        if (errorFile->write(bytes) != bytes.size())
            throw CFileException(QStringLiteral("An error occurred while writing the error file: ")
                                 + errorFile->errorString());
    }
}
