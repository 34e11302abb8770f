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

// The tags StoreLotwField stores; the others are passed over without converting their value.
bool IsKnownTag(QByteArrayView name)
{
    static const char* const known[] = {"CALL", "BAND", "MODE", "SUBMODE", "TIME_ON", "QSO_DATE", "QSLRDATE",
                                        "STATE", "CQZ", "ITUZ", "IOTA", "GRIDSQUARE", "CNTY",
                                        "STATION_CALLSIGN", "CREDIT_GRANTED"};
    for (const char* tag : known) {
        if (name == tag)
            return true;
    }
    return false;
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

    if (!IsKnownTag(tagName))
        return false;
    const qsizetype close = chunk.indexOf('>');
    const QByteArrayView value = close < 0 ? QByteArrayView() : chunk.sliced(close + 1);
    StoreLotwField(tagName, QString::fromLatin1(value));
    return false;
}

void LotwRecordParser::StoreLotwField(QByteArrayView name, const QString& value)
{
    LotwRecord& r = m_record;
    if (name == "CALL") {
        r.call = AsciiUpper(value);
    } else if (name == "BAND") {
        r.bandCode = LotwBandTable(value);
    } else if (name == "MODE" || name == "SUBMODE") {
        r.modeCode = LotwModeCode(value);
    } else if (name == "TIME_ON") {
        r.timeOn = LotwTime(value);
    } else if (name == "QSO_DATE") {
        r.qsoDate = LotwDate(value);
    } else if (name == "QSLRDATE") {
        r.qslDate = LotwDate(value);
    } else if (name == "STATE") {
        ApplyLotwState(value, r.state);
    } else if (name == "CQZ") {
        ApplyLotwZone(value, r.cqZone);
    } else if (name == "ITUZ") {
        ApplyLotwZone(value, r.ituZone);
    } else if (name == "IOTA") {
        ApplyLotwIota(value, r.iota);
    } else if (name == "GRIDSQUARE") {
        ApplyLotwGrid(value, r.grid);
    } else if (name == "CNTY") {
        NormaliseCounty(value, r, m_counties, m_monitor);
    } else if (name == "STATION_CALLSIGN") {
        r.stationCall = LotwStationCall(value);
    } else if (name == "CREDIT_GRANTED") {
        r.dxccCredit = value.contains(QLatin1String("DXCC")) ? QStringLiteral("DXCC") : QString();
        r.vuccCredit = value.contains(QLatin1String("VUCC")) ? QStringLiteral("VUCC") : QString();
        r.wpxCredit = value.contains(QLatin1String("WPX")) ? QStringLiteral("WPX") : QString();
    }
}
