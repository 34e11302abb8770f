#include "CDxb96CountySet.h"

CDxb96CountySet::CDxb96CountySet(QString databasePath, std::shared_ptr<Connection> db)
    : CRecordset(std::move(db)), m_databasePath(std::move(databasePath))
{
}

const std::vector<ColumnSpec>& CDxb96CountySet::columnSpecs()
{
    static const std::vector<ColumnSpec> specs = {
        {QStringLiteral("[CNTY-ST-ABV]"), ColumnType::Text},
        {QStringLiteral("[CNTY-LAT]"), ColumnType::Text},
        {QStringLiteral("[CNTY-LON]"), ColumnType::Text},
        {QStringLiteral("[CNTY-NAME]"), ColumnType::Text},
    };
    return specs;
}

std::vector<CRecordset::Binding> CDxb96CountySet::bindings()
{
    const std::vector<ColumnSpec>& specs = columnSpecs();
    return {
        {specs[0], &stateAbbrev},
        {specs[1], &latitude},
        {specs[2], &longitude},
        {specs[3], &countyName},
    };
}
