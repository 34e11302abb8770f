#include "LotwRecordParser.h"

#include "CountyNormaliser.h"
#include "LotwFieldRules.h"

#include <limits>

namespace {
bool IsSpaceByte(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// No tag name this program knows is longer than this.
constexpr qsizetype kLongestName = 16;

enum class Tag {
    Unknown, Call, Band, Mode, Submode, TimeOn, QsoDate, QslrDate, State, Cqz, Ituz, Iota, GridSquare, Cnty,
    StationCallsign, CreditGranted, OwnCall, Dxcc
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
    {"CREDIT_GRANTED", Tag::CreditGranted}, {"APP_LOTW_OWNCALL", Tag::OwnCall}, {"DXCC", Tag::Dxcc},
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

// The length a tag declares ("NAME:LEN>" or "NAME:LEN:TYPE>"), counted from the first ":":
// -1 when it declares none that can be read (no digits, a sign, other characters); lengths
// beyond any chunk are held at kTooLong.
constexpr qsizetype kTooLong = std::numeric_limits<qsizetype>::max();
qsizetype DeclaredLength(QByteArrayView chunk, qsizetype colon)
{
    qsizetype length = 0;
    qsizetype i = colon + 1;
    for (; i < chunk.size() && chunk[i] >= '0' && chunk[i] <= '9'; ++i)
        length = length > (kTooLong - 9) / 10 ? kTooLong : length * 10 + (chunk[i] - '0');
    if (i == colon + 1 || i == chunk.size() || (chunk[i] != ':' && chunk[i] != '>'))
        return -1;
    return length;
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
    if (tagName == "EOR>") {
        FinishLotwRecord();
        return true;
    }

    if (TagOf(tagName) == Tag::Unknown)
        return false;
    const qsizetype close = chunk.indexOf('>');
    QByteArrayView value = close < 0 ? QByteArrayView() : chunk.sliced(close + 1);
    // The declared length counts when the chunk holds that many characters; the chunk is
    // already free of trailing white space, so a length into it gives the same value as one
    // into the line, and a shorter chunk keeps its whole text.
    if (close >= 0 && colon >= 0 && colon < close) {
        const qsizetype declared = DeclaredLength(chunk, colon);
        if (declared >= 0 && declared <= value.size()) {
            value = value.first(declared);
            qsizetype end = value.size();
            while (end > 0 && IsSpaceByte(value[end - 1]))
                --end;
            value = value.first(end);
        }
    }
    StoreLotwField(tagName, QString::fromLatin1(value));
    return false;
}

void LotwRecordParser::FinishLotwRecord()
{
    LotwRecord& r = m_record;
    m_stationCallSource = StationCallSource::StationCallsign;
    if (r.stationCall.isEmpty()) {
        r.ownCall = LotwStationCall(r.ownCall);
        r.stationCall = r.ownCall;
        m_stationCallSource = r.stationCall.isEmpty() ? StationCallSource::None : StationCallSource::OwnCall;
    }
    if (!r.dxcc.isEmpty() && !IsUsEntity(r.dxcc))
        r.state.clear();
}

void LotwRecordParser::StoreLotwField(QByteArrayView name, const QString& value)
{
    LotwRecord& r = m_record;
    switch (TagOf(name)) {
    case Tag::Call: r.call = AsciiUpper(value); break;
    case Tag::Band: r.bandCode = LotwBandTable(value); break;
    case Tag::Mode:
        r.modeCode = LotwModeCode(value);
        r.modeName = AsciiUpper(TrimReportSpace(value));
        break;
    case Tag::Submode:
        r.modeCode = LotwModeCode(value);
        r.submodeName = AsciiUpper(TrimReportSpace(value));
        break;
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
    case Tag::OwnCall: r.ownCall = value; break; // settled at the record's end, when needed
    case Tag::Dxcc: r.dxcc = LotwDxcc(value); break;
    case Tag::CreditGranted:
        r.dxccCredit = value.contains(QLatin1String("DXCC")) ? QStringLiteral("DXCC") : QString();
        r.vuccCredit = value.contains(QLatin1String("VUCC")) ? QStringLiteral("VUCC") : QString();
        r.wpxCredit = value.contains(QLatin1String("WPX")) ? QStringLiteral("WPX") : QString();
        break;
    case Tag::Unknown: break;
    }
}
