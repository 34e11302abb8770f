#pragma once

#include "logdb/CRecordset.h"

// The columns of a log row ("[QSO-TAB]") that the import reads and may write: the operator
// call, the confirmation, the LoTW date, the award mask and the six location fields. The
// import finds rows through its own index and re-reads each one by its key before deciding,
// so it reads only these ten instead of the 41 columns of CQSO2006SRC.
class ImportQsoSet : public CRecordset
{
public:
    // allColumns: bind all 41 columns, so that a key made of the row's values (ODBC over a
    // table without a primary key) tells rows apart as well as the full record class does.
    explicit ImportQsoSet(QString databasePath, std::shared_ptr<Connection> db = nullptr, bool allColumns = false);

    // The search columns: never written; bound only with allColumns, where they are part of
    // the row's key.
    QString qsoDate;     // [QSO-DATE]
    QString qsoTime;     // [QSO-TIME]
    QString qsoCall;     // [QSO-CALL]
    QString qsoMode;     // [QSO-MODE]
    QString qsoBand;     // [QSO-BAND]
    QString qsoOprCall;  // [QSO-OPRCALL]
    QString qsoConfirm;  // [QSO-CONFIRM]
    QString qsoLotwRec;  // [QSO-LOTWREC]
    qint32 qsoAward = 0; // [QSO-AWARD]
    QString qsoCqZone;   // [QSO-CQ-ZONE]
    QString qsoItuZone;  // [QSO-ITU-ZONE]
    QString qsoState;    // [QSO-STATE]
    QString qsoCounty;   // [QSO-COUNTY]
    QString qsoIota;     // [QSO-IOTA]
    QString qsoGrid;     // [QSO-GRID]

protected:
    QString defaultDatabase() const override { return m_databasePath; }
    QString defaultSql() const override { return QStringLiteral("[QSO-TAB]"); }
    std::vector<Binding> bindings() override;

private:
    QString m_databasePath;
    bool m_allColumns;
    std::vector<QString> m_otherTexts; // the columns the import doesn't use, when all are bound
    std::vector<qint32> m_otherLongs;
};
