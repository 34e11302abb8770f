#include "AdifUploadMapping.h"

#include <QDate>
#include <QTime>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>

const std::array<SatelliteWindow, 88>& SatelliteWindowTable()
{
    // The names DXbase operators log, with the days on which a QSO through each counts; the
    // last column is the name written to SAT_NAME, as TQSL spells it. The first rows carry the
    // program's long-standing windows; the rows after them complete the satellites that TQSL
    // knows (with TQSL's own windows) and take the hyphenated names of four of them as well.
    static const std::array<SatelliteWindow, 88> table = {{
        {"AO-10", "19830606", nullptr, "AO-10"}, {"AO-13", "19880615", "19961207", "AO-13"},
        {"AO-16", "19900122", nullptr, "AO-16"}, {"AO-21", "19910129", "19940916", "AO-21"},
        {"AO-27", "19930926", nullptr, "AO-27"}, {"AO-3", "19650318", "19650327", "AO-3"},
        {"AO-4", "19651221", "19660316", "AO-4"}, {"AO-40", "20001116", nullptr, "AO-40"},
        {"AO-51", "20040629", nullptr, "AO-51"}, {"AO-6", "19721015", "19770621", "AO-6"},
        {"AO-7", "19741115", nullptr, "AO-7"}, {"AO-73", "20131121", nullptr, "AO-73"},
        {"AO-8", "19780315", "19830624", "AO-8"}, {"AO-85", "20151009", nullptr, "AO-85"},
        {"AO-91", "20171123", nullptr, "AO-91"}, {"AO-92", "20180112", nullptr, "AO-92"},
        {"ARISS", "19981120", nullptr, "ARISS"}, {"CAS3H", "20150918", nullptr, "CAS-3H"},
        {"CAS4A", "20171018", nullptr, "CAS-4A"}, {"CAS4B", "20171018", nullptr, "CAS-4B"},
        {"DO-64", "20080428", nullptr, "DO-64"}, {"EO-79", "20140619", nullptr, "EO-79"},
        {"EO-88", "20170215", nullptr, "EO-88"}, {"FO-12", "19860812", "19891105", "FO-12"},
        {"FO-20", "19900207", nullptr, "FO-20"}, {"FO-29", "19960717", nullptr, "FO-29"},
        {"FO-99", "20190126", nullptr, "FO-99"}, {"FS-3", "20170924", nullptr, "FS-3"},
        {"HO-68", "20091215", nullptr, "HO-68"}, {"JO-97", "20181208", nullptr, "JO-97"},
        {"LO-19", "19900122", nullptr, "LO-19"}, {"LO-87", "20160530", nullptr, "LO-87"},
        {"LO-90", "20170525", nullptr, "LO-90"}, {"NO-44", "20010930", nullptr, "NO-44"},
        {"NO-83", "20150520", nullptr, "NO-83"}, {"NO-84", "20150520", nullptr, "NO-84"},
        {"QO100", "20190202", nullptr, "QO-100"}, {"RS-1", "19781026", "19790201", "RS-1"},
        {"RS-10", "19870623", "20001101", "RS-10"}, {"RS-11", "19870623", "20001101", "RS-11"},
        {"RS-12", "19910205", "20020215", "RS-12"}, {"RS-13", "19910205", "20020215", "RS-13"},
        {"RS-15", "19941216", nullptr, "RS-15"}, {"RS-2", "19781026", "19790201", "RS-2"},
        {"RS-5", "19811217", "19870510", "RS-5"}, {"RS-6", "19811217", "19841209", "RS-6"},
        {"RS-7", "19811218", "19870601", "RS-7"}, {"RS-8", "19811217", "19851216", "RS-8"},
        {"SO-35", "19990223", "20010610", "SO-35"}, {"SO-41", "20000926", nullptr, "SO-41"},
        {"SO-50", "20021220", nullptr, "SO-50"}, {"SO-67", "20090917", nullptr, "SO-67"},
        {"UO-14", "19900122", nullptr, "UO-14"}, {"VO-52", "20050505", nullptr, "VO-52"},
        {"XW-2A", "20150919", nullptr, "XW-2A"}, {"XW-2B", "20150919", nullptr, "XW-2B"},
        {"XW-2C", "20150919", nullptr, "XW-2C"}, {"XW-2D", "20150919", nullptr, "XW-2D"},
        {"XW-2E", "20150919", nullptr, "XW-2E"}, {"XW-2F", "20150919", nullptr, "XW-2F"},
        // Satellites of TQSL's configuration that the rows above do not hold.
        {"AISAT1", "20190407", nullptr, "AISAT1"}, {"AO-109", "20210720", nullptr, "AO-109"},
        {"Arsene", "19930513", "19930910", "Arsene"}, {"BO-102", "20190725", nullptr, "BO-102"},
        {"BY70-1", "20161228", "20170217", "BY70-1"}, {"CAS-2T", "20161109", nullptr, "CAS-2T"},
        {"HO-107", "20200510", nullptr, "HO-107"}, {"HO-113", "20211226", nullptr, "HO-113"},
        {"IO-86", "20150928", nullptr, "IO-86"}, {"KEDR", "20110803", "20120104", "KEDR"},
        {"LO-78", "20140422", "20140728", "LO-78"}, {"MAYA-3", "20211010", nullptr, "MAYA-3"},
        {"MAYA-4", "20211010", nullptr, "MAYA-4"}, {"MIREX", "19910201", "20000616", "MIREX"},
        {"MO-112", "20210622", nullptr, "MO-112"}, {"NO-103", "20190625", nullptr, "NO-103"},
        {"NO-104", "20190625", nullptr, "NO-104"}, {"PO-101", "20181018", nullptr, "PO-101"},
        {"RS-44", "20200430", nullptr, "RS-44"}, {"SAREX", "19901202", "19990728", "SAREX"},
        {"TAURUS", "20190917", nullptr, "TAURUS"}, {"TO-108", "20191220", nullptr, "TO-108"},
        {"UKUBE1", "20160601", nullptr, "UKUBE1"}, {"UVSQ", "20210305", nullptr, "UVSQ"},
        // The hyphenated names of the four satellites logged without a hyphen above.
        {"CAS-3H", "20150918", nullptr, "CAS-3H"}, {"CAS-4A", "20171018", nullptr, "CAS-4A"},
        {"CAS-4B", "20171018", nullptr, "CAS-4B"}, {"QO-100", "20190202", nullptr, "QO-100"},
    }};
    return table;
}

namespace {

// The value of a code text that is a decimal number written without leading zeros and below
// 100 ("0" to "99"), or -1 for any other text.
int smallCode(const QString& code)
{
    const qsizetype size = code.size();
    if (size < 1 || size > 2)
        return -1;
    const char16_t first = code.at(0).unicode();
    if (first < u'0' || first > u'9' || (size == 2 && first == u'0'))
        return -1;
    if (size == 1)
        return first - u'0';
    const char16_t second = code.at(1).unicode();
    if (second < u'0' || second > u'9')
        return -1;
    return (first - u'0') * 10 + (second - u'0');
}

} // namespace

std::optional<QString> UploadBandTable(const QString& bandCode)
{
    static const QString bands[24] = {
        QStringLiteral("2M"),   QStringLiteral("6M"),    QStringLiteral("10M"),  QStringLiteral("12M"),
        QStringLiteral("15M"),  QStringLiteral("17M"),   QStringLiteral("20M"),  QStringLiteral("30M"),
        QStringLiteral("40M"),  QStringLiteral("80M"),   QStringLiteral("160M"), QStringLiteral("1.25M"),
        QStringLiteral("70CM"), QStringLiteral("33CM"),  QStringLiteral("23CM"), QStringLiteral("13CM"),
        QStringLiteral("9CM"),  QStringLiteral("6CM"),   QStringLiteral("3CM"),  QStringLiteral("1.25CM"),
        QStringLiteral("6MM"),  QStringLiteral("4MM"),   QStringLiteral("4M"),   QStringLiteral("60M"),
    };
    const int code = smallCode(bandCode);
    if (code < 0 || code >= 24)
        return std::nullopt;
    return bands[code];
}

QString UploadSubmodeName(const QString& submode)
{
    static const QHash<QString, QString> submodes = {
        {QStringLiteral("AMTOR"), QStringLiteral("TOR")},
        {QStringLiteral("PACTOR"), QStringLiteral("PAC")},
        {QStringLiteral("PACTOR-II"), QStringLiteral("PAC2")},
        {QStringLiteral("PACTORII"), QStringLiteral("PAC2")},
        {QStringLiteral("PACTOR-III"), QStringLiteral("PAC3")},
        {QStringLiteral("PACTORIII"), QStringLiteral("PAC3")},
        {QStringLiteral("CLOVER"), QStringLiteral("CLO")},
        {QStringLiteral("GTOR"), QStringLiteral("GTOR")},
        {QStringLiteral("FELDHELL"), QStringLiteral("HELL")},
    };
    auto it = submodes.constFind(submode);
    return it == submodes.constEnd() ? submode : *it;
}

std::optional<QString> UploadModeTable(const QString& modeCode, const QString& submode)
{
    if (modeCode.size() != 1)
        return std::nullopt;
    switch (modeCode.at(0).unicode()) {
    case '0':
    case '1':
        return QStringLiteral("SSB");
    case '2':
        return QStringLiteral("CW");
    case '3':
        return QStringLiteral("FM");
    case '4':
        return QStringLiteral("AM");
    case '5':
        return QStringLiteral("RTTY");
    case '6':
        return UploadSubmodeName(submode);
    case '7':
        return QStringLiteral("SSTV");
    default:
        return std::nullopt;
    }
}

std::optional<QString> QslFlag(const QString& code)
{
    if (code.size() != 1)
        return std::nullopt;
    switch (code.at(0).unicode()) {
    case '0':
        return QStringLiteral("N");
    case '1':
    case '2':
    case '3':
        return QStringLiteral("Y");
    default:
        return std::nullopt;
    }
}

QString FormatIota(const QString& iota)
{
    return iota.left(2) + QLatin1Char('-') + iota.right(3);
}

std::optional<QString> FormatFrequency(const QString& freqKhz, const QString& bandCode)
{
    // Fraction step: one fraction digit gets a second one, "0".
    const bool padded = freqKhz.size() >= 2 && freqKhz.at(freqKhz.size() - 2) == QLatin1Char('.');
    const qsizetype length = freqKhz.size() + (padded ? 1 : 0);
    if (length == 0)
        return std::nullopt;

    // Digits before the decimal point that the band's group expects, by band code; 0 for
    // the bands of no group (3CM and up).
    static const int groups[24] = {6, 5, 5, 5, 5, 5, 5, 5, 4, 4, 4, 6, 6, 6, 7, 7, 7, 7, 0, 0, 0, 0, 5, 4};
    const int code = smallCode(bandCode);
    if (code < 0 || code >= 24 || groups[code] == 0)
        return std::nullopt;
    const int n = groups[code];
    const qsizetype fraction = length - n - 1;
    if (fraction < 2 || fraction > 4)
        return std::nullopt;
    // The character dropped is the kHz value's decimal separator, which must stand where the
    // group expects it. A digit there means a frequency of another band (a wrong band code,
    // for instance), which would otherwise lose that digit and come out as a wrong number.
    if (freqKhz.at(n).isDigit())
        return std::nullopt;
    // MHz digits, ".", the last three kHz digits, the fraction; the kHz point is dropped.
    QString result;
    result.reserve(length);
    result.append(QStringView(freqKhz).left(n - 3));
    result.append(QLatin1Char('.'));
    result.append(QStringView(freqKhz).mid(n - 3, 3));
    result.append(QStringView(freqKhz).mid(n + 1));
    if (padded)
        result.append(QLatin1Char('0'));
    return result;
}

std::optional<QString> SatelliteName(const QString& sat, const QString& qsoDate)
{
    if (sat.isEmpty() || sat == QLatin1String("None") || sat == QLatin1String("NONE"))
        return std::nullopt;
    for (const SatelliteWindow& row : SatelliteWindowTable()) {
        // TQSL compares names without regard to case, and so do operators.
        if (sat.compare(QLatin1String(row.name), Qt::CaseInsensitive) != 0)
            continue;
        // Character-wise comparison of YYYYMMDD texts orders them by date.
        if (qsoDate.compare(QLatin1String(row.first)) < 0)
            continue;
        if (row.last && qsoDate.compare(QLatin1String(row.last)) > 0)
            continue;
        return QString::fromLatin1(row.written);
    }
    return std::nullopt;
}

const QStringList& TqslModeNames()
{
    // The ADIF modes and submodes that TQSL maps to one of its modes, and its own mode names,
    // which it takes as they stand.
    static const QStringList list = [] {
        static const char* const names[] = {
            "AM", "AMTOR", "AMTORFEC", "ARDOP", "ASCI", "ATV", "BPSK125", "BPSK31", "BPSK63", "C4FM",
            "CHIP", "CHIP128", "CHIP64", "CLO", "CLOVER", "CONTESTI", "CW", "DATA", "DIGITALVOICE",
            "DOMINO", "DOMINOEX", "DOMINOF", "DSTAR", "FAX", "FM", "FMHELL", "FSK31", "FSK441",
            "FSKHELL", "FSQCALL", "FST4", "FT4", "FT8", "GTOR", "HELL", "HELL80", "HFSK", "IMAGE",
            "ISCAT", "ISCAT-A", "ISCAT-B", "JS8", "JT4", "JT4A", "JT4B", "JT4C", "JT4D", "JT4E", "JT4F",
            "JT4G", "JT65", "JT65A", "JT65B", "JT65B2", "JT65C", "JT65C2", "JT6M", "JT9", "JT9-1",
            "JT9-10", "JT9-2", "JT9-30", "JT9-5", "JT9A", "JT9B", "JT9C", "JT9D", "JT9E", "JT9E FAST",
            "JT9F", "JT9F FAST", "JT9G", "JT9G FAST", "JT9H", "JT9H FAST", "LSB", "MFSK", "MFSK11",
            "MFSK128", "MFSK16", "MFSK22", "MFSK31", "MFSK32", "MFSK4", "MFSK64", "MFSK8", "MINIRTTY",
            "MSK144", "MT63", "OLIVIA", "OLIVIA 16/1000", "OLIVIA 16/500", "OLIVIA 32/1000",
            "OLIVIA 4/125", "OLIVIA 4/250", "OLIVIA 8/250", "OLIVIA 8/500", "OPERA", "OPERA-BEACON",
            "OPERA-QSO", "PAC", "PAC2", "PAC3", "PAC4", "PACKET", "PACTOR", "PAX", "PAX2", "PCW",
            "PHONE", "PKT", "PSK", "PSK10", "PSK1000", "PSK125", "PSK250", "PSK2K", "PSK31", "PSK500",
            "PSK63", "PSK63F", "PSKAM", "PSKAM10", "PSKAM31", "PSKAM50", "PSKFEC31", "PSKHELL", "Q15",
            "Q65", "QPSK125", "QPSK250", "QPSK31", "QPSK500", "QPSK63", "QRA64", "QRA64A", "QRA64B",
            "QRA64C", "QRA64D", "QRA64E", "ROS", "ROS-EME", "ROS-HF", "ROS-MF", "RTTY", "RTTYM",
            "SIM31", "SSB", "SSTV", "T10", "THOR", "THRB", "THRBX", "THROB", "TOR", "USB", "V4", "VOI",
            "WINMOR", "WSPR",
        };
        QStringList all;
        for (const char* name : names)
            all.append(QString::fromLatin1(name));
        return all;
    }();
    return list;
}

bool TqslKnowsMode(const QString& adifMode)
{
    // The names the fixed mode codes give, looked at first: nearly every QSO has one.
    for (const char* common : {"SSB", "CW", "FM", "RTTY", "AM", "SSTV"}) {
        if (adifMode == QLatin1StringView(common))
            return true;
    }
    // TQSL compares mode names without regard to case.
    static const QSet<QString> known(TqslModeNames().begin(), TqslModeNames().end());
    return known.contains(adifMode.toUpper());
}

namespace {
bool isDigits(const QString& text, qsizetype size)
{
    if (text.size() != size)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}
} // namespace

// Qt reads the dates and times; the digit checks stay, as Qt also takes a sign or fewer digits.
// The number the digits of text from at, count long, stand for (the caller checked them).
static int digitsValue(const QString& text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i)
        value = value * 10 + (text.at(i).unicode() - '0');
    return value;
}

// Both are checked for every QSO of an upload: the digits are read here and Qt's calendar
// decides, without Qt's format parser, which costs more than the rest of a record's checks.
bool IsAdifDate(const QString& date)
{
    if (!isDigits(date, 8))
        return false;
    const int year = digitsValue(date, 0, 4);
    return year >= 1900 && QDate::isValid(year, digitsValue(date, 4, 2), digitsValue(date, 6, 2));
}

bool IsAdifTime(const QString& time)
{
    // TQSL signs HHMM as HH:MM:00.
    if (isDigits(time, 4))
        return QTime::isValid(digitsValue(time, 0, 2), digitsValue(time, 2, 2), 0);
    return isDigits(time, 6)
           && QTime::isValid(digitsValue(time, 0, 2), digitsValue(time, 2, 2), digitsValue(time, 4, 2));
}

qsizetype AdifByteLength(const QString& value)
{
    // The file is UTF-8: plain ASCII has a byte a character, anything else is counted as
    // encoded.
    for (QChar c : value) {
        if (c.unicode() >= 0x80)
            return value.toUtf8().size();
    }
    return value.size();
}

void AppendAdifFieldLine(QString& text, const char* tag, const QString& value)
{
    // The length in decimal, written backwards into a small buffer.
    char digits[24];
    int digitCount = 0;
    for (qsizetype length = AdifByteLength(value); digitCount == 0 || length > 0; length /= 10)
        digits[digitCount++] = char('0' + length % 10);
    const qsizetype tagLength = qsizetype(std::strlen(tag));
    // The whole line written into room made once: "<", tag, ":", digits, ">", value, CR LF.
    const qsizetype at = text.size();
    text.resize(at + 1 + tagLength + 1 + digitCount + 1 + value.size() + 2);
    char16_t* out = reinterpret_cast<char16_t*>(text.data()) + at;
    *out++ = u'<';
    for (qsizetype i = 0; i < tagLength; ++i)
        *out++ = char16_t(static_cast<unsigned char>(tag[i]));
    *out++ = u':';
    while (digitCount > 0)
        *out++ = char16_t(digits[--digitCount]);
    *out++ = u'>';
    const char16_t* from = reinterpret_cast<const char16_t*>(value.constData());
    out = std::copy(from, from + value.size(), out);
    *out++ = u'\r';
    *out = u'\n';
}

QString AdifField(const char* tag, const QString& value)
{
    QString line;
    AppendAdifFieldLine(line, tag, value);
    line.chop(2);
    return line;
}

const std::array<QString, 3>& AdifHeaderLines()
{
    static const std::array<QString, 3> lines = {
        QStringLiteral("Brindlewick LoTW Export from Tamsorel v[1.0]"),
        QStringLiteral("<EOH>"),
        QString(),
    };
    return lines;
}
