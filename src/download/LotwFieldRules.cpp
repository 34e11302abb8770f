#include "LotwFieldRules.h"

#include <QStringList>
#include <array>

QString AsciiUpper(const QString& text)
{
    // Most report values are upper case already: they are shared, not copied.
    qsizetype first = 0;
    while (first < text.size() && !(text.at(first).unicode() >= 'a' && text.at(first).unicode() <= 'z'))
        ++first;
    if (first == text.size())
        return text;
    QString result = text;
    for (qsizetype i = first; i < result.size(); ++i) {
        const char16_t c = result.at(i).unicode();
        if (c >= 'a' && c <= 'z')
            result[i] = QChar(char16_t(c - 'a' + 'A'));
    }
    return result;
}

QString TrimReportSpace(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && IsReportSpace(text.at(first)))
        ++first;
    while (last > first && IsReportSpace(text.at(last - 1)))
        --last;
    return first == 0 && last == text.size() ? text : text.mid(first, last - first);
}

namespace {
using CodeEntry = LotwCode;

// The 902 MHz band is "33CM" in ADIF and in LoTW's reports; "35CM" is still taken, as the
// program has always read it.
constexpr std::array<CodeEntry, 25> kBands = {{
    {"160M", "10"}, {"80M", "9"},    {"40M", "8"},     {"30M", "7"},  {"20M", "6"},
    {"17M", "5"},   {"15M", "4"},    {"12M", "3"},     {"10M", "2"},  {"6M", "1"},
    {"2M", "0"},    {"1.25M", "11"}, {"70CM", "12"},   {"33CM", "13"}, {"35CM", "13"},
    {"23CM", "14"}, {"13CM", "15"},  {"9CM", "16"},    {"6CM", "17"}, {"3CM", "18"},
    {"1.25CM", "19"}, {"6MM", "20"}, {"4MM", "21"},    {"4M", "22"},  {"60M", "23"},
}};

constexpr std::array<CodeEntry, 13> kModes = {{
    {"CW", "2"},    {"SSB", "89"},  {"RTTY", "5"}, {"LSB", "1"},     {"USB", "0"},
    {"AM", "4"},    {"FM", "3"},    {"SSTV", "7"}, {"MTTY", "5"},    {"FSK", "5"},
    {"PHO", "89"},  {"DIGITAL", "6"}, {"PHONE", "89"},
}};

constexpr std::array<const char*, 50> kStates = {
    "AK", "AL", "AR", "AZ", "CA", "CO", "CT", "DE", "FL", "GA", "HI", "IA", "ID",
    "IL", "IN", "KS", "KY", "LA", "MA", "MD", "ME", "MI", "MN", "MO", "MS", "MT",
    "NC", "ND", "NE", "NH", "NJ", "NM", "NV", "NY", "OH", "OK", "OR", "PA", "RI",
    "SC", "SD", "TN", "TX", "UT", "VA", "VT", "WA", "WI", "WV", "WY",
};
} // namespace

std::span<const LotwCode> LotwBandCodes()
{
    return kBands;
}

std::span<const LotwCode> LotwModeCodes()
{
    return kModes;
}

std::span<const char* const> UsStateAbbreviations()
{
    return kStates;
}

QString ResolveSidebandMode(const QString& modeCode, const QString& bandCode)
{
    if (modeCode != QLatin1String("89"))
        return modeCode;
    if (bandCode == QLatin1String("8") || bandCode == QLatin1String("9") || bandCode == QLatin1String("10"))
        return QStringLiteral("1");
    return QStringLiteral("0");
}

QString LotwStationCall(const QString& value)
{
    return AsciiUpper(value.left(15));
}

bool IsUsEntity(const QString& dxcc)
{
    return dxcc == QLatin1String("291") || dxcc == QLatin1String("6") || dxcc == QLatin1String("110");
}

namespace ReportBytes {
namespace {
bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Room for n characters in target, reusing its buffer when it owns one that is large enough.
QChar* Room(QString& target, qsizetype n)
{
    if (!target.isDetached() || target.capacity() < n)
        target = QString(n, Qt::Uninitialized);
    else
        target.resize(n);
    return target.data();
}

template <std::size_t N>
const QString& Lookup(const std::array<CodeEntry, N>& table, QByteArrayView key, const QString* codes,
                      const QString& otherwise)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (key == QByteArrayView(table[i].name))
            return codes[i];
    }
    return otherwise;
}

template <std::size_t N>
std::array<QString, N> Codes(const std::array<CodeEntry, N>& table)
{
    std::array<QString, N> codes;
    for (std::size_t i = 0; i < N; ++i)
        codes[i] = QString::fromLatin1(table[i].code);
    return codes;
}

bool Contains(QByteArrayView value, QByteArrayView word)
{
    return value.indexOf(word) >= 0;
}
} // namespace

void SetLatin1(QString& target, QByteArrayView bytes)
{
    if (bytes.isEmpty()) {
        Clear(target);
        return;
    }
    QChar* out = Room(target, bytes.size());
    for (char c : bytes)
        *out++ = QChar(char16_t(static_cast<unsigned char>(c)));
}

void SetAsciiUpper(QString& target, QByteArrayView bytes)
{
    if (bytes.isEmpty()) {
        Clear(target);
        return;
    }
    QChar* out = Room(target, bytes.size());
    for (char c : bytes)
        *out++ = QChar(char16_t(static_cast<unsigned char>(Upper(c))));
}

void Clear(QString& text)
{
    if (text.isDetached())
        text.resize(0);
    else
        text = QString();
}

const QString& LotwBandTable(QByteArrayView band)
{
    static const auto codes = Codes(kBands);
    static const QString unknown = QStringLiteral("99");
    qsizetype first = 0;
    while (first < band.size() && IsSpace(band[first]))
        ++first;
    band = band.sliced(first);
    char key[8];
    if (band.size() > qsizetype(sizeof key))
        return unknown; // longer than every band name
    for (qsizetype i = 0; i < band.size(); ++i)
        key[i] = Upper(band[i]);
    return Lookup(kBands, QByteArrayView(key, band.size()), codes.data(), unknown);
}

const QString& LotwModeCode(QByteArrayView mode)
{
    static const auto codes = Codes(kModes);
    static const QString unusable = QStringLiteral("99");
    static const QString sstv = QStringLiteral("7");
    static const QString digital = QStringLiteral("6");
    if (mode.size() >= 16)
        return unusable;
    char key[16];
    for (qsizetype i = 0; i < mode.size(); ++i)
        key[i] = Upper(mode[i]);
    const QByteArrayView upper(key, mode.size());
    static const QString none;
    const QString& code = Lookup(kModes, upper, codes.data(), none);
    if (!code.isEmpty())
        return code;
    return Contains(upper, "SSTV") ? sstv : digital;
}

void LotwTime(QByteArrayView time, QString& target)
{
    if (time.size() < 4) {
        Clear(target);
        return;
    }
    if (time.size() < 6) {
        QChar* out = Room(target, 6);
        for (int i = 0; i < 4; ++i)
            out[i] = QChar(char16_t(static_cast<unsigned char>(time[i])));
        out[4] = out[5] = QLatin1Char('0');
        return;
    }
    SetLatin1(target, time.first(6));
}

void LotwDate(QByteArrayView date, QString& target)
{
    if (date.size() == 8)
        SetLatin1(target, date);
    else
        Clear(target);
}

void ApplyLotwState(QByteArrayView value, QString& state)
{
    if (value.size() != 2)
        return;
    for (const char* abbreviation : kStates) {
        if (value == QByteArrayView(abbreviation)) {
            SetLatin1(state, value);
            return;
        }
    }
    Clear(state);
}

void ApplyLotwZone(QByteArrayView value, QString& zone)
{
    if (value.isEmpty() || value.size() >= 3)
        return;
    if (value.size() == 2) {
        SetLatin1(zone, value);
        return;
    }
    QChar* out = Room(zone, 2);
    out[0] = QLatin1Char('0');
    out[1] = QChar(char16_t(static_cast<unsigned char>(value[0])));
}

void ApplyLotwIota(QByteArrayView value, QString& iota)
{
    if (value.size() != 6)
        return;
    char text[6];
    for (int i = 0; i < 6; ++i)
        text[i] = value[i];
    text[2] = '-';
    int hyphen = 0;
    while (text[hyphen] != '-')
        ++hyphen;
    char joined[5];
    int n = 0;
    for (int i = 0; i < 6; ++i) {
        if (i != hyphen)
            joined[n++] = text[i];
    }
    SetAsciiUpper(iota, QByteArrayView(joined, n));
}

void ApplyLotwGrid(QByteArrayView value, QString& grid)
{
    if (value.size() <= 3)
        return;
    SetAsciiUpper(grid, value.size() == 6 ? value : value.first(4));
}

void LotwStationCall(QByteArrayView value, QString& target)
{
    SetAsciiUpper(target, value.first(qMin<qsizetype>(value.size(), 15)));
}

void LotwDxcc(QByteArrayView value, QString& target)
{
    qsizetype first = 0;
    while (first < value.size() && IsSpace(value[first]))
        ++first;
    const QByteArrayView digits = value.sliced(first);
    if (digits.isEmpty() || digits.size() > 9) {
        Clear(target);
        return;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            Clear(target);
            return;
        }
    }
    // The number in decimal: without its leading zeros, "0" for zero.
    qsizetype lead = 0;
    while (lead + 1 < digits.size() && digits[lead] == '0')
        ++lead;
    SetLatin1(target, digits.sliced(lead));
}

const QString& Credit(QByteArrayView value, const char* word)
{
    static const QString dxcc = QStringLiteral("DXCC");
    static const QString vucc = QStringLiteral("VUCC");
    static const QString wpx = QStringLiteral("WPX");
    static const QString none;
    if (!Contains(value, word))
        return none;
    const QByteArrayView w(word);
    return w == "DXCC" ? dxcc : w == "VUCC" ? vucc : wpx;
}
} // namespace ReportBytes
