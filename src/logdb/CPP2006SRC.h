#pragma once

#include "CRecordset.h"

// One row of the reference database's "[PREFIX-Pri]", 12 columns in exchange order.
class CPP2006SRC : public CRecordset
{
public:
    // databasePath: the reference database (refdataMdbPath), used when no connection is given.
    explicit CPP2006SRC(QString databasePath, std::shared_ptr<Connection> db = nullptr);

    QString prefix;          // [PREFIX]
    QString country;         // [COUNTRY]
    QString latitude;        // [LATITUDE]
    QString longitude;       // [LONGITUDE]
    bool delStatus = false;  // [DEL-STATUS]
    bool qslFieldCheck = false; // [QSL-FIELD-CHECK]
    bool qslBureau = false;  // [QSL-BUREAU]
    QString cqZone;          // [CQ-ZONE]
    QString ituZone;         // [ITU-ZONE]
    QString arrlId;          // [ARRL-ID]
    QString continent;       // [CONTINENT]
    QString timeDiff;        // [TIMEDIFF]

    static const std::vector<ColumnSpec>& columnSpecs();

protected:
    QString defaultDatabase() const override { return m_databasePath; }
    QString defaultSql() const override { return QStringLiteral("[PREFIX-Pri]"); }
    std::vector<Binding> bindings() override;

private:
    QString m_databasePath;
};
