#include "CPP2006SRC.h"

CPP2006SRC::CPP2006SRC(QString databasePath, std::shared_ptr<Connection> db)
    : CRecordset(std::move(db)), m_databasePath(std::move(databasePath))
{
}

const std::vector<ColumnSpec>& CPP2006SRC::columnSpecs()
{
    static const std::vector<ColumnSpec> specs = {
        {QStringLiteral("[PREFIX]"), ColumnType::Text},
        {QStringLiteral("[COUNTRY]"), ColumnType::Text},
        {QStringLiteral("[LATITUDE]"), ColumnType::Text},
        {QStringLiteral("[LONGITUDE]"), ColumnType::Text},
        {QStringLiteral("[DEL-STATUS]"), ColumnType::Bool},
        {QStringLiteral("[QSL-FIELD-CHECK]"), ColumnType::Bool},
        {QStringLiteral("[QSL-BUREAU]"), ColumnType::Bool},
        {QStringLiteral("[CQ-ZONE]"), ColumnType::Text},
        {QStringLiteral("[ITU-ZONE]"), ColumnType::Text},
        {QStringLiteral("[ARRL-ID]"), ColumnType::Text},
        {QStringLiteral("[CONTINENT]"), ColumnType::Text},
        {QStringLiteral("[TIMEDIFF]"), ColumnType::Text},
    };
    return specs;
}

std::vector<CRecordset::Binding> CPP2006SRC::bindings()
{
    const std::vector<ColumnSpec>& specs = columnSpecs();
    return {
        {specs[0], &prefix},
        {specs[1], &country},
        {specs[2], &latitude},
        {specs[3], &longitude},
        {specs[4], &delStatus},
        {specs[5], &qslFieldCheck},
        {specs[6], &qslBureau},
        {specs[7], &cqZone},
        {specs[8], &ituZone},
        {specs[9], &arrlId},
        {specs[10], &continent},
        {specs[11], &timeDiff},
    };
}
