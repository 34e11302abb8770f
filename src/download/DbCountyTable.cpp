#include "DbCountyTable.h"

#include "logdb/CDxb96CountySet.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

DbCountyTable::DbCountyTable(CDxb96CountySet& counties, EventMonitor& monitor)
    : m_counties(counties), m_monitor(monitor)
{
}

bool DbCountyTable::CountyExists(const QString& state, const QString& county)
{
    // Both texts are short (a state is 2 characters); the separator can't be in a state.
    const QString cacheKey = state + QChar(0) + county;
    if (auto it = m_answers.constFind(cacheKey); it != m_answers.constEnd())
        return it.value();
    try {
        m_counties.m_strFilter = QStringLiteral("(([CNTY-ST-ABV]=%1) AND ([CNTY-NAME]=%2))")
                                     .arg(SqlLiteral(state), SqlLiteral(county));
        m_counties.m_strSort = QStringLiteral("[CNTY-ST-ABV], [CNTY-NAME]");
        m_counties.requery();
        const bool exists = !m_counties.isEOF() && !m_counties.isBOF();
        m_answers.insert(cacheKey, exists);
        return exists;
    } catch (const CDbException& e) {
        m_monitor.ShowMessage(e.description());
        return false;
    }
}
