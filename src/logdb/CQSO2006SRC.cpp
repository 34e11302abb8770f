#include "CQSO2006SRC.h"

CQSO2006SRC::CQSO2006SRC(QString databasePath, std::shared_ptr<Connection> db)
    : CRecordset(std::move(db)), m_databasePath(std::move(databasePath))
{
}

const std::vector<ColumnSpec>& CQSO2006SRC::columnSpecs()
{
    static const std::vector<ColumnSpec> specs = {
        {QStringLiteral("[QSO-DATE]"), ColumnType::Text},
        {QStringLiteral("[QSO-TIME]"), ColumnType::Text},
        {QStringLiteral("[QSO-CALL]"), ColumnType::Text},
        {QStringLiteral("[QSO-RSTS]"), ColumnType::Text},
        {QStringLiteral("[QSO-RSTR]"), ColumnType::Text},
        {QStringLiteral("[QSO-NAME]"), ColumnType::Text},
        {QStringLiteral("[QSO-QTH]"), ColumnType::Text},
        {QStringLiteral("[QSO-NOTE]"), ColumnType::Text},
        {QStringLiteral("[QSO-PREFIX]"), ColumnType::Text},
        {QStringLiteral("[QSO-CQ-ZONE]"), ColumnType::Text},
        {QStringLiteral("[QSO-ITU-ZONE]"), ColumnType::Text},
        {QStringLiteral("[QSO-MODE]"), ColumnType::Text},
        {QStringLiteral("[QSO-SUBMODE]"), ColumnType::Text},
        {QStringLiteral("[QSO-FREQ]"), ColumnType::Text},
        {QStringLiteral("[QSO-BAND]"), ColumnType::Text},
        {QStringLiteral("[QSO-WPX]"), ColumnType::Text},
        {QStringLiteral("[QSO-STATE]"), ColumnType::Text},
        {QStringLiteral("[QSO-COUNTY]"), ColumnType::Text},
        {QStringLiteral("[QSO-IOTA]"), ColumnType::Text},
        {QStringLiteral("[QSO-GRID]"), ColumnType::Text},
        {QStringLiteral("[QSO-TEN-TEN]"), ColumnType::Text},
        {QStringLiteral("[QSO-SPEC1]"), ColumnType::Text},
        {QStringLiteral("[QSO-SPEC2]"), ColumnType::Text},
        {QStringLiteral("[QSO-CONFIRM]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSLS]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSL-SENT]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSL-VIA]"), ColumnType::Text},
        {QStringLiteral("[QSO-MGR-NUMB]"), ColumnType::Text},
        {QStringLiteral("[QSO-VALID]"), ColumnType::Long},
        {QStringLiteral("[QSO-AWARD]"), ColumnType::Long},
        {QStringLiteral("[QSO-SELECT]"), ColumnType::Long},
        {QStringLiteral("[QSO-CATEGORY]"), ColumnType::Long},
        {QStringLiteral("[QSO-SAT]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSL-NUMBER]"), ColumnType::Text},
        {QStringLiteral("[QSO-NUMBER]"), ColumnType::Long},
        {QStringLiteral("[QSO-OPRCALL]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSLRDATE]"), ColumnType::Text},
        {QStringLiteral("[QSO-POWER]"), ColumnType::Text},
        {QStringLiteral("[QSO-LOTWREC]"), ColumnType::Text},
        {QStringLiteral("[QSO-ENDTIME]"), ColumnType::Text},
        {QStringLiteral("[QSO-SATMODE]"), ColumnType::Text},
    };
    return specs;
}

std::vector<CRecordset::Binding> CQSO2006SRC::bindings()
{
    const std::vector<ColumnSpec>& specs = columnSpecs();
    return {
        {specs[0], &qsoDate},
        {specs[1], &qsoTime},
        {specs[2], &qsoCall},
        {specs[3], &qsoRsts},
        {specs[4], &qsoRstr},
        {specs[5], &qsoName},
        {specs[6], &qsoQth},
        {specs[7], &qsoNote},
        {specs[8], &qsoPrefix},
        {specs[9], &qsoCqZone},
        {specs[10], &qsoItuZone},
        {specs[11], &qsoMode},
        {specs[12], &qsoSubmode},
        {specs[13], &qsoFreq},
        {specs[14], &qsoBand},
        {specs[15], &qsoWpx},
        {specs[16], &qsoState},
        {specs[17], &qsoCounty},
        {specs[18], &qsoIota},
        {specs[19], &qsoGrid},
        {specs[20], &qsoTenTen},
        {specs[21], &qsoSpec1},
        {specs[22], &qsoSpec2},
        {specs[23], &qsoConfirm},
        {specs[24], &qsoQsls},
        {specs[25], &qsoQslSent},
        {specs[26], &qsoQslVia},
        {specs[27], &qsoMgrNumb},
        {specs[28], &qsoValid},
        {specs[29], &qsoAward},
        {specs[30], &qsoSelect},
        {specs[31], &qsoCategory},
        {specs[32], &qsoSat},
        {specs[33], &qsoQslNumber},
        {specs[34], &qsoNumber},
        {specs[35], &qsoOprCall},
        {specs[36], &qsoQslrDate},
        {specs[37], &qsoPower},
        {specs[38], &qsoLotwRec},
        {specs[39], &qsoEndTime},
        {specs[40], &qsoSatMode},
    };
}
