#include "FieldRules.h"

#include "CountyNormaliser.h"
#include "LineFile.h"
#include "LotwRecord.h"
#include "platform/ProblemLog.h"

FieldRules::FieldRules(const LotwRecord& record, int overwriteChoice, ProblemLog& problems, LineFile& errorFile)
    : m_record(record), m_overwriteChoice(overwriteChoice), m_problems(problems), m_errorFile(errorFile)
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
    m_problems.countWarning();
    const BandModeTexts& texts = m_problems.DecodeBandMode(m_record.bandCode, m_record.modeCode);
    const QString line = QLatin1String("Warning! : ") + m_record.call + QLatin1Char(' ') + m_record.qsoDate
                         + QLatin1Char(' ') + m_record.timeOn + QLatin1Char(' ') + texts.band + QLatin1Char(' ')
                         + texts.mode + tail;
    m_problems.monitor().AddDownloadEvent(line);
    m_errorFile.writeLine(line);
}
