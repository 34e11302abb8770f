#pragma once

#include <QString>
#include <QStringList>

// The column values of one QSO that its ADIF upload record is made from, as stored.
struct UploadQsoValues
{
    QString call;     // [QSO-CALL]
    QString date;     // [QSO-DATE]
    QString time;     // [QSO-TIME]
    QString rstSent;  // [QSO-RSTS]
    QString rstRcvd;  // [QSO-RSTR]
    QString power;    // [QSO-POWER]
    QString ituZone;  // [QSO-ITU-ZONE]
    QString oprCall;  // [QSO-OPRCALL]
    QString wpx;      // [QSO-WPX]
    QString confirm;  // [QSO-CONFIRM]
    QString name;     // [QSO-NAME]
    QString iota;     // [QSO-IOTA]
    QString band;     // [QSO-BAND]
    QString cqZone;   // [QSO-CQ-ZONE]
    QString mode;     // [QSO-MODE]
    QString submode;  // [QSO-SUBMODE]
    QString qsls;     // [QSO-QSLS], as it stands once the QSO is marked
    QString prefix;   // [QSO-PREFIX]
    QString sat;      // [QSO-SAT]
    QString freq;     // [QSO-FREQ]
};

// Why a QSO cannot become a record that TQSL would sign.
enum class UploadRecordProblem {
    None,
    UnknownBand,    // the band code maps to no ADIF band
    UnknownMode,    // the mode code maps to no ADIF mode
    NoSubmode,      // a digital QSO (mode code 6) without a submode
    UnknownSubmode, // a digital QSO whose submode TQSL does not know
    BadDate,        // the date is not eight digits of a real day
    BadTime,        // the time is not HHMM or HHMMSS of a real time of day
};

// Says whether the QSO can become a record that TQSL signs: its band and mode codes map to
// names TQSL knows, and its date and time are a real day (YYYYMMDD) and time of day (HHMM or
// HHMMSS). A QSO that fails this is neither marked nor written.
UploadRecordProblem CheckUploadCodes(const UploadQsoValues& qso);

// Appends the QSO's record to text as the upload file holds it: its field lines in file order,
// "<EOR>" and an empty line, each ended by CR LF. dxcc is the [ARRL-ID] of the QSO's prefix,
// or null when the prefix table does not hold it (then no DXCC line). The band and mode must
// have passed CheckUploadCodes. A QSL flag or frequency that no rule maps leaves its field out.
void AppendAdifRecord(const UploadQsoValues& qso, const QString* dxcc, QString& text);
