#pragma once

#include "AdifUploadRecord.h"
#include "logdb/Connection.h"

#include <QString>
#include <vector>

// The columns of the log that the upload reads: those its records, its selection and its
// problem lines need, by their place in what the walk selects.
struct UploadWalkColumns
{
    std::vector<ColumnSpec> specs;
    int call, date, time, rstSent, rstRcvd, power, ituZone, oprCall, wpx, confirm, name, iota, band, cqZone, mode,
        submode, qsls, prefix, sat, freq, state, county, valid;

    // The columns to select from the log's QSO table on db: just those named above, or every
    // column where the engine knows a row only by all its values (so that the key read tells
    // the rows apart).
    static UploadWalkColumns of(Connection& db);

    // What decides the selection: [QSO-QSLS], [QSO-OPRCALL] and [QSO-VALID].
    void readSelection(const Cursor& cursor, QString& qsls, QString& oprCall, qint64& valid) const;
    // The rest of what the record and its problem lines are made from.
    void readRecord(const Cursor& cursor, UploadQsoValues& values, QString& state, QString& county) const;
};

// A digest of what decided a row's selection and what its record was made from, as read: a
// row that holds anything else when it is marked has been changed by another program since.
quint64 UploadRowDigest(const UploadQsoValues& values, const QString& qsls, qint64 valid);
