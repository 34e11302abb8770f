#pragma once

#include "TextPool.h"
#include "logdb/Connection.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The log's QSOs by call, date, mode and band, built by one pass over [QSO-TAB] at the
// start of an import. Each entry keeps the row's time, its [QSO-SUBMODE] and its key in table
// order, so that a search answers what the filtered requeries on those five columns would:
// rows whose key column is null never match, texts compare byte for byte, and among equal
// rows the first in table order wins, except that a row whose submode names the report's
// mode is preferred (all digital modes share one mode code). The import never changes these
// six columns, so the index stays true for the whole run; where the engine knows rows by
// their values (ODBC without a primary key) the key kept is the values the cursor read.
//
// Rows of the same call, date, mode and band form one group; a search looks at its group
// alone, and a group of many rows (a log that holds the same QSO over and over) is searched
// through sorted lists and a table of its minutes, so that no report makes the import slower
// than linear. Each row may carry a payload of the caller's (the import keeps the row's
// values there), in the same record of the pool as its texts.
class QsoIndex
{
public:
    // The columns the index reads from the log, in the order readTexts() takes them.
    static const std::vector<ColumnSpec>& columns();

    // Building row by row: clear(), addLatin1() for each row in table order, then finish().
    void clear();
    // Reads the six texts of columns() from the cursor's row, at the cursor's columns given;
    // false when a search column is null, so that no search can find the row.
    static bool readTexts(const Cursor& cursor, const int (&at)[6], QString (&texts)[6]);
    // Adds a row with its key: its six texts as Latin-1 bytes, the submode as it is in the log
    // (compared without the blanks around it and a-z upper-cased), and the bytes the caller
    // keeps with the row (its payload, kept beside its texts). Returns the row's entry number
    // (0, 1, ... in the order of the rows added).
    qint64 addLatin1(const std::string_view (&texts)[6], const RowKey& key, std::string_view payload = {});

    // What a row is: its call, date, time, band and mode as the index keeps them (Latin-1), in
    // that order.
    void identity(qint64 entry, std::string_view (&texts)[5]) const;

    // The payload of a row, as added or as last replaced.
    const char* payload(qint64 entry) const { return m_pool.at(m_entries[std::size_t(entry)].payload); }
    // Room for a new payload of size bytes, which the row keeps from now on.
    char* replacePayload(qint64 entry, std::size_t size);
    // After the last row: the lists of the large groups are made.
    void finish();

    qsizetype size() const { return qsizetype(m_entries.size()); }
    // Whether some row is known by its values rather than by a rowid.
    bool hasValueKeys() const { return keyCount() > 0; }
    RowKey key(qint64 entry) const { return keyOf(m_entries[std::size_t(entry)]); }
    // A row known by its values is known by these from now on (after it was written).
    void setKey(qint64 entry, const RowKey& key);

    struct Match
    {
        bool found = false;
        RowKey key;
        QString time;      // the logged [QSO-TIME] of the row found
        qint64 entry = -1; // the row's entry number
    };

    // The row with exactly this time; failing that, when time has 6 characters, the row
    // whose time is the same minute with the lowest seconds "00" to "59". When several rows
    // qualify and some of them have a [QSO-SUBMODE] that names the report's MODE or SUBMODE
    // (upper-cased names; compared without regard to case or surrounding blanks), the choice
    // is made in the same way among those rows alone.
    Match find(const QString& call, const QString& date, const QString& time, const QString& mode,
               const QString& band, const QString& modeName = QString(), const QString& submodeName = QString()) const;

private:
    static constexpr std::uint32_t kNone = 0xffffffffu;
    // Groups larger than this are searched through sorted lists.
    static constexpr std::uint32_t kLargeGroup = 32;

    // A row's texts are one record of the pool: call, date, mode, band, time, submode, then
    // the payload; the group's key is the record of its first row.
    struct Entry
    {
        std::int64_t rowid;    // the row's rowid, or -(index into m_keys) - 2
        TextPool::Ref texts;   // the row's record
        std::uint32_t next;    // the next older entry of the same group, or kNone
        TextPool::Ref payload;
    };
    struct Group
    {
        std::uint64_t hash;
        TextPool::Ref key;     // call, date, mode, band
        std::uint32_t newest;  // the group's entries run from its newest to its oldest
        std::uint32_t next;    // the next group of the same bucket, or kNone
        std::uint32_t size;
        std::uint32_t large;   // index into m_large, or kNone
    };
    // The entries of a large group sorted by time and entry number, and those with a submode
    // by time, submode and entry number; and for the searches by seconds, the times of each
    // minute ("HHMM", or "HHMM" and a submode) with seconds "00" to "59", each with the first
    // entry of that time, in the order of the seconds.
    struct LargeGroup
    {
        std::vector<std::uint32_t> byTime;
        std::vector<std::uint32_t> bySubmode;
        std::unordered_map<std::string, std::vector<std::pair<int, std::uint32_t>>> minutes;
        std::unordered_map<std::string, std::vector<std::pair<int, std::uint32_t>>> namedMinutes;
    };
    struct Best;

    template <typename Text>
    std::uint32_t findGroup(std::uint64_t hash, const Text* parts[4]) const;
    void rehash(std::size_t bucketCount);
    RowKey keyOf(const Entry& entry) const;
    const char* entryTexts(const Entry& entry) const; // time, submode
    void buildLarge(Group& group);
    void searchLarge(const LargeGroup& large, const QString& time, const QString& modeName,
                     const QString& submodeName, Best& any, Best& named) const;

    std::vector<Entry> m_entries;
    std::vector<Group> m_groups;
    std::vector<std::uint32_t> m_buckets;
    std::vector<LargeGroup> m_large;
    TextPool m_pool;
    std::string m_submode; // scratch for a submode that is not kept as it stands
    // Keys that are not a rowid (ODBC): while every one is a single 64-bit integer (a key
    // column of integers, the driver's row identifier) they are kept as numbers, eight bytes a
    // row; from the first that is not, all of them as lists of values.
    std::vector<qint64> m_integerKeys;
    std::vector<QByteArray> m_keys; // packed (a key of a row's every value is most of the row)
    QStringList m_keyNames; // their columns, the same for every row
    std::size_t keyCount() const { return m_keys.empty() ? m_integerKeys.size() : m_keys.size(); }
    void storeKey(std::size_t at, const QVariantList& values);
};
