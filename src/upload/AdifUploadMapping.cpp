#include "AdifUploadMapping.h"

#include <QHash>

#include <algorithm>
#include <cstdio>
#include <cstring>

const std::array<SatelliteWindow, 60>& SatelliteWindowTable()
{
    static const std::array<SatelliteWindow, 60> table = {{
        {"AO-10", "19830606", nullptr}, {"AO-13", "19880615", "19961207"},
        {"AO-16", "19900122", nullptr}, {"AO-21", "19910129", "19940916"},
        {"AO-27", "19930926", nullptr}, {"AO-3", "19650318", "19650327"},
        {"AO-4", "19651221", "19660316"}, {"AO-40", "20001116", nullptr},
        {"AO-51", "20040629", nullptr}, {"AO-6", "19721015", "19770621"},
        {"AO-7", "19741115", nullptr}, {"AO-73", "20131121", nullptr},
        {"AO-8", "19780315", "19830624"}, {"AO-85", "20151009", nullptr},
        {"AO-91", "20171123", nullptr}, {"AO-92", "20180112", nullptr},
        {"ARISS", "19981120", nullptr}, {"CAS3H", "20150918", nullptr},
        {"CAS4A", "20171018", nullptr}, {"CAS4B", "20171018", nullptr},
        {"DO-64", "20080428", nullptr}, {"EO-79", "20140619", nullptr},
        {"EO-88", "20170215", nullptr}, {"FO-12", "19860812", "19891105"},
        {"FO-20", "19900207", nullptr}, {"FO-29", "19960717", nullptr},
        {"FO-99", "20190126", nullptr}, {"FS-3", "20170924", nullptr},
        {"HO-68", "20091215", nullptr}, {"JO-97", "20181208", nullptr},
        {"LO-19", "19900122", nullptr}, {"LO-87", "20160530", nullptr},
        {"LO-90", "20170525", nullptr}, {"NO-44", "20010930", nullptr},
        {"NO-83", "20150520", nullptr}, {"NO-84", "20150520", nullptr},
        {"QO100", "20190202", nullptr}, {"RS-1", "19781026", "19790201"},
        {"RS-10", "19870623", "20001101"}, {"RS-11", "19870623", "20001101"},
        {"RS-12", "19910205", "20020215"}, {"RS-13", "19910205", "20020215"},
        {"RS-15", "19941216", nullptr}, {"RS-2", "19781026", "19790201"},
        {"RS-5", "19811217", "19870510"}, {"RS-6", "19811217", "19841209"},
        {"RS-7", "19811218", "19870601"}, {"RS-8", "19811217", "19851216"},
        {"SO-35", "19990223", "20010610"}, {"SO-41", "20000926", nullptr},
        {"SO-50", "20021220", nullptr}, {"SO-67", "20090917", nullptr},
        {"UO-14", "19900122", nullptr}, {"VO-52", "20050505", nullptr},
        {"XW-2A", "20150919", nullptr}, {"XW-2B", "20150919", nullptr},
        {"XW-2C", "20150919", nullptr}, {"XW-2D", "20150919", nullptr},
        {"XW-2E", "20150919", nullptr}, {"XW-2F", "20150919", nullptr},
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
        QStringLiteral("70CM"), QStringLiteral("35CM"),  QStringLiteral("23CM"), QStringLiteral("13CM"),
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
        if (sat != QLatin1String(row.name))
            continue;
        // Character-wise comparison of YYYYMMDD texts orders them by date.
        if (qsoDate.compare(QLatin1String(row.first)) < 0)
            continue;
        if (row.last && qsoDate.compare(QLatin1String(row.last)) > 0)
            continue;
        static const QHash<QString, QString> renamed = {
            {QStringLiteral("CAS3H"), QStringLiteral("CAS-3H")},
            {QStringLiteral("CAS4A"), QStringLiteral("CAS-4A")},
            {QStringLiteral("CAS4B"), QStringLiteral("CAS-4B")},
            {QStringLiteral("QO100"), QStringLiteral("QO-100")},
        };
        return renamed.value(sat, sat);
    }
    return std::nullopt;
}

QString AdifField(const char* tag, const QString& value)
{
    // Single-byte text: the byte length is the number of characters.
    char digits[24];
    const int digitCount = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value.size()));
    const qsizetype tagLength = qsizetype(std::strlen(tag));
    QString line(1 + tagLength + 1 + digitCount + 1 + value.size(), Qt::Uninitialized);
    QChar* out = line.data();
    *out++ = QLatin1Char('<');
    for (qsizetype i = 0; i < tagLength; ++i)
        *out++ = QLatin1Char(tag[i]);
    *out++ = QLatin1Char(':');
    for (int i = 0; i < digitCount; ++i)
        *out++ = QLatin1Char(digits[i]);
    *out++ = QLatin1Char('>');
    std::copy(value.cbegin(), value.cend(), out);
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
