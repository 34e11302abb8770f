#pragma once

#include "CountyTable.h"

#include <QHash>
#include <QSet>
#include <QString>

class CDxb96CountySet;
class EventMonitor;

// The county table of the reference database, asked through the county recordset with a
// filter on state and name. Answers are kept for the rest of the run; a database failure is
// shown as a message and the pair counts as not existing (and is asked again next time).
//
// preload() reads the whole table once: a pair found there as it stands is known without a
// query (the engine would find it too), and knownExactly() may then be asked from any thread.
// Other pairs are still asked through the recordset, so that the engine's own comparison
// (case-blind on Access) decides.
class DbCountyTable : public CountyTable
{
public:
    DbCountyTable(CDxb96CountySet& counties, EventMonitor& monitor);
    bool CountyExists(const QString& state, const QString& county) override;

    // Reads every state and county of the table; a failure leaves the table asked pair by pair.
    void preload();
    bool knownExactly(const QString& state, const QString& county) const;

private:
    static QString key(const QString& state, const QString& county);

    CDxb96CountySet& m_counties;
    EventMonitor& m_monitor;
    QHash<QString, bool> m_answers;
    QSet<QString> m_rows; // state and name of every row read by preload()
};
