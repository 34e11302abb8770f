#include "LotwRecordParser.h"

#include "CountyNormaliser.h"
#include "LotwFieldRules.h"

namespace {
bool IsSpaceByte(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// No tag name this program knows is longer than this.
constexpr qsizetype kLongestName = 16;

enum class Tag {
    Unknown, Call, Band, Mode, Submode, TimeOn, QsoDate, QslrDate, State, Cqz, Ituz, Iota, GridSquare, Cnty,
    StationCallsign, CreditGranted
};

struct TagName
{
    QByteArrayView name;
    Tag tag;
};

constexpr TagName kTags[] = {
    {"CALL", Tag::Call},         {"BAND", Tag::Band},         {"MODE", Tag::Mode},
    {"SUBMODE", Tag::Submode},   {"TIME_ON", Tag::TimeOn},    {"QSO_DATE", Tag::QsoDate},
    {"QSLRDATE", Tag::QslrDate}, {"STATE", Tag::State},       {"CQZ", Tag::Cqz},
    {"ITUZ", Tag::Ituz},         {"IOTA", Tag::Iota},         {"GRIDSQUARE", Tag::GridSquare},
    {"CNTY", Tag::Cnty},         {"STATION_CALLSIGN", Tag::StationCallsign},
    {"CREDIT_GRANTED", Tag::CreditGranted},
};

// The tag StoreLotwField stores under a name; Unknown for every other name.
Tag TagOf(QByteArrayView name)
{
    for (const TagName& t : kTags) {
        if (t.name.size() == name.size() && t.name == name)
            return t.tag;
    }
    return Tag::Unknown;
}
} // namespace

LotwRecordParser::LotwRecordParser(CountyTable& counties, EventMonitor& monitor)
    : m_counties(counties), m_monitor(monitor)
{
}

bool LotwRecordParser::ParseTag(QByteArrayView chunk)
{
    qsizetype end = chunk.size();
    while (end > 0 && IsSpaceByte(chunk[end - 1]))
        --end;
    chunk = chunk.first(end);

    const qsizetype colon = chunk.indexOf(':');
    const QByteArrayView rawName = colon < 0 ? chunk : chunk.first(colon);
    if (rawName.size() > kLongestName)
        return false;
    char name[kLongestName];
    for (qsizetype i = 0; i < rawName.size(); ++i) {
        const char c = rawName[i];
        name[i] = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    const QByteArrayView tagName(name, rawName.size());
    if (tagName == "EOR>")
        return true;

    if (TagOf(tagName) == Tag::Unknown)
        return false;
    const qsizetype close = chunk.indexOf('>');
    const QByteArrayView value = close < 0 ? QByteArrayView() : chunk.sliced(close + 1);
    StoreLotwField(tagName, QString::fromLatin1(value));
    return false;
}

void LotwRecordParser::StoreLotwField(QByteArrayView name, const QString& value)
{
    LotwRecord& r = m_record;
    switch (TagOf(name)) {
    case Tag::Call: r.call = AsciiUpper(value); break;
    case Tag::Band: r.bandCode = LotwBandTable(value); break;
    case Tag::Mode:
    case Tag::Submode: r.modeCode = LotwModeCode(value); break;
    case Tag::TimeOn: r.timeOn = LotwTime(value); break;
    case Tag::QsoDate: r.qsoDate = LotwDate(value); break;
    case Tag::QslrDate: r.qslDate = LotwDate(value); break;
    case Tag::State: ApplyLotwState(value, r.state); break;
    case Tag::Cqz: ApplyLotwZone(value, r.cqZone); break;
    case Tag::Ituz: ApplyLotwZone(value, r.ituZone); break;
    case Tag::Iota: ApplyLotwIota(value, r.iota); break;
    case Tag::GridSquare: ApplyLotwGrid(value, r.grid); break;
    case Tag::Cnty: NormaliseCounty(value, r, m_counties, m_monitor); break;
    case Tag::StationCallsign: r.stationCall = LotwStationCall(value); break;
    case Tag::CreditGranted:
        r.dxccCredit = value.contains(QLatin1String("DXCC")) ? QStringLiteral("DXCC") : QString();
        r.vuccCredit = value.contains(QLatin1String("VUCC")) ? QStringLiteral("VUCC") : QString();
        r.wpxCredit = value.contains(QLatin1String("WPX")) ? QStringLiteral("WPX") : QString();
        break;
    case Tag::Unknown: break;
    }
}
