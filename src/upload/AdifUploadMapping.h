#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// How one QSO of the DXbase log becomes ADIF text for LoTW: the code tables, the value
// formats and the field lines. Every function is pure; a rule that does not match gives
// std::nullopt, and the caller decides what that QSO gets.

// One row of the satellite table: the name as DXbase stores it (compared without regard to
// case), the first and last day (YYYYMMDD, both inclusive) on which a QSO through it counts
// (last is null when open), and the name written to SAT_NAME, as TQSL spells it.
struct SatelliteWindow
{
    const char* name;
    const char* first;
    const char* last;
    const char* written;
};

// The satellites, in the order they are tried: every satellite TQSL knows.
const std::array<SatelliteWindow, 88>& SatelliteWindowTable();

// ADIF band name of a DXbase band code ("0" to "23"), compared as whole text.
std::optional<QString> UploadBandTable(const QString& bandCode);

// ADIF mode of a DXbase mode code; code "6" (digital) takes the name from the submode,
// translated where the submode table lists it and otherwise as stored.
std::optional<QString> UploadModeTable(const QString& modeCode, const QString& submode);

// The submode table alone: the ADIF mode of a listed submode, otherwise the submode itself.
QString UploadSubmodeName(const QString& submode);

// QSL flag of a DXbase confirm / sent code: "0" -> "N", "1" to "3" -> "Y".
std::optional<QString> QslFlag(const QString& code);

// The IOTA reference as "XX-NNN": the first two characters, "-", the last three (all of the
// text when it is shorter). An empty text gives "-", which is not written.
QString FormatIota(const QString& iota);

// [QSO-FREQ] (kHz) as ADIF MHz text for the band code's group, or nullopt when there is
// nothing to write: an empty frequency, a band outside the four groups, or a shape that
// does not give 2 to 4 fraction digits.
std::optional<QString> FormatFrequency(const QString& freqKhz, const QString& bandCode);

// SAT_NAME for a QSO through sat on qsoDate, or nullopt when it is not a satellite QSO. The
// name is written as TQSL spells it: four names logged without their hyphen get it (CAS3H ->
// CAS-3H, ..., QO100 -> QO-100).
std::optional<QString> SatelliteName(const QString& sat, const QString& qsoDate);

// Whether TQSL takes this MODE value (an ADIF mode or submode, or one of TQSL's own mode
// names), compared without regard to case. TQSL refuses a record with any other mode.
bool TqslKnowsMode(const QString& adifMode);
// Those MODE values, in capitals.
const QStringList& TqslModeNames();

// A QSO date as TQSL takes it: eight digits YYYYMMDD naming a real day.
bool IsAdifDate(const QString& date);
// A QSO time as TQSL takes it: four digits HHMM or six digits HHMMSS of a real time of day.
bool IsAdifTime(const QString& time);

// One ADIF field line without its line end: "<TAG:n>value", n the byte length of value in the
// file's encoding, UTF-8 (which TQSL reads).
QString AdifField(const char* tag, const QString& value);
// The same line appended to text, followed by CR LF, as the upload file holds it.
void AppendAdifFieldLine(QString& text, const char* tag, const QString& value);
// The byte length of a value in the upload file (UTF-8).
qsizetype AdifByteLength(const QString& value);

// The three header lines (the last one empty), without line ends.
const std::array<QString, 3>& AdifHeaderLines();
