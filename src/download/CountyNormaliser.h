#pragma once

#include "platform/ProblemLog.h"

#include <QString>

class CountyTable;
struct LotwRecord;

// Maps an Alaskan county or borough name to the region the county table knows it by; other
// names come back unchanged.
QString AlaskaRegion(const QString& county);

// Turns a CNTY value ("ST,COUNTY NAME ...") into the record's state and county: the state
// when the record has none yet, the county cut and mapped as the county table spells it, and
// checked against the table. A county the table doesn't hold is dropped with a "County?"
// warning about the record as read so far.
void NormaliseCounty(const QString& value, LotwRecord& record, CountyTable& counties, ProblemLog& problems);

// NormaliseCounty in its two steps. The first turns the value into the record's state and
// county and tells what became of the county: untouched (the value is no "ST,NAME"), set
// without a check (empty, or too long and emptied), or set and to be checked against the
// county table.
enum class CountyText { Untouched, Set, ToCheck };
CountyText NormaliseCountyText(const QString& value, LotwRecord& record);
// The second: a county the table doesn't hold is dropped with a "County?" warning.
void CheckCounty(LotwRecord& record, CountyTable& counties, ProblemLog& problems);

// The fields of the record that a problem line quotes.
ProblemRecord ProblemRecordOf(const LotwRecord& record);
