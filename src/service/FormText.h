#pragma once

#include <QString>

// The rules for texts the form hands on to an operation. The date and the spare text reach an
// operation as the form reads them back, into a buffer of 100 characters: at most their first
// 99. Paths are handed on whole, by the window and the batch command alike: a path cut short
// names another file (an upload written beside the one meant, a TQSL program that is not the
// one configured), so no path is cut.
namespace FormText {

// How many characters of the date or the spare text reach an operation.
inline constexpr int kHandedOn = 99;

// The date or the spare text as the form hands it on: its first 99 characters.
QString handedOn(const QString& text);

// The signed file's name the form shows ("TQ8 Upload file:") for an upload file path: the
// whole path with its last three characters replaced by "tq8" ("LoTWUpload.adi" gives
// "LoTWUpload.tq8"); empty for an empty path.
QString tq8Text(const QString& uploadAdifPath);

} // namespace FormText
