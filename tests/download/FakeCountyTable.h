#pragma once

#include "download/CountyTable.h"

#include <QString>
#include <QStringList>
#include <set>
#include <utility>

// A county list held in memory; records every question asked.
class FakeCountyTable : public CountyTable
{
public:
    bool CountyExists(const QString& state, const QString& county) override
    {
        asked.append(state + QLatin1Char('|') + county);
        return pairs.count({state, county}) > 0;
    }
    std::set<std::pair<QString, QString>> pairs;
    QStringList asked;
};
