#include "FieldRules.h"

#include "CountyNormaliser.h"
#include "ImportDecision.h"
#include "LineFile.h"
#include "LotwRecord.h"
#include "platform/EventMonitor.h"

FieldRules::FieldRules(const LotwRecord& record, int overwriteChoice, EventMonitor& monitor, LineFile& errorFile)
    : m_record(record), m_overwriteChoice(overwriteChoice), m_monitor(monitor), m_errorFile(errorFile)
{
}

bool FieldRules::apply(QLatin1StringView word, const QString& lotw, const QString& logged, bool isGrid)
{
    switch (DecideLocationField(lotw, logged, isGrid, m_overwriteChoice)) {
    case FieldOutcome::Unchanged:
        return false;
    case FieldOutcome::Filled:
        return true;
    case FieldOutcome::Overwritten:
        warn(FieldWarning{word, lotw, logged, true});
        return true;
    case FieldOutcome::Kept:
        warn(FieldWarning{word, lotw, logged, false});
        return false;
    }
    return false;
}

bool FieldRules::apply(const QString& word, const QString& lotw, const QString& logged, bool isGrid)
{
    const QByteArray latin1 = word.toLatin1();
    return apply(QLatin1StringView(latin1), lotw, logged, isGrid);
}

void FieldRules::warn(const FieldWarning& warning)
{
    const QString tail = FieldWarningTail(warning);
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
