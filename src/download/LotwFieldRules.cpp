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

QString TrimLeadingReportSpace(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && IsReportSpace(text.at(first)))
        ++first;
    return first == 0 ? text : text.mid(first);
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
struct CodeEntry
{
    const char* name;
    const char* code;
};

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

QString LotwBandTable(const QString& band)
{
    const QString key = AsciiUpper(TrimLeadingReportSpace(band));
    for (const CodeEntry& entry : kBands) {
        if (key == QLatin1String(entry.name))
            return QLatin1String(entry.code);
    }
    return QStringLiteral("99");
}

QString LotwModeTable(const QString& upperMode)
{
    for (const CodeEntry& entry : kModes) {
        if (upperMode == QLatin1String(entry.name))
            return QLatin1String(entry.code);
    }
    return QString();
}

QString LotwModeCode(const QString& mode)
{
    if (mode.size() >= 16)
        return QStringLiteral("99");
    const QString upper = AsciiUpper(mode);
    const QString code = LotwModeTable(upper);
    if (!code.isEmpty())
        return code;
    return upper.contains(QLatin1String("SSTV")) ? QStringLiteral("7") : QStringLiteral("6");
}

QString ResolveSidebandMode(const QString& modeCode, const QString& bandCode)
{
    if (modeCode != QLatin1String("89"))
        return modeCode;
    if (bandCode == QLatin1String("8") || bandCode == QLatin1String("9") || bandCode == QLatin1String("10"))
        return QStringLiteral("1");
    return QStringLiteral("0");
}

QString LotwTime(const QString& time)
{
    if (time.size() < 4)
        return QString();
    if (time.size() < 6)
        return time.left(4) + QLatin1String("00");
    return time.left(6);
}

QString LotwDate(const QString& date)
{
    return date.size() == 8 ? date : QString();
}

bool IsUsStateAbbreviation(const QString& state)
{
    if (state.size() != 2)
        return false;
    for (const char* abbreviation : kStates) {
        if (state == QLatin1String(abbreviation))
            return true;
    }
    return false;
}

void ApplyLotwState(const QString& value, QString& state)
{
    if (value.size() != 2)
        return;
    state = IsUsStateAbbreviation(value) ? value : QString();
}

void ApplyLotwZone(const QString& value, QString& zone)
{
    if (value.isEmpty() || value.size() >= 3)
        return;
    zone = value.size() == 1 ? QLatin1Char('0') + value : value;
}

void ApplyLotwIota(const QString& value, QString& iota)
{
    if (value.size() != 6)
        return;
    QString text = value;
    text[2] = QLatin1Char('-');
    const qsizetype hyphen = text.indexOf(QLatin1Char('-'));
    iota = AsciiUpper(text.left(hyphen) + text.mid(hyphen + 1));
}

void ApplyLotwGrid(const QString& value, QString& grid)
{
    if (value.size() <= 3)
        return;
    grid = AsciiUpper(value.size() == 6 ? value : value.left(4));
}

QString LotwStationCall(const QString& value)
{
    return AsciiUpper(value.left(15));
}

QString LotwDxcc(const QString& value)
{
    const QString digits = TrimLeadingReportSpace(value);
    if (digits.isEmpty() || digits.size() > 9)
        return QString();
    int number = 0;
    for (QChar c : digits) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return QString();
        number = number * 10 + (c.unicode() - '0');
    }
    return QString::number(number);
}

bool IsUsEntity(const QString& dxcc)
{
    return dxcc == QLatin1String("291") || dxcc == QLatin1String("6") || dxcc == QLatin1String("110");
}
