#include "FieldRules.h"

#include "CountyNormaliser.h"
#include "LineFile.h"
#include "LotwRecord.h"
#include "platform/EventMonitor.h"

FieldRules::FieldRules(const LotwRecord& record, int overwriteChoice, EventMonitor& monitor, LineFile& errorFile)
    : m_record(record), m_overwriteChoice(overwriteChoice), m_monitor(monitor), m_errorFile(errorFile)
{
}

bool FieldRules::apply(QLatin1StringView word, const QString& lotw, const QString& logged, bool isGrid)
{
    if (lotw.isEmpty())
        return false;
    if (logged.isEmpty() || logged == lotw || (isGrid && QStringView(lotw).left(4) == logged))
        return true;
    return apply(QString(word), lotw, logged, isGrid);
}

bool FieldRules::apply(const QString& word, const QString& lotw, const QString& logged, bool isGrid)
{
    if (lotw.isEmpty())
        return false;
    if (logged.isEmpty() || logged == lotw || (isGrid && QStringView(lotw).left(4) == logged))
        return true;
    if (m_overwriteChoice == 0) {
        warn(QLatin1String(" -- existing ") + word + QLatin1String(" of ") + logged + QLatin1String(" overwritten by LoTW ")
             + word + QLatin1String(" of ") + lotw);
        return true;
    }
    if (m_overwriteChoice == 1) {
        warn(QLatin1String(" -- LoTW ") + word + QLatin1Char(' ') + lotw + QLatin1String(" not written - already has ")
             + word + QLatin1String(" of ") + logged);
    }
    return false;
}

void FieldRules::warn(const QString& tail)
{
    m_monitor.SetCounter(Control::DownloadWarnings, m_monitor.counter(Control::DownloadWarnings) + 1);
    m_monitor.SetStepIcon(Control::ProblemPointer, StepIcon::RedArrow);
    m_monitor.ShowCounters();
    SetProblemRecord(m_monitor, m_record);
    m_monitor.DecodeBandMode();
    const QString line = QLatin1String("Warning! : ") + m_record.call + QLatin1Char(' ') + m_record.qsoDate
                         + QLatin1Char(' ') + m_record.timeOn + QLatin1Char(' ') + m_monitor.bandText + QLatin1Char(' ')
                         + m_monitor.modeText + tail;
    m_monitor.AddDownloadEvent(line);
    m_errorFile.writeLine(line);
}
