#pragma once

#include <QString>
#include <span>

// The normalisation of single LoTW report values into the texts the DXbase log keeps.
// Values arrive as Latin-1 texts, already stripped of trailing white space.

// True for the white-space bytes of the C locale: blank, tab, LF, VT, FF, CR.
inline bool IsReportSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || (u >= '\t' && u <= '\r');
}

// Upper-cases a-z only, so every other Latin-1 byte stays the byte it was.
QString AsciiUpper(const QString& text);
QString TrimReportSpace(const QString& text);

// The tables the rules look report values up in.
struct LotwCode
{
    const char* name;
    const char* code;
};
// BAND names (upper case) to DXbase band codes.
std::span<const LotwCode> LotwBandCodes();
// MODE and SUBMODE names (upper case) to DXbase mode codes ("89": sideband not yet known).
std::span<const LotwCode> LotwModeCodes();
// The 50 US state abbreviations.
std::span<const char* const> UsStateAbbreviations();

// "89" (sideband not yet known) resolved by band: 40, 80 and 160 m give LSB, others USB.
QString ResolveSidebandMode(const QString& modeCode, const QString& bandCode);
// STATION_CALLSIGN and APP_LoTW_OWNCALL: the first 15 characters, upper-cased.
QString LotwStationCall(const QString& value);
// The US entities of the DXCC list, whose STATE is a US state: 291 (United States), 6
// (Alaska) and 110 (Hawaii).
bool IsUsEntity(const QString& dxcc);

// The rules on the bytes of a report value (Latin-1, without trailing white space), for the
// reader. The texts written keep their buffers from record to record, so reading a report
// allocates next to nothing.
namespace ReportBytes {
// target := the bytes as Latin-1.
void SetLatin1(QString& target, QByteArrayView bytes);
// target := the bytes with a-z upper-cased.
void SetAsciiUpper(QString& target, QByteArrayView bytes);
// Empties a text, keeping its buffer when it has one of its own.
void Clear(QString& text);
// BAND value (leading blanks and letter case aside) to the DXbase band code; "99" for a band
// the table does not hold.
const QString& LotwBandTable(QByteArrayView band);
// The mode rule for MODE and SUBMODE: 16 characters or more give "99"; otherwise the table
// (upper-cased), then "7" for any value containing SSTV, and "6" (other digital) for the rest.
const QString& LotwModeCode(QByteArrayView mode);
// TIME_ON to HHMMSS: under 4 characters empty, 4 or 5 the first four and "00", else the
// first six.
void LotwTime(QByteArrayView time, QString& target);
// QSO_DATE and QSLRDATE: kept when exactly 8 characters long, otherwise empty.
void LotwDate(QByteArrayView date, QString& target);
// STATE: a 2-character value sets the state (empty when not one of the US state
// abbreviations, compared case-sensitively); other lengths leave it unchanged.
void ApplyLotwState(QByteArrayView value, QString& state);
// CQZ and ITUZ: a value of 1 or 2 characters is stored as two digits; others are ignored.
void ApplyLotwZone(QByteArrayView value, QString& zone);
// IOTA: a 6-character value loses its hyphen and is upper-cased; others are ignored.
void ApplyLotwIota(QByteArrayView value, QString& iota);
// GRIDSQUARE: longer than 3 characters, 6 kept and any other length cut to 4, upper-cased.
void ApplyLotwGrid(QByteArrayView value, QString& grid);
// STATION_CALLSIGN: the first 15 characters, upper-cased.
void LotwStationCall(QByteArrayView value, QString& target);
// DXCC: the entity number in decimal without leading zeros ("006" gives "6"); empty for a
// value that is not a number of at most 9 digits (leading blanks allowed).
void LotwDxcc(QByteArrayView value, QString& target);
// The credit word when the value contains it anywhere, else an empty text.
const QString& Credit(QByteArrayView value, const char* word);
}
