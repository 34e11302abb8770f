#pragma once

#include <QString>

// The rules for texts the form hands on to an operation. The form reads a path or a date back
// from its controls into a buffer of 100 characters, so an operation gets at most the first 99;
// the batch command hands its paths and dates on by the same rule, so that both front ends
// write to the same files.
namespace FormText {

// How many characters of a control's text reach an operation.
inline constexpr int kHandedOn = 99;

// The text as the form hands it on: its first 99 characters.
QString handedOn(const QString& text);

// The signed file's name the form shows ("TQ8 Upload file:") for an upload file path: the
// path as handed on with its last three characters replaced by "tq8" ("LoTWUpload.adi" gives
// "LoTWUpload.tq8"); empty for an empty path.
QString tq8Text(const QString& uploadAdifPath);

} // namespace FormText
