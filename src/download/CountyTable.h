#pragma once

#include <QString>

// The county list of the reference database as the import asks it: does a state hold a
// county of that name?
class CountyTable
{
public:
    virtual ~CountyTable() = default;
    virtual bool CountyExists(const QString& state, const QString& county) = 0;
};
