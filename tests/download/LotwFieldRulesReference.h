#pragma once

#include "download/LotwFieldRules.h"

// The rules of ReportBytes written plainly over texts, on the same tables: the tests hold the
// reader's byte rules to these on every value they try.

QString TrimLeadingReportSpace(const QString& text);
// BAND value to the DXbase band code; "99" for a band the table does not hold.
QString LotwBandTable(const QString& band);
// Upper-cased MODE or SUBMODE value to the DXbase mode code; empty when not in the table.
QString LotwModeTable(const QString& upperMode);
// The full mode rule: 16 characters or more give "99"; otherwise the table, then "7" for any
// value containing SSTV, and "6" (other digital) for the rest.
QString LotwModeCode(const QString& mode);
QString LotwTime(const QString& time);
QString LotwDate(const QString& date);
// One of the 50 US state abbreviations (case-sensitive).
bool IsUsStateAbbreviation(const QString& state);
void ApplyLotwState(const QString& value, QString& state);
void ApplyLotwZone(const QString& value, QString& zone);
void ApplyLotwIota(const QString& value, QString& iota);
void ApplyLotwGrid(const QString& value, QString& grid);
QString LotwDxcc(const QString& value);
