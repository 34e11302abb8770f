#include "CQSO2006SRC.h"

#include <iterator>

CQSO2006SRC::CQSO2006SRC(QString databasePath, std::shared_ptr<Connection> db)
    : CRecordset(std::move(db)), m_databasePath(std::move(databasePath))
{
}

std::vector<CRecordset::Binding> CQSO2006SRC::bindings()
{
    // The members in exchange order, one for each column of the table.
    void* const members[] = {
        &qsoDate,
        &qsoTime,
        &qsoCall,
        &qsoRsts,
        &qsoRstr,
        &qsoName,
        &qsoQth,
        &qsoNote,
        &qsoPrefix,
        &qsoCqZone,
        &qsoItuZone,
        &qsoMode,
        &qsoSubmode,
        &qsoFreq,
        &qsoBand,
        &qsoWpx,
        &qsoState,
        &qsoCounty,
        &qsoIota,
        &qsoGrid,
        &qsoTenTen,
        &qsoSpec1,
        &qsoSpec2,
        &qsoConfirm,
        &qsoQsls,
        &qsoQslSent,
        &qsoQslVia,
        &qsoMgrNumb,
        &qsoValid,
        &qsoAward,
        &qsoSelect,
        &qsoCategory,
        &qsoSat,
        &qsoQslNumber,
        &qsoNumber,
        &qsoOprCall,
        &qsoQslrDate,
        &qsoPower,
        &qsoLotwRec,
        &qsoEndTime,
        &qsoSatMode,
    };
    static_assert(std::size(members) == QsoTable::kColumnCount);
    const std::vector<ColumnSpec>& specs = QsoTable::columns();
    std::vector<Binding> bound;
    bound.reserve(specs.size());
    for (std::size_t i = 0; i < specs.size(); ++i)
        bound.push_back({specs[i], members[i]});
    return bound;
}
