#pragma once

#include <QString>

// One reported QSO under assembly while a LoTW report is read. Every field is text in the
// form the DXbase log uses; an empty text means the report did not give the field (or gave
// an unusable value).
struct LotwRecord
{
    QString call;        // CALL, upper-cased
    QString qsoDate;     // QSO_DATE, YYYYMMDD
    QString timeOn;      // TIME_ON as HHMMSS
    QString bandCode;    // DXbase band code ("99": unknown band)
    QString modeCode;    // DXbase mode code ("89": sideband not yet known, "99": unusable)
    QString state;       // two-letter US state
    QString cqZone;      // two digits
    QString ituZone;     // two digits
    QString iota;        // island reference without its hyphen
    QString grid;        // 4 or 6 characters, upper-cased
    QString county;      // county name as the county table spells it
    QString stationCall; // STATION_CALLSIGN, first 15 characters, upper-cased
    QString qslDate;     // QSLRDATE, YYYYMMDD
    QString dxccCredit;  // "DXCC" or empty
    QString vuccCredit;  // "VUCC" or empty
    QString wpxCredit;   // "WPX" or empty

    // What the record's end settles: the station call when STATION_CALLSIGN is missing, and
    // whether the state may stand (only for a US entity when the record names its entity).
    QString ownCall;     // APP_LoTW_OWNCALL (at the record's end: first 15 characters, upper-cased)
    QString dxcc;        // DXCC entity number in decimal without leading zeros; empty when not given
    // The report's own mode names, upper-cased: all digital modes share one log mode code, so
    // they tell apart log rows of the same minute by their [QSO-SUBMODE].
    QString modeName;    // MODE
    QString submodeName; // SUBMODE
};

// Empties every field of the record, the three credit fields included.
void ClearLotwRecord(LotwRecord& record);
