#include "FieldRules.h"

#include "CountyNormaliser.h"
#include "ImportDecision.h"
#include "LineFile.h"
#include "LotwRecord.h"
#include "platform/ProblemLog.h"

FieldRules::FieldRules(const LotwRecord& record, int overwriteChoice, ProblemLog& problems, LineFile& errorFile)
    : m_record(record), m_overwriteChoice(overwriteChoice), m_problems(problems), m_errorFile(errorFile)
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
    m_problems.countWarning();
    const BandModeTexts& texts = m_problems.DecodeBandMode(m_record.bandCode, m_record.modeCode);
    const QString line = QLatin1String("Warning! : ") + m_record.call + QLatin1Char(' ') + m_record.qsoDate
                         + QLatin1Char(' ') + m_record.timeOn + QLatin1Char(' ') + texts.band + QLatin1Char(' ')
                         + texts.mode + tail;
    m_problems.monitor().AddDownloadEvent(line);
    m_errorFile.writeLine(line);
}
