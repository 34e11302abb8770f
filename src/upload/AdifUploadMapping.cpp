#include "AdifUploadMapping.h"

#include <QHash>

namespace {

QString latin1(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

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

std::optional<QString> UploadBandTable(const QString& bandCode)
{
    static const QHash<QString, QString> bands = [] {
        static const char* const names[24] = {
            "2M",  "6M",   "10M",   "12M",  "15M",  "17M", "20M", "30M",
            "40M", "80M",  "160M",  "1.25M", "70CM", "35CM", "23CM", "13CM",
            "9CM", "6CM",  "3CM",   "1.25CM", "6MM", "4MM", "4M", "60M",
        };
        QHash<QString, QString> table;
        for (int code = 0; code < 24; ++code)
            table.insert(QString::number(code), latin1(names[code]));
        return table;
    }();
    auto it = bands.constFind(bandCode);
    if (it == bands.constEnd())
        return std::nullopt;
    return *it;
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
    QString f = freqKhz;
    if (f.size() >= 2 && f.at(f.size() - 2) == QLatin1Char('.'))
        f += QLatin1Char('0');
    const qsizetype length = f.size();
    if (length == 0)
        return std::nullopt;

    // Digits before the decimal point that the band's group expects.
    static const QHash<QString, int> groups = {
        {QStringLiteral("1"), 5},  {QStringLiteral("2"), 5},  {QStringLiteral("3"), 5},
        {QStringLiteral("4"), 5},  {QStringLiteral("5"), 5},  {QStringLiteral("6"), 5},
        {QStringLiteral("7"), 5},  {QStringLiteral("22"), 5}, {QStringLiteral("8"), 4},
        {QStringLiteral("9"), 4},  {QStringLiteral("10"), 4}, {QStringLiteral("23"), 4},
        {QStringLiteral("0"), 6},  {QStringLiteral("11"), 6}, {QStringLiteral("12"), 6},
        {QStringLiteral("13"), 6}, {QStringLiteral("14"), 7}, {QStringLiteral("15"), 7},
        {QStringLiteral("16"), 7}, {QStringLiteral("17"), 7},
    };
    auto it = groups.constFind(bandCode);
    if (it == groups.constEnd())
        return std::nullopt;
    const int n = *it;
    const qsizetype fraction = length - n - 1;
    if (fraction < 2 || fraction > 4)
        return std::nullopt;
    // The kHz point must stand where the group expects it; a frequency of another band
    // (a wrong band code, for instance) would otherwise come out as a garbled number.
    if (f.at(n) != QLatin1Char('.'))
        return std::nullopt;
    // MHz digits, ".", the last three kHz digits, the fraction; the kHz point is dropped.
    return f.left(n - 3) + QLatin1Char('.') + f.mid(n - 3, 3) + f.right(fraction);
}

std::optional<QString> SatelliteName(const QString& sat, const QString& qsoDate)
{
    if (sat.isEmpty() || sat == QLatin1String("None") || sat == QLatin1String("NONE"))
        return std::nullopt;
    const QByteArray name = sat.toLatin1();
    const QByteArray date = qsoDate.toLatin1();
    for (const SatelliteWindow& row : SatelliteWindowTable()) {
        if (name != row.name)
            continue;
        // Byte-wise comparison of YYYYMMDD texts orders them by date.
        if (qstrcmp(date, row.first) < 0)
            continue;
        if (row.last && qstrcmp(date, row.last) > 0)
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
    QString line;
    line.reserve(value.size() + 24);
    line += QLatin1Char('<');
    line += QLatin1String(tag);
    line += QLatin1Char(':');
    line += QString::number(value.size()); // single-byte text: one byte per character
    line += QLatin1Char('>');
    line += value;
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
