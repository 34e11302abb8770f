#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The building blocks of the program's state files ("quorvane.dat", "quorvane2.dat",
// "quorvane3.dat"): a first line holding an integer, text fields each ended by the byte 0x05,
// and integers. Reading follows the C library's formatted input so that files written by
// earlier versions of the program load unchanged.

constexpr char kFieldEnd = '\x05';
// The longest text a field may hold; a longer run of bytes before 0x05 does not load.
constexpr int kMaxFieldLength = 2047;

// Reads an integer as the C "%i" conversion does: leading white space skipped, an optional
// sign, then hexadecimal after "0x"/"0X", octal after a leading "0", decimal otherwise.
// False (nothing consumed beyond white space) when no digit follows.
bool ReadInteger(QIODevice& file, long long& value);
// Skips white space (blank, tab, CR, LF, vertical tab, form feed).
void SkipWhiteSpace(QIODevice& file);
// The first line of a state file: an integer, then all white space after it ("%i\r\n").
bool ReadNumberLine(QIODevice& file);
// Writes the first line: value in decimal followed by CR LF.
bool WriteNumberLine(QIODevice& file, int value);

// Reads one text field: every byte up to the next 0x05 (CR, LF and blanks included), then that
// 0x05. A lone 0x05 is an empty field. Fails at the end of the file, when the field is not
// ended by 0x05, or when it is longer than kMaxFieldLength; text is changed only on success.
bool ReadField(QIODevice& file, QString& text);
// Writes one text field: the text in the system's 8-bit encoding (UTF-8 on Linux, the ANSI
// code page on Windows) followed by 0x05. A byte 0x05 inside the text is left out and the text
// is cut to kMaxFieldLength bytes on a character's boundary, so that the file always reads
// back field by field. Fails when nothing could be written, and, writing nothing, when the
// text holds a character the encoding cannot hold (see CharactersOutsideFieldEncoding).
bool WriteField(QIODevice& file, const QString& text);
// The characters of text that the system's 8-bit encoding cannot hold, each once, in the
// order met; empty when it holds them all. Only the ANSI code page of Windows can lack
// characters: a path written there with a stand-in character ("?", or "Z" for "Ż") would name
// another file, so such a text is refused rather than written.
QString CharactersOutsideFieldEncoding(const QString& text);
// A name for the system's 8-bit encoding in messages ("the ANSI code page 1252").
QString FieldEncodingName();
// The bytes WriteField writes for text, without the closing 0x05.
QByteArray FieldBytes(const QString& text);
// The text of a field's bytes, as ReadField reads them: the system's 8-bit encoding, or one
// character a byte where the bytes are not valid in it.
QString FieldText(const QByteArray& bytes);
