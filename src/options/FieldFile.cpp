#include "FieldFile.h"

#include <QIODevice>
#include "platform/TextDecoding.h"

#include <limits>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

constexpr unsigned long long kLimit = std::numeric_limits<long long>::max();

bool peekChar(QIODevice& file, char& c)
{
    return file.peek(&c, 1) == 1;
}
}

void SkipWhiteSpace(QIODevice& file)
{
    char c;
    while (peekChar(file, c) && isSpace(c))
        file.getChar(&c);
}

bool ReadInteger(QIODevice& file, long long& value)
{
    SkipWhiteSpace(file);
    char c;
    bool negative = false;
    if (peekChar(file, c) && (c == '+' || c == '-')) {
        negative = c == '-';
        file.getChar(&c);
    }
    int base = 10;
    bool haveDigit = false;
    unsigned long long magnitude = 0;
    if (peekChar(file, c) && c == '0') {
        file.getChar(&c);
        haveDigit = true;
        base = 8;
        char x;
        if (peekChar(file, x) && (x == 'x' || x == 'X')) {
            // "0x" opens a hexadecimal number; without a hex digit after it the number is the 0.
            QByteArray two = file.peek(2);
            if (two.size() == 2 && digitValue(two.at(1)) < 16) {
                file.getChar(&x);
                base = 16;
            }
        }
    }
    while (peekChar(file, c) && digitValue(c) < base) {
        file.getChar(&c);
        haveDigit = true;
        // A number too large for the type saturates, as strtoll does.
        if (magnitude <= kLimit) {
            const unsigned long long digit = digitValue(c);
            magnitude = magnitude > (kLimit - digit) / base ? kLimit + 1 : magnitude * base + digit;
        }
    }
    if (!haveDigit)
        return false;
    const long long saturated = magnitude > kLimit ? std::numeric_limits<long long>::max()
                                                   : static_cast<long long>(magnitude);
    value = negative ? -saturated : saturated;
    return true;
}

bool ReadNumberLine(QIODevice& file)
{
    long long value = 0;
    if (!ReadInteger(file, value))
        return false;
    SkipWhiteSpace(file);
    return true;
}

bool WriteNumberLine(QIODevice& file, int value)
{
    const QByteArray line = QByteArray::number(value) + "\r\n";
    return file.write(line) == line.size();
}

bool ReadField(QIODevice& file, QString& text)
{
    QByteArray bytes;
    char c;
    for (;;) {
        if (!file.getChar(&c))
            return false; // end of file before the field's 0x05
        if (c == kFieldEnd)
            break;
        if (bytes.size() == kMaxFieldLength)
            return false; // longer than any field the program writes
        bytes.append(c);
    }
    // The text ends at a NUL byte, as a C string read from the file does.
    bytes.truncate(qstrnlen(bytes.constData(), bytes.size()));
    text = FieldText(bytes);
    return true;
}

QString FieldText(const QByteArray& bytes)
{
    // The system's 8-bit encoding: UTF-8 on Linux, the ANSI code page on Windows (what the
    // original program wrote there).
    return DecodeOrLatin1(bytes, QStringDecoder::System);
}

QByteArray FieldBytes(const QString& text)
{
    QString kept = text;
    kept.remove(QLatin1Char(kFieldEnd));
    // Cut to what fits a field, on a character's boundary.
    if (kept.size() > kMaxFieldLength)
        kept.truncate(kMaxFieldLength);
    QByteArray bytes = kept.toLocal8Bit();
    while (bytes.size() > kMaxFieldLength) {
        kept.chop(kept.size() >= 2 && kept.at(kept.size() - 1).isLowSurrogate() ? 2 : 1);
        bytes = kept.toLocal8Bit();
    }
    return bytes;
}

QString CharactersOutsideFieldEncoding(const QString& text)
{
#ifdef Q_OS_WIN
    // A code page of UTF-8 (the system setting of later Windows 10) holds every character.
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8)
        return QString();
    QString outside;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        if (text.at(i).unicode() >= 0x80) {
            // Without best fit: a character the code page lacks is not quietly made another one.
            BOOL usedDefault = FALSE;
            char bytes[8];
            const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS,
                                                 reinterpret_cast<const wchar_t*>(text.constData() + i), int(length),
                                                 bytes, int(sizeof bytes), nullptr, &usedDefault);
            const QString character = text.mid(i, length);
            if ((size <= 0 || usedDefault) && !outside.contains(character))
                outside += character;
        }
        i += length;
    }
    return outside;
#else
    // UTF-8 holds every character.
    Q_UNUSED(text);
    return QString();
#endif
}

QString FieldEncodingName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("the ANSI code page %1").arg(GetACP());
#else
    return QStringLiteral("UTF-8");
#endif
}

bool WriteField(QIODevice& file, const QString& text)
{
    if (!CharactersOutsideFieldEncoding(text).isEmpty())
        return false;
    const QByteArray bytes = FieldBytes(text) + kFieldEnd;
    return file.write(bytes) == bytes.size();
}
