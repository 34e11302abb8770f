#include "ImportQsoSet.h"

ImportQsoSet::ImportQsoSet(QString databasePath, std::shared_ptr<Connection> db)
    : CRecordset(std::move(db)), m_databasePath(std::move(databasePath))
{
}

std::vector<CRecordset::Binding> ImportQsoSet::bindings()
{
    auto text = [](const char* name, QString* member) {
        return Binding{{QString::fromLatin1(name), ColumnType::Text}, member};
    };
    return {
        text("[QSO-OPRCALL]", &qsoOprCall),
        text("[QSO-CONFIRM]", &qsoConfirm),
        text("[QSO-LOTWREC]", &qsoLotwRec),
        Binding{{QStringLiteral("[QSO-AWARD]"), ColumnType::Long}, &qsoAward},
        text("[QSO-CQ-ZONE]", &qsoCqZone),
        text("[QSO-ITU-ZONE]", &qsoItuZone),
        text("[QSO-STATE]", &qsoState),
        text("[QSO-COUNTY]", &qsoCounty),
        text("[QSO-IOTA]", &qsoIota),
        text("[QSO-GRID]", &qsoGrid),
    };
}
