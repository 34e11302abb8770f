#include "DbCountyTable.h"

#include "logdb/CDxb96CountySet.h"
#include "logdb/Connection.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

DbCountyTable::DbCountyTable(CDxb96CountySet& counties, EventMonitor& monitor)
    : m_counties(counties), m_monitor(monitor)
{
}

QString DbCountyTable::key(const QString& state, const QString& county)
{
    // Both texts are short (a state is 2 characters); the separator can't be in a state.
    return state + QChar(0) + county;
}

void DbCountyTable::preload()
{
    m_rows.clear();
    try {
        std::unique_ptr<Cursor> rows = m_counties.database().select(
            QStringLiteral("[COUNTY-TAB]"),
            {{QStringLiteral("[CNTY-ST-ABV]"), ColumnType::Text}, {QStringLiteral("[CNTY-NAME]"), ColumnType::Text}},
            QString(), QString());
        while (rows->next()) {
            // A null column equals nothing; it is left to the engine.
            if (!rows->value(0).isNull() && !rows->value(1).isNull())
                m_rows.insert(key(rows->text(0), rows->text(1)));
        }
    } catch (const CDbException&) {
        m_rows.clear(); // asked pair by pair; a failure then shows as it always did
    }
}

bool DbCountyTable::knownExactly(const QString& state, const QString& county) const
{
    return m_rows.contains(key(state, county));
}

bool DbCountyTable::CountyExists(const QString& state, const QString& county)
{
    if (knownExactly(state, county))
        return true;
    // No county of the table holds a NUL character (a damaged report does).
    if (state.contains(QChar(0)) || county.contains(QChar(0)))
        return false;
    const QString cacheKey = key(state, county);
    if (auto it = m_answers.constFind(cacheKey); it != m_answers.constEnd())
        return it.value();
    try {
        // The state and the county come from the report: they are bound, never written into
        // the statement.
        m_counties.m_strFilter = QStringLiteral("(([CNTY-ST-ABV]=?) AND ([CNTY-NAME]=?))");
        m_counties.m_filterValues = {state, county};
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
