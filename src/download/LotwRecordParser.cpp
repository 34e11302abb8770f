#include "LotwRecordParser.h"

#include "CountyNormaliser.h"
#include "LotwFieldRules.h"

#include <array>
#include <limits>
#include <vector>

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

// The tag a value is stored under by its name; Unknown for every other name. The names are
// looked through by their length and first letter first: a report has dozens of tags a
// record, most of them of no use here.
Tag TagOf(QByteArrayView name)
{
    static const auto byLength = [] {
        std::array<std::vector<TagName>, kLongestName + 1> table;
        for (const TagName& t : kTags)
            table[std::size_t(t.name.size())].push_back(t);
        return table;
    }();
    if (name.isEmpty() || name.size() > kLongestName)
        return Tag::Unknown;
    for (const TagName& t : byLength[std::size_t(name.size())]) {
        if (t.name[0] == name[0] && t.name == name)
            return t.tag;
    }
    return Tag::Unknown;
}

// A value without the white space around it (C-locale blanks, as TrimReportSpace).
QByteArrayView TrimmedBytes(QByteArrayView value)
{
    qsizetype first = 0;
    qsizetype last = value.size();
    while (first < last && IsSpaceByte(value[first]))
        ++first;
    while (last > first && IsSpaceByte(value[last - 1]))
        --last;
    return value.sliced(first, last - first);
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

LotwRecordParser::LotwRecordParser(CountyTable& counties, ProblemLog* problems)
    : m_counties(counties), m_problems(problems)
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

    const Tag tag = TagOf(tagName);
    if (tag == Tag::Unknown)
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
    store(int(tag), value);
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

// The values are Latin-1 bytes; the texts of the record keep their buffers from record to
// record.
void LotwRecordParser::store(int tag, QByteArrayView value)
{
    LotwRecord& r = m_record;
    switch (Tag(tag)) {
    case Tag::Call: ReportBytes::SetAsciiUpper(r.call, value); break;
    case Tag::Band: r.bandCode = ReportBytes::LotwBandTable(value); break;
    case Tag::Mode:
        r.modeCode = ReportBytes::LotwModeCode(value);
        ReportBytes::SetAsciiUpper(r.modeName, TrimmedBytes(value));
        break;
    case Tag::Submode:
        r.modeCode = ReportBytes::LotwModeCode(value);
        ReportBytes::SetAsciiUpper(r.submodeName, TrimmedBytes(value));
        break;
    case Tag::TimeOn: ReportBytes::LotwTime(value, r.timeOn); break;
    case Tag::QsoDate: ReportBytes::LotwDate(value, r.qsoDate); break;
    case Tag::QslrDate: ReportBytes::LotwDate(value, r.qslDate); break;
    case Tag::State: ReportBytes::ApplyLotwState(value, r.state); break;
    case Tag::Cqz: ReportBytes::ApplyLotwZone(value, r.cqZone); break;
    case Tag::Ituz: ReportBytes::ApplyLotwZone(value, r.ituZone); break;
    case Tag::Iota: ReportBytes::ApplyLotwIota(value, r.iota); break;
    case Tag::GridSquare: ReportBytes::ApplyLotwGrid(value, r.grid); break;
    case Tag::Cnty: {
        const CountyText county = NormaliseCountyText(QString::fromLatin1(value), r);
        if (m_countyHook && county != CountyText::Untouched)
            m_countyHook(r, county == CountyText::ToCheck);
        else if (county == CountyText::ToCheck)
            CheckCounty(r, m_counties, *m_problems);
        break;
    }
    case Tag::StationCallsign: ReportBytes::LotwStationCall(value, r.stationCall); break;
    case Tag::OwnCall: ReportBytes::SetLatin1(r.ownCall, value); break; // settled at the record's end, when needed
    case Tag::Dxcc: ReportBytes::LotwDxcc(value, r.dxcc); break;
    case Tag::CreditGranted:
        r.dxccCredit = ReportBytes::Credit(value, "DXCC");
        r.vuccCredit = ReportBytes::Credit(value, "VUCC");
        r.wpxCredit = ReportBytes::Credit(value, "WPX");
        break;
    case Tag::Unknown: break;
    }
}
