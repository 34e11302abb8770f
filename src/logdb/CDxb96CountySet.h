#pragma once

#include "CRecordset.h"

// One row of the reference database's "[COUNTY-TAB]", 4 columns in exchange order.
class CDxb96CountySet : public CRecordset
{
public:
    // databasePath: the reference database (refdataMdbPath), used when no connection is given.
    explicit CDxb96CountySet(QString databasePath, std::shared_ptr<Connection> db = nullptr);

    QString stateAbbrev; // [CNTY-ST-ABV]
    QString latitude;    // [CNTY-LAT]
    QString longitude;   // [CNTY-LON]
    QString countyName;  // [CNTY-NAME]

    static const std::vector<ColumnSpec>& columnSpecs();

protected:
    QString defaultDatabase() const override { return m_databasePath; }
    QString defaultSql() const override { return QStringLiteral("[COUNTY-TAB]"); }
    std::vector<Binding> bindings() override;

private:
    QString m_databasePath;
};
