#pragma once

#include <QString>
#include <QStringList>

// Demo and fixture data shaped like a real station's: a DXbase-style log, a reference
// database with real prefixes, ARRL entity numbers and county names, and a LoTW report that
// confirms part of the log. Everything is deterministic from the seed.
namespace DemoData {

// The operator calls and TQSL locations of the demo station (signing slots 1 and 2).
extern const char* const kPrimaryCall;
extern const char* const kSecondaryCall;
extern const char* const kPrimaryLocation;
extern const char* const kSecondaryLocation;

// One generated QSO (the columns the demo fills; the others stay empty or 0).
struct Qso
{
    QString date, time, call, rsts, rstr, name, qth, prefix, cqZone, ituZone, mode, submode, freq, band;
    QString state, county, iota, grid, confirm, qsls, oprCall, lotwRec, sat, power;
    qint32 valid = 1;
    qint32 award = 0;
    qint32 number = 0;
};

// QSO number index (0-based) of the log made with seed.
Qso qso(qint64 index, quint64 seed);

// Writes a new SQLite log at path (an existing file is replaced) with "[QSO-TAB]" (all 41
// columns), "[VERSION]" holding 6. Throws CDbException on failure.
void writeLog(const QString& path, qint64 qsos, quint64 seed);

// Writes a new SQLite reference database with "[PREFIX-Pri]" and "[COUNTY-TAB]".
void writeRefdata(const QString& path);

// Writes a LoTW report confirming QSOs of the log (those already uploaded, every nth of
// them; every = 1 confirms every uploaded QSO), plus a few records that match nothing.
// Returns the number of records written. Throws CFileException on failure.
qint64 writeReport(const QString& path, qint64 qsos, quint64 seed, int every = 3, const QString& login = QString());

// Real prefixes with their ARRL entity numbers, countries, zones and continents.
struct PrefixRow
{
    const char* prefix;
    const char* country;
    const char* arrlId;
    const char* cqZone;
    const char* ituZone;
    const char* continent;
};
const PrefixRow* prefixes(int* count);

}
