#include "CountyNormaliser.h"

#include "CountyTable.h"
#include "LotwFieldRules.h"
#include "LotwRecord.h"

#include <initializer_list>

namespace {
struct RegionGroup
{
    const char* region;
    std::initializer_list<const char*> equals;
    std::initializer_list<const char*> beginsWith;
};

bool InGroup(const QString& county, const RegionGroup& group)
{
    for (const char* name : group.equals) {
        if (county == QLatin1String(name))
            return true;
    }
    for (const char* start : group.beginsWith) {
        if (county.startsWith(QLatin1String(start)))
            return true;
    }
    return false;
}
} // namespace

QString AlaskaRegion(const QString& county)
{
    static const RegionGroup groups[] = {
        {"NORTH-WEST", {"NOME"}, {"NORTH", "WADE", "NORTHWEST"}},
        {"SOUTH-CENTRAL", {"ANCHORAGE", "DILLINGHAM"},
         {"ALEUTIANS", "KENAI", "KODIAK", "BRISTOL", "LAKE", "VALDEZ", "PRIBILOF", "MATANUSKA"}},
        {"CENTRAL", {"DENALI", "BETHEL", "SOUTHEAST FAIRBANKS", "SAINT MATTHEW ISLAND"}, {"FAIRBANKS", "YUKON"}},
        {"SOUTH-EAST", {"JUNEAU", "HAINES", "SITKA"}, {"PRINCE", "KETCHIKAN", "SKAG", "WRANG"}},
    };
    // Each group sees the county as the group before left it.
    QString result = county;
    for (const RegionGroup& group : groups) {
        if (InGroup(result, group))
            result = QLatin1String(group.region);
    }
    return result;
}

ProblemRecord ProblemRecordOf(const LotwRecord& record)
{
    return {record.call, record.qsoDate, record.timeOn, record.bandCode, record.modeCode, record.state, record.county};
}

CountyText NormaliseCountyText(const QString& value, LotwRecord& record)
{
    const qsizetype comma = value.indexOf(QLatin1Char(','));
    if (value.isEmpty() || comma < 0)
        return CountyText::Untouched;
    const QString statePart = AsciiUpper(value.left(comma));
    if (statePart.size() != 2)
        return CountyText::Untouched;
    if (record.state.isEmpty())
        record.state = statePart;

    QString county = AsciiUpper(TrimReportSpace(value.mid(3)));
    // "NAME / comment": the name ends before the blank that precedes the slash. A county
    // without a slash is kept whole.
    if (const qsizetype slash = county.indexOf(QLatin1Char('/')); slash >= 0)
        county.truncate(qMax<qsizetype>(0, slash - 1));
    if (const qsizetype apostrophe = county.indexOf(QLatin1Char('\'')); apostrophe >= 0)
        county.truncate(apostrophe);
    const bool alaska = record.state == QLatin1String("AK");
    if (!alaska && record.state != QLatin1String("MN") && county.startsWith(QLatin1String("SAINT ")))
        county = QLatin1String("ST ") + county.mid(6);
    if (alaska)
        county = AlaskaRegion(county);

    record.county = county;
    if (county.isEmpty())
        return CountyText::Set;
    if (county.size() > 25) {
        record.county.clear();
        return CountyText::Set;
    }
    return CountyText::ToCheck;
}

void CheckCounty(LotwRecord& record, CountyTable& counties, ProblemLog& problems)
{
    if (!counties.CountyExists(record.state, record.county)) {
        problems.LogRecordEvent(ProblemKind::Warning, QStringLiteral("County?"), ProblemRecordOf(record));
        record.county.clear();
    }
}

void NormaliseCounty(const QString& value, LotwRecord& record, CountyTable& counties, ProblemLog& problems)
{
    if (NormaliseCountyText(value, record) == CountyText::ToCheck)
        CheckCounty(record, counties, problems);
}
