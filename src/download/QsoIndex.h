#pragma once

#include "logdb/Connection.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

// The log's QSOs by call, date, mode and band, built by one pass over [QSO-TAB] at the
// start of an import. Each entry keeps the row's time, its [QSO-SUBMODE] and its key in table
// order, so that a search answers what the filtered requeries on those five columns would:
// rows whose key column is null never match, texts compare byte for byte, and among equal
// rows the first in table order wins, except that a row whose submode names the report's
// mode is preferred (all digital modes share one mode code). The import never changes these
// six columns, so the index stays true for the whole run; where the engine knows rows by
// their values (ODBC without a primary key) the key kept is the values of these six columns,
// which stay true as well.
class QsoIndex
{
public:
    // The columns the cursor given to build() must deliver, in this order.
    static const std::vector<ColumnSpec>& columns();

    // Reads every row of the cursor (call, date, time, mode, band; its key).
    void build(Cursor& cursor);
    // Reads the log's QSO table through the connection.
    void build(Connection& log);

    qsizetype size() const { return qsizetype(m_entries.size()); }
    // Whether some row is known by its values rather than by a rowid.
    bool hasValueKeys() const { return !m_keys.empty(); }

    struct Match
    {
        bool found = false;
        RowKey key;
        QString time; // the logged [QSO-TIME] of the row found
    };

    // The row with exactly this time; failing that, when time has 6 characters, the row
    // whose time is the same minute with the lowest seconds "00" to "59". When several rows
    // qualify and some of them have a [QSO-SUBMODE] that names the report's MODE or SUBMODE
    // (upper-cased names; compared without regard to case or surrounding blanks), the choice
    // is made in the same way among those rows alone.
    Match find(const QString& call, const QString& date, const QString& time, const QString& mode,
               const QString& band, const QString& modeName = QString(), const QString& submodeName = QString()) const;

private:
    struct Entry
    {
        std::uint64_t hash;
        std::uint64_t offset; // of the row's texts in m_pool
        std::int64_t rowid;   // the row's rowid, or -(index into m_keys) - 2
        std::uint32_t next;   // next entry of the same bucket, or kNone
    };
    static constexpr std::uint32_t kNone = 0xffffffffu;

    void add(const QString (&texts)[6], const RowKey& key);
    void rehash(std::size_t bucketCount);
    RowKey keyOf(const Entry& entry) const;

    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_buckets;
    std::string m_pool;               // per row: call, date, mode, band, time, submode, each length-prefixed
    std::vector<QVariantList> m_keys; // keys that are not a rowid (ODBC)
    QStringList m_keyNames;           // their columns, the same for every row
};
