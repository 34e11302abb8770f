#pragma once

#include "LotwRecord.h"

#include <QByteArrayView>
#include <QString>
#include <functional>

class CountyTable;
class ProblemLog;

// Fills a LotwRecord from the tag chunks of a report: the text of one tag without its
// opening "<", up to the next "<" on its line, as Latin-1 bytes.
class LotwRecordParser
{
public:
    // problems takes the "County?" warnings of the county table's check; it may be null when
    // a county hook (below) answers instead.
    LotwRecordParser(CountyTable& counties, ProblemLog* problems);

    LotwRecord& record() { return m_record; }
    const LotwRecord& record() const { return m_record; }

    // Returns true for the end-of-record tag (in any letter case), after settling the record
    // (see FinishLotwRecord); otherwise stores a data tag under its normalisation (unknown
    // names are ignored; a later tag of a name overwrites the earlier value) and returns
    // false. The value is the text after the first ">": its first n characters when the tag
    // declares a length n ("<STATE:2>MA // Massachusetts" gives "MA") and the chunk holds that
    // many, otherwise all of it; trailing white space is removed either way.
    bool ParseTag(QByteArrayView chunk);

    // Instead of the county table's check of a CNTY value: called whenever a CNTY value has
    // set the record's county, with toCheck when the table is to be asked about it.
    void setCountyHook(std::function<void(LotwRecord& record, bool toCheck)> hook) { m_countyHook = std::move(hook); }

    // Where the station call of the record settled last came from.
    enum class StationCallSource { StationCallsign, OwnCall, None };
    StationCallSource stationCallSource() const { return m_stationCallSource; }

private:
    // What the whole record decides: the station call falls back to APP_LoTW_OWNCALL when
    // STATION_CALLSIGN is missing, and a state stands only for a US entity (291, Alaska 6,
    // Hawaii 110) when the record names its DXCC entity.
    void FinishLotwRecord();
    void store(int tag, QByteArrayView value);

    CountyTable& m_counties;
    ProblemLog* m_problems;
    LotwRecord m_record;
    StationCallSource m_stationCallSource = StationCallSource::None;
    std::function<void(LotwRecord&, bool)> m_countyHook;
};
