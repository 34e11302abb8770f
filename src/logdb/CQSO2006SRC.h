#pragma once

#include "CRecordset.h"
#include "QsoTable.h"

// One row of the log's QSO table (QsoTable), its 41 columns in exchange order.
class CQSO2006SRC : public CRecordset
{
public:
    // databasePath: the log database (sourceMdbPath), used when no connection is given.
    explicit CQSO2006SRC(QString databasePath, std::shared_ptr<Connection> db = nullptr);

    QString qsoDate;      // [QSO-DATE]
    QString qsoTime;      // [QSO-TIME]
    QString qsoCall;      // [QSO-CALL]
    QString qsoRsts;      // [QSO-RSTS]
    QString qsoRstr;      // [QSO-RSTR]
    QString qsoName;      // [QSO-NAME]
    QString qsoQth;       // [QSO-QTH]
    QString qsoNote;      // [QSO-NOTE]
    QString qsoPrefix;    // [QSO-PREFIX]
    QString qsoCqZone;    // [QSO-CQ-ZONE]
    QString qsoItuZone;   // [QSO-ITU-ZONE]
    QString qsoMode;      // [QSO-MODE]
    QString qsoSubmode;   // [QSO-SUBMODE]
    QString qsoFreq;      // [QSO-FREQ]
    QString qsoBand;      // [QSO-BAND]
    QString qsoWpx;       // [QSO-WPX]
    QString qsoState;     // [QSO-STATE]
    QString qsoCounty;    // [QSO-COUNTY]
    QString qsoIota;      // [QSO-IOTA]
    QString qsoGrid;      // [QSO-GRID]
    QString qsoTenTen;    // [QSO-TEN-TEN]
    QString qsoSpec1;     // [QSO-SPEC1]
    QString qsoSpec2;     // [QSO-SPEC2]
    QString qsoConfirm;   // [QSO-CONFIRM]
    QString qsoQsls;      // [QSO-QSLS]
    QString qsoQslSent;   // [QSO-QSL-SENT]
    QString qsoQslVia;    // [QSO-QSL-VIA]
    QString qsoMgrNumb;   // [QSO-MGR-NUMB]
    qint32 qsoValid = 0;  // [QSO-VALID]
    qint32 qsoAward = 0;  // [QSO-AWARD]
    qint32 qsoSelect = 0; // [QSO-SELECT]
    qint32 qsoCategory = 0; // [QSO-CATEGORY]
    QString qsoSat;       // [QSO-SAT]
    QString qsoQslNumber; // [QSO-QSL-NUMBER]
    qint32 qsoNumber = 0; // [QSO-NUMBER]
    QString qsoOprCall;   // [QSO-OPRCALL]
    QString qsoQslrDate;  // [QSO-QSLRDATE]
    QString qsoPower;     // [QSO-POWER]
    QString qsoLotwRec;   // [QSO-LOTWREC]
    QString qsoEndTime;   // [QSO-ENDTIME]
    QString qsoSatMode;   // [QSO-SATMODE]

    static const std::vector<ColumnSpec>& columnSpecs() { return QsoTable::columns(); }

protected:
    QString defaultDatabase() const override { return m_databasePath; }
    QString defaultSql() const override { return QsoTable::name(); }
    std::vector<Binding> bindings() override;

private:
    QString m_databasePath;
};
