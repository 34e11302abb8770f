#pragma once

#include "CountyTable.h"

#include <QHash>
#include <QString>

class CDxb96CountySet;
class EventMonitor;

// The county table of the reference database, asked through the county recordset with a
// filter on state and name. Answers are kept for the rest of the run; a database failure is
// shown as a message and the pair counts as not existing (and is asked again next time).
class DbCountyTable : public CountyTable
{
public:
    DbCountyTable(CDxb96CountySet& counties, EventMonitor& monitor);
    bool CountyExists(const QString& state, const QString& county) override;

private:
    CDxb96CountySet& m_counties;
    EventMonitor& m_monitor;
    QHash<QString, bool> m_answers;
};
