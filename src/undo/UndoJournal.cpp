#include "UndoJournal.h"

#include "logdb/QsoTable.h"
#include "platform/Strings.h"
#include "platform/Errors.h"
#include "platform/Varint.h"

#include <cstring>
#include <map>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <set>
#include <sqlite3.h>

namespace {

const char kSuffix[] = ".undo";

QString folderOf(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("undo"));
}

QByteArray serialisedKey(const RowKey& key)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << key.names << key.values;
    return bytes;
}

RowKey keyFrom(sqlite3_stmt* stmt, int rowidColumn, int keyColumn)
{
    RowKey key;
    if (sqlite3_column_type(stmt, rowidColumn) != SQLITE_NULL) {
        key.rowid = sqlite3_column_int64(stmt, rowidColumn);
        return key;
    }
    const QByteArray bytes(static_cast<const char*>(sqlite3_column_blob(stmt, keyColumn)),
                           sqlite3_column_bytes(stmt, keyColumn));
    QDataStream in(bytes);
    in >> key.names >> key.values;
    return key;
}

// An undo file opened for reading or updating; closed when it goes.
struct Opened
{
    sqlite3* db = nullptr;
    ~Opened() { sqlite3_close(db); }
    QString error() const { return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory"); }
};

bool openFile(Opened& file, const QString& path, int flags)
{
    return sqlite3_open_v2(path.toUtf8().constData(), &file.db, flags, nullptr) == SQLITE_OK;
}

// Opens a kept run to read it: for writing where it may be written, so that a change a kill
// left half made (its journal beside it) is rolled back first, else only for reading.
bool openToRead(Opened& file, const QString& path)
{
    if (openFile(file, path, SQLITE_OPEN_READWRITE))
        return true;
    sqlite3_close(file.db);
    file.db = nullptr;
    return openFile(file, path, SQLITE_OPEN_READONLY);
}

QString metaValue(sqlite3* db, const char* name)
{
    sqlite3_stmt* stmt = nullptr;
    QString value;
    if (sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE name = ?", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    return value;
}

bool setMeta(sqlite3* db, const char* name, const QString& value)
{
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO meta (name, value) VALUES (?, ?)", -1, &stmt, nullptr) == SQLITE_OK;
    if (ok) {
        const QByteArray bytes = value.toUtf8();
        sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    sqlite3_finalize(stmt);
    return ok;
}

QString stateName(UndoJournal::State state)
{
    switch (state) {
    case UndoJournal::State::Written: return QStringLiteral("written");
    case UndoJournal::State::Done: return QStringLiteral("done");
    case UndoJournal::State::Undone: return QStringLiteral("undone");
    case UndoJournal::State::Undoing: return QStringLiteral("undoing");
    case UndoJournal::State::NotTaken: return QStringLiteral("not taken");
    }
    return QString();
}

// A state as the file holds it; false for none this program writes.
bool parseState(const QString& text, UndoJournal::State& state)
{
    for (UndoJournal::State s : {UndoJournal::State::Written, UndoJournal::State::Done, UndoJournal::State::Undone,
                                 UndoJournal::State::Undoing, UndoJournal::State::NotTaken}) {
        if (text == stateName(s)) {
            state = s;
            return true;
        }
    }
    return false;
}

// Keeps the newest kUndoRunsKept files of the folder.
void prune(const QString& folder)
{
    QDir dir(folder);
    const QStringList files =
        dir.entryList({QStringLiteral("*") + QLatin1String(kSuffix)}, QDir::Files, QDir::Name | QDir::Reversed);
    for (qsizetype i = UndoJournal::kUndoRunsKept; i < files.size(); ++i)
        dir.remove(files.at(i));
}

} // namespace

namespace {
// The number at pos of bytes read from a file; pos moves past it.
bool getVarint(QByteArrayView bytes, qsizetype& pos, quint64& n)
{
    const char* in = bytes.data() + pos;
    std::uint64_t value;
    const bool whole = Varint::get(in, bytes.data() + bytes.size(), value);
    pos = in - bytes.data();
    n = value;
    return whole;
}
} // namespace

// Each value is a tag, then for a text its length and its UTF-8 bytes, for an integer its
// value zigzagged; lengths and integers take seven bits a byte.
void UndoValues::text(QByteArrayView utf8)
{
    m_bytes.append('T');
    Varint::append(m_bytes, quint64(utf8.size()));
    m_bytes.append(utf8.data(), utf8.size());
}

void UndoValues::integer(qint64 value)
{
    m_bytes.append('I');
    Varint::append(m_bytes, (quint64(value) << 1) ^ quint64(value >> 63));
}

void UndoValues::value(const QVariant& value)
{
    if (value.isNull())
        null();
    else if (IsIntegerValue(value))
        integer(value.toLongLong());
    else
        text(value.toString());
}

bool UndoValues::decode(QByteArrayView bytes, const std::vector<ColumnSpec>& columns, QVariantList& values,
                        std::vector<bool>& present)
{
    values.clear();
    present.assign(columns.size(), true);
    qsizetype pos = 0;
    for (size_t c = 0; c < columns.size(); ++c) {
        const ColumnSpec& column = columns[c];
        if (pos >= bytes.size())
            return false;
        const char tag = bytes.at(pos++);
        if (tag == 'A') {
            present[c] = false;
            values.append(QVariant());
        } else if (tag == 'N') {
            values.append(QVariant());
        } else if (tag == 'I') {
            quint64 zigzag;
            if (!getVarint(bytes, pos, zigzag))
                return false;
            const qint64 value = qint64(zigzag >> 1) ^ -qint64(zigzag & 1);
            values.append(column.type == ColumnType::Text ? QVariant(QString::number(value)) : QVariant(value));
        } else if (tag == 'T') {
            quint64 size;
            if (!getVarint(bytes, pos, size) || size > quint64(bytes.size() - pos))
                return false;
            const QString text = QString::fromUtf8(bytes.data() + pos, qsizetype(size));
            pos += qsizetype(size);
            values.append(column.type == ColumnType::Text ? QVariant(text) : QVariant(text.toLongLong()));
        } else {
            return false;
        }
    }
    return pos == bytes.size();
}

const std::vector<ColumnSpec>& UndoJournal::identityColumns()
{
    static const std::vector<ColumnSpec> columns =
        QsoTable::columns({QsoColumn::Call, QsoColumn::Date, QsoColumn::Time, QsoColumn::Band, QsoColumn::Mode});
    return columns;
}

std::unique_ptr<UndoJournal> UndoJournal::begin(const QString& dataFolder, const QString& kind, const QString& logPath,
                                                const std::vector<ColumnSpec>& columns)
{
    const QString folder = folderOf(dataFolder);
    if (!QDir().mkpath(folder))
        throw CFileException(QStringLiteral("The undo folder %1 cannot be made: no run can keep what it changes")
                                 .arg(QDir::toNativeSeparators(folder)));
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path;
    for (int n = 0;; ++n) {
        path = QDir(folder).filePath(stamp + (n ? QStringLiteral("-%1").arg(n) : QString()) + QLatin1Char('-') + kind
                                     + QLatin1String(kSuffix));
        if (!QFileInfo::exists(path))
            break;
    }

    std::unique_ptr<UndoJournal> journal(new UndoJournal);
    journal->m_path = path;
    // A journal that could not be made whole (the disk is full) leaves no file that would pass
    // for a kept run.
    try {
        journal->make(logPath, columns, kind);
    } catch (...) {
        journal->discard();
        throw;
    }
    return journal;
}

void UndoJournal::make(const QString& logPath, const std::vector<ColumnSpec>& columns, const QString& kind)
{
    m_columns = int(columns.size());
    for (const ColumnSpec& c : columns)
        m_names.append(c.name);
    if (sqlite3_open_v2(m_path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        fail(QStringLiteral("open"));
    QString names;
    QString types;
    for (size_t i = 0; i < columns.size(); ++i) {
        names += (i ? QStringLiteral("\n") : QString()) + columns[i].name;
        types += QString::number(int(columns[i].type));
    }
    QStringList identity;
    for (const ColumnSpec& c : identityColumns())
        identity.append(c.name);
    // The rows go in without the engine's own journal and syncs: the file is new, and it is
    // synced whole when it is sealed, before the log commits.
    exec("PRAGMA journal_mode=OFF");
    exec("CREATE TABLE meta (name TEXT PRIMARY KEY, value TEXT)");
    exec("CREATE TABLE rows (rid INTEGER, k BLOB, b BLOB, a BLOB, q BLOB)");
    const std::pair<const char*, QString> meta[] = {
        {"kind", kind},
        {"created", QDateTime::currentDateTime().toString(Qt::ISODate)},
        {"log", logPath},
        {"columns", names},
        {"types", types},
        {"identity", identity.join(QLatin1Char('\n'))},
        {"state", stateName(State::Written)},
        {"rows", QStringLiteral("0")},
    };
    for (const auto& [name, value] : meta) {
        if (!setMeta(m_db, name, value))
            fail(QStringLiteral("write"));
    }
    // Synced whole when it is sealed, before the log commits (the setting takes effect at the
    // commit, and may only be set outside a transaction).
    exec("PRAGMA synchronous=FULL");
    exec("BEGIN");
    m_open = true;
    if (sqlite3_prepare_v2(m_db, "INSERT INTO rows VALUES (?, ?, ?, ?, ?)", -1, &m_insert, nullptr) != SQLITE_OK)
        fail(QStringLiteral("write"));
}

UndoJournal::~UndoJournal()
{
    sqlite3_finalize(m_insert);
    if (m_db) {
        if (m_open)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
}

void UndoJournal::fail(const QString& what)
{
    QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
    // The system's words for a file that could not be written (a full disk, a size limit).
    if (m_db && sqlite3_system_errno(m_db) != 0)
        text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(sqlite3_system_errno(m_db)));
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_open = false;
    QFile::remove(m_path);
    QFile::remove(m_path + QStringLiteral("-journal"));
    throw CFileException(QStringLiteral("What this run changes could not be kept in %1 (%2: %3), so the run changes "
                                        "nothing")
                             .arg(QDir::toNativeSeparators(m_path), what, text));
}

void UndoJournal::exec(const char* sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("write"));
}

void UndoJournal::add(const RowKey& key, const QVariantList& before, const QVariantList& after,
                      const QStringList& identity)
{
    RowKey written = key;
    // A row known by its values is known by the values the run leaves in it.
    for (int i = 0; i < m_columns && !written.names.isEmpty(); ++i) {
        const qsizetype at = written.names.indexOf(m_names.at(i));
        if (at >= 0)
            written.values[at] = after.value(i);
    }
    m_before.clear();
    m_after.clear();
    m_identity.clear();
    for (int i = 0; i < m_columns; ++i) {
        m_before.value(before.value(i));
        m_after.value(after.value(i));
    }
    if (!identity.isEmpty()) {
        for (size_t i = 0; i < identityColumns().size(); ++i)
            m_identity.text(identity.value(qsizetype(i)));
    }
    addEncoded(written, m_before.bytes(), m_after.bytes(), m_identity.bytes());
}

void UndoJournal::addEncoded(const RowKey& key, QByteArrayView before, QByteArrayView after, QByteArrayView identity)
{
    sqlite3_reset(m_insert);
    if (key.names.isEmpty()) {
        sqlite3_bind_int64(m_insert, 1, key.rowid);
        sqlite3_bind_null(m_insert, 2);
    } else {
        sqlite3_bind_null(m_insert, 1);
        const QByteArray bytes = serialisedKey(key);
        sqlite3_bind_blob(m_insert, 2, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    sqlite3_bind_blob(m_insert, 3, before.data(), int(before.size()), SQLITE_STATIC);
    sqlite3_bind_blob(m_insert, 4, after.data(), int(after.size()), SQLITE_STATIC);
    if (identity.isEmpty())
        sqlite3_bind_null(m_insert, 5);
    else
        sqlite3_bind_blob(m_insert, 5, identity.data(), int(identity.size()), SQLITE_STATIC);
    if (sqlite3_step(m_insert) != SQLITE_DONE)
        fail(QStringLiteral("write"));
    ++m_rows;
}

void UndoJournal::seal()
{
    if (!setMeta(m_db, "rows", QString::number(m_rows)))
        fail(QStringLiteral("write"));
    // On disk before the log commits: the commit syncs the whole file.
    exec("COMMIT");
    m_open = false;
    // From now on the file holds a kept run: its state is changed in transactions with a
    // journal of their own, which a kill leaves whole or not at all.
    sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
}

void UndoJournal::finish(const std::vector<size_t>& notWritten)
{
    if (!m_db)
        return;
    // The log holds the run's changes already: a failure here leaves the journal as sealed
    // ("written"), which the next run settles from what the log holds.
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* remove = nullptr;
    sqlite3_prepare_v2(m_db, "DELETE FROM rows WHERE rowid = ?", -1, &remove, nullptr);
    for (size_t index : notWritten) {
        sqlite3_reset(remove);
        sqlite3_bind_int64(remove, 1, qint64(index) + 1);
        if (sqlite3_step(remove) == SQLITE_DONE)
            m_rows -= sqlite3_changes(m_db);
    }
    sqlite3_finalize(remove);
    setMeta(m_db, "rows", QString::number(m_rows));
    setMeta(m_db, "state", stateName(State::Done));
    sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    sqlite3_close(m_db);
    m_db = nullptr;
    prune(QFileInfo(m_path).absolutePath());
}

void UndoJournal::discard()
{
    sqlite3_finalize(m_insert);
    m_insert = nullptr;
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_open = false;
    QFile::remove(m_path);
    QFile::remove(m_path + QStringLiteral("-journal"));
}

namespace {

QString timeText(const UndoEntry& entry)
{
    return entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The entry as its file says now.
void readEntry(sqlite3* db, UndoEntry& entry)
{
    entry.kind = metaValue(db, "kind");
    entry.time = QDateTime::fromString(metaValue(db, "created"), Qt::ISODate);
    entry.logPath = metaValue(db, "log");
    entry.rows = metaValue(db, "rows").toLongLong();
    const QString state = metaValue(db, "state");
    if (entry.kind.isEmpty() || entry.logPath.isEmpty() || !entry.time.isValid() || !parseState(state, entry.state))
        entry.problem = QStringLiteral("it is damaged");
    const QString verified = metaValue(db, "verified");
    if (!verified.isEmpty())
        entry.verified = QDateTime::fromString(verified, Qt::ISODate);
}

// The rows of a kept run, one at a time: key, values before and after, what the row is.
class JournalRows
{
public:
    ~JournalRows() { sqlite3_finalize(m_rows); }

    // False with the cause in problem when the file's description of its columns is damaged.
    bool open(sqlite3* db, QString& problem)
    {
        const QStringList names = metaValue(db, "columns").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QString types = metaValue(db, "types");
        if (names.isEmpty() || names.size() != types.size()) {
            problem = QStringLiteral("it is damaged");
            return false;
        }
        columns.clear();
        for (qsizetype i = 0; i < names.size(); ++i)
            columns.push_back({names.at(i), ColumnType(types.at(i).digitValue())});
        // Files of earlier versions keep no identity of their rows.
        const QStringList identityNames = metaValue(db, "identity").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        m_identityKnown = identityNames.size() == qsizetype(UndoJournal::identityColumns().size());
        if (sqlite3_prepare_v2(db, "SELECT rid, k, b, a, q FROM rows ORDER BY rowid", -1, &m_rows, nullptr) != SQLITE_OK
            && sqlite3_prepare_v2(db, "SELECT rid, k, b, a, NULL FROM rows ORDER BY rowid", -1, &m_rows, nullptr)
                   != SQLITE_OK) {
            problem = QStringLiteral("it is damaged (%1)").arg(QString::fromUtf8(sqlite3_errmsg(db)));
            return false;
        }
        m_db = db;
        return true;
    }

    // 1 with the next row read, 0 after the last, -1 when the file is damaged (problem says
    // how).
    int next(QString& problem)
    {
        const int rc = sqlite3_step(m_rows);
        if (rc == SQLITE_DONE)
            return 0;
        if (rc != SQLITE_ROW) {
            problem = QStringLiteral("it could not be read to its end (%1)").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
            return -1;
        }
        const QByteArrayView b(static_cast<const char*>(sqlite3_column_blob(m_rows, 2)), sqlite3_column_bytes(m_rows, 2));
        const QByteArrayView a(static_cast<const char*>(sqlite3_column_blob(m_rows, 3)), sqlite3_column_bytes(m_rows, 3));
        const QByteArrayView q(static_cast<const char*>(sqlite3_column_blob(m_rows, 4)), sqlite3_column_bytes(m_rows, 4));
        std::vector<bool> presentAfter;
        QVariantList identityValues;
        std::vector<bool> identityPresent;
        if (!UndoValues::decode(b, columns, before, present) || !UndoValues::decode(a, columns, after, presentAfter)
            || present != presentAfter
            || (!q.isEmpty() && !UndoValues::decode(q, UndoJournal::identityColumns(), identityValues, identityPresent))) {
            problem = QStringLiteral("it is damaged");
            return -1;
        }
        identity.clear();
        if (m_identityKnown && !q.isEmpty()) {
            for (const QVariant& v : identityValues)
                identity.append(v.toString());
        }
        key = keyFrom(m_rows, 0, 1);
        return 1;
    }

    // The columns the run changed in the current row, with their values before and after.
    void changed(std::vector<ColumnSpec>& specs, QVariantList& restore, QVariantList& expected) const
    {
        specs.clear();
        restore.clear();
        expected.clear();
        for (size_t i = 0; i < columns.size(); ++i) {
            if (!present[i] || before.at(qsizetype(i)) == after.at(qsizetype(i)))
                continue;
            specs.push_back(columns[i]);
            restore.append(before.at(qsizetype(i)));
            expected.append(after.at(qsizetype(i)));
        }
    }

    std::vector<ColumnSpec> columns;
    RowKey key;
    QVariantList before;
    QVariantList after;
    std::vector<bool> present;
    QStringList identity; // empty when the file does not tell

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_rows = nullptr;
    bool m_identityKnown = false;
};

// What a row of the log holds, against what a run wrote there.
struct RowCheck
{
    enum Kind {
        After,  // what the run wrote
        Before, // what it held before the run
        Edited, // the same QSO, changed by another program
        Gone,   // no row has the key (any more)
        Other,  // the row holds another QSO
    } kind = Gone;
    QStringList now; // the row's call, date, time, band and mode, when it is there
};

bool holds(const Cursor& row, int column, const QVariant& value, ColumnType type)
{
    if (!value.isValid() || value.isNull())
        return row.isNull(column);
    if (row.isNull(column))
        return false;
    if (type == ColumnType::Text)
        return row.text(column) == value.toString();
    return row.integer(column) == value.toLongLong();
}

RowCheck checkRow(Connection& log, const RowKey& key, const std::vector<ColumnSpec>& changed,
                  const QVariantList& before, const QVariantList& after, const QStringList& identity)
{
    std::vector<ColumnSpec> columns = UndoJournal::identityColumns();
    const int first = int(columns.size());
    columns.insert(columns.end(), changed.begin(), changed.end());
    RowCheck check;
    std::unique_ptr<Cursor> row = log.selectByKey(QsoTable::name(), columns, key);
    if (!row->next()) {
        // A row known by its values is not found by them once another program changed what
        // the run wrote: it is looked for by the rest of them.
        if (key.names.isEmpty())
            return check;
        RowKey rest;
        for (qsizetype i = 0; i < key.names.size(); ++i) {
            const bool written = std::any_of(changed.begin(), changed.end(),
                                             [&](const ColumnSpec& c) { return c.name == key.names.at(i); });
            if (!written) {
                rest.names.append(key.names.at(i));
                rest.values.append(key.values.value(i));
            }
        }
        if (rest.names.isEmpty() || rest.names.size() == key.names.size())
            return check;
        row = log.selectByKey(QsoTable::name(), columns, rest);
        if (!row->next())
            return check;
    }
    for (int i = 0; i < first; ++i)
        check.now.append(row->text(i));
    if (!identity.isEmpty()) {
        for (int i = 0; i < first; ++i) {
            if (identity.value(i).trimmed() != check.now.at(i).trimmed()) {
                check.kind = RowCheck::Other;
                return check;
            }
        }
    }
    bool allAfter = true;
    bool allBefore = true;
    for (size_t i = 0; i < changed.size(); ++i) {
        allAfter = allAfter && holds(*row, first + int(i), after.at(qsizetype(i)), changed[i].type);
        allBefore = allBefore && holds(*row, first + int(i), before.at(qsizetype(i)), changed[i].type);
    }
    check.kind = allAfter ? RowCheck::After : allBefore ? RowCheck::Before : RowCheck::Edited;
    return check;
}

// "CALL DATE TIME" of a row as the run left it: by what the kept run says it is, else by the
// values of its key; a row known only by its rowid says so.
QString namedRow(const RowKey& key, const QStringList& identity, const QStringList& now)
{
    if (!identity.isEmpty())
        return identity.mid(0, 3).join(QLatin1Char(' '));
    if (!now.isEmpty())
        return now.mid(0, 3).join(QLatin1Char(' '));
    if (!key.names.isEmpty()) {
        QStringList parts;
        for (QsoColumn column : {QsoColumn::Call, QsoColumn::Date, QsoColumn::Time})
            parts.append(key.values.value(key.names.indexOf(QsoTable::column(column).name)).toString());
        return parts.join(QLatin1Char(' '));
    }
    return QStringLiteral("the row with the rowid %1").arg(key.rowid);
}

// How many of a kept run's rows (every step-th one that the run changed) hold what it wrote
// there, and how many what they held before it.
struct Tally
{
    qint64 after = 0;
    qint64 before = 0;
};

bool tally(sqlite3* file, Connection& log, qint64 step, Tally& counts, QString& problem)
{
    JournalRows rows;
    if (!rows.open(file, problem))
        return false;
    std::vector<ColumnSpec> changed;
    QVariantList restore;
    QVariantList expected;
    qint64 seen = 0;
    int rc;
    while ((rc = rows.next(problem)) == 1) {
        rows.changed(changed, restore, expected);
        if (changed.empty() || (seen++ % step) != 0)
            continue;
        const RowCheck check = checkRow(log, rows.key, changed, restore, expected, rows.identity);
        if (check.kind == RowCheck::After)
            ++counts.after;
        else if (check.kind == RowCheck::Before)
            ++counts.before;
    }
    return rc == 0;
}

// Rows looked at to tell whether the log took a run: its transaction took all of them or none,
// so a spread of them tells as well as every one.
constexpr qint64 kSettleSample = 2000;

// Settles a kept run left "written" or "undoing" by what the log holds; returns the new state
// (recorded in the file) and sets line to say what was found. Throws CDbException when the log
// can't be read.
UndoJournal::State settle(sqlite3* file, Connection& log, const UndoEntry& entry, QString& line)
{
    Tally counts;
    QString problem;
    if (!tally(file, log, qMax<qint64>(1, (entry.rows + kSettleSample - 1) / kSettleSample), counts, problem))
        throw CDbException(QStringLiteral("the run kept in %1 cannot be read: %2")
                               .arg(QFileInfo(entry.path).fileName(), problem));
    const QString what = QStringLiteral("%1 of %2").arg(entry.kind, timeText(entry));
    UndoJournal::State state;
    if (entry.state == UndoJournal::State::Undoing) {
        if (counts.before > counts.after) {
            state = UndoJournal::State::Undone;
            line = QStringLiteral("The undo of the %1 was interrupted after the log took it: it is recorded as undone.")
                       .arg(what);
        } else {
            state = UndoJournal::State::Done;
            line = QStringLiteral("The undo of the %1 was interrupted before the log took it: the log still holds the "
                                  "%2, which can still be undone.")
                       .arg(what, entry.kind);
        }
    } else if (counts.before > counts.after) {
        state = UndoJournal::State::NotTaken;
        line = QStringLiteral("The %1 was interrupted before the log took its changes: the log holds none of them, "
                              "so there is nothing to undo.")
                   .arg(what);
    } else {
        state = UndoJournal::State::Done;
        line = QStringLiteral("The %1 was interrupted after the log took its changes: it is kept and can be undone.")
                   .arg(what);
    }
    if (!setMeta(file, "state", stateName(state)))
        throw CDbException(QStringLiteral("the run kept in %1 cannot be written: %2")
                               .arg(QFileInfo(entry.path).fileName(), QString::fromUtf8(sqlite3_errmsg(file))));
    return state;
}

bool pending(UndoJournal::State state)
{
    return state == UndoJournal::State::Written || state == UndoJournal::State::Undoing;
}

} // namespace

QString UndoStateText(const UndoEntry& entry)
{
    if (!entry.problem.isEmpty())
        return QStringLiteral("cannot be used: ") + entry.problem;
    switch (entry.state) {
    case UndoJournal::State::Done: return QStringLiteral("can be undone");
    case UndoJournal::State::Undone: return QStringLiteral("undone");
    case UndoJournal::State::NotTaken: return QStringLiteral("interrupted, nothing to undo");
    case UndoJournal::State::Written: return QStringLiteral("interrupted; not yet known whether the log took it");
    case UndoJournal::State::Undoing: return QStringLiteral("undo interrupted; not yet known whether the log took it");
    }
    return QString();
}

std::vector<UndoEntry> ListUndoRuns(const QString& dataFolder)
{
    std::vector<UndoEntry> entries;
    QDir dir(folderOf(dataFolder));
    const QStringList files =
        dir.entryList({QStringLiteral("*") + QLatin1String(kSuffix)}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QString& name : files) {
        UndoEntry entry;
        entry.path = dir.filePath(name);
        Opened file;
        if (!openToRead(file, entry.path))
            entry.problem = QStringLiteral("it cannot be opened: ") + file.error();
        else
            readEntry(file.db, entry);
        entries.push_back(entry);
    }
    return entries;
}

QStringList SettleUndoRuns(const QString& dataFolder)
{
    QStringList lines;
    for (const UndoEntry& entry : ListUndoRuns(dataFolder)) {
        if (!entry.problem.isEmpty() || !pending(entry.state))
            continue;
        const QString what = QStringLiteral("%1 of %2").arg(entry.kind, timeText(entry));
        try {
            Opened file;
            if (!openFile(file, entry.path, SQLITE_OPEN_READWRITE))
                throw CDbException(file.error());
            std::shared_ptr<Connection> log = Connection::open(entry.logPath);
            QString line;
            settle(file.db, *log, entry, line);
            lines.append(line);
        } catch (const CDbException& e) {
            lines.append(QStringLiteral("Whether the log took the interrupted %1 can't be told yet (%2); it is "
                                        "looked at again at the next start.")
                             .arg(what, e.description()));
        }
    }
    return lines;
}

UndoResult UndoRunAt(const UndoEntry& given, const QString& logPath, const std::function<void()>& progress,
                     const std::function<void()>& waitNotice)
{
    const QString name = QFileInfo(given.path).fileName();
    const QString unchanged = QStringLiteral("Nothing was changed.");
    if (!given.problem.isEmpty())
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: %2. %3").arg(name, given.problem, unchanged));
    if (given.logPath != logPath)
        throw CDbException(QStringLiteral("The %1 of %2 was made on the log %3, not on %4: nothing was changed.")
                               .arg(given.kind, timeText(given), given.logPath, logPath));

    Opened file;
    if (!openFile(file, given.path, SQLITE_OPEN_READWRITE))
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: it cannot be opened (%2). %3")
                               .arg(name, file.error(), unchanged));
    // The file as it is now (another run may have settled it since it was listed).
    UndoEntry entry = given;
    entry.problem.clear();
    readEntry(file.db, entry);
    if (!entry.problem.isEmpty())
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: %2. %3").arg(name, entry.problem, unchanged));
    const QString what = QStringLiteral("%1 of %2").arg(entry.kind, timeText(entry));
    if (entry.state == UndoJournal::State::Undone)
        throw CDbException(QStringLiteral("The %1 was undone already.").arg(what));
    if (entry.state == UndoJournal::State::NotTaken)
        throw CDbException(QStringLiteral("The %1 was interrupted before the log took its changes: there is nothing "
                                          "to undo.")
                               .arg(what));

    std::shared_ptr<Connection> log;
    try {
        log = Connection::open(logPath);
    } catch (const CDbException& e) {
        throw CDbException(QStringLiteral("%1 %2").arg(e.description(), unchanged), e.busy() ? CDbException::Cause::Busy
                                                                                             : CDbException::Cause::Other);
    }
    const WaitNoticeScope notice(*log, waitNotice);
    if (pending(entry.state)) {
        QString line;
        try {
            entry.state = settle(file.db, *log, entry, line);
        } catch (const CDbException& e) {
            throw CDbException(QStringLiteral("Whether the log took the interrupted %1 can't be told (%2). %3")
                                   .arg(what, e.description(), unchanged));
        }
        if (entry.state == UndoJournal::State::Undone)
            throw CDbException(QStringLiteral("The %1 was undone already (the undo was interrupted after the log took "
                                              "it).")
                                   .arg(what));
        if (entry.state == UndoJournal::State::NotTaken)
            throw CDbException(QStringLiteral("The %1 was interrupted before the log took its changes: there is "
                                              "nothing to undo.")
                                   .arg(what));
    }

    JournalRows rows;
    QString problem;
    if (!rows.open(file.db, problem))
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: %2. %3").arg(name, problem, unchanged));

    UndoResult result;
    result.locatorNote = log->rowLocatorNote(QsoTable::name());
    ConditionalUpdates updates(*log, QsoTable::name());
    TwinCredits twins;
    qint64 gone = 0;
    qint64 other = 0;
    qint64 edited = 0;
    QStringList lines;
    bool recorded = false; // the file says "undoing"
    QString refusal;
    // Rows one after another are handed to the engine together, each with the columns it puts
    // back, what it puts back there and what it must hold, so that the engine writes as many
    // of them at once as it can.
    struct Kind
    {
        std::vector<ColumnSpec> changed;
        std::vector<ColumnSpec> conditions; // the changed columns, then those of what the row is
    };
    std::vector<Kind> kinds; // the sets of columns rows put back, each kept once
    std::map<QStringList, size_t> kindAt;
    struct Pending
    {
        RowKey key;
        QStringList identity;
        size_t kind;
        QVariantList restore;      // what the row held before the run
        QVariantList expected;     // what the run wrote in the changed columns
        QVariantList expectedHere; // the same, then what the row is
    };
    std::vector<Pending> batch;
    constexpr size_t kBatch = 4096;
    // A row the batch's statement did not write: put back where it still holds what the run
    // wrote, else told as it is.
    const auto settleRow = [&](const Pending& row, qint64 written) {
        if (written > 0)
            twins.written(row.key, written);
        if (written > 0 || twins.take(row.key)) {
            ++result.restored;
            return;
        }
        const std::vector<ColumnSpec>& changed = kinds[row.kind].changed;
        const RowCheck check = checkRow(*log, row.key, changed, row.restore, row.expected, row.identity);
        if (check.kind == RowCheck::After
            && log->updateIfUnchanged(QsoTable::name(), row.key, changed, row.restore, changed, row.expected)) {
            ++result.restored;
            return;
        }
        QString line;
        switch (check.kind) {
        case RowCheck::Before:
            ++result.asBefore;
            return;
        case RowCheck::After:
        case RowCheck::Edited:
            ++edited;
            line = check.now.mid(0, 3).join(QLatin1Char(' '));
            break;
        case RowCheck::Gone:
            ++gone;
            line = namedRow(row.key, row.identity, {}) + QStringLiteral(" (no longer in the log)");
            break;
        case RowCheck::Other:
            ++other;
            line = namedRow(row.key, row.identity, {})
                   + QStringLiteral(" (its row holds another QSO now: %1)").arg(check.now.mid(0, 3).join(QLatin1Char(' ')));
            break;
        }
        if (lines.size() < 100)
            lines.append(line);
    };
    const auto flush = [&] {
        if (batch.empty())
            return;
        // One statement for each set of columns, made once; rows known by their values may
        // have twins, put back together by one of them.
        std::vector<RowChange> changes;
        changes.reserve(batch.size());
        for (const Pending& row : batch) {
            const Kind& kind = kinds[row.kind];
            changes.push_back(RowChange{&row.key, &kind.changed, &row.restore, &kind.conditions, &row.expectedHere});
        }
        const std::vector<qint64> written = log->updateEachIfUnchanged(updates, changes);
        for (size_t i = 0; i < batch.size(); ++i)
            settleRow(batch[i], written[i]);
        batch.clear();
    };
    try {
        log->beginTransaction();
        std::vector<ColumnSpec> changed;
        QVariantList restore;
        QVariantList expected;
        std::vector<ColumnSpec> conditions;
        QVariantList expectedHere;
        QStringList names;
        qint64 done = 0;
        int rc;
        while ((rc = rows.next(problem)) == 1) {
            rows.changed(changed, restore, expected);
            if (progress && (++done & 0xFFF) == 0)
                progress();
            if (changed.empty()) {
                ++result.restored;
                continue;
            }
            // Only what the run changed in the row is put back, and only where the row is still
            // the QSO the run wrote (its texts as the run read them) and holds what it wrote
            // there: one statement for a row that is, a look at the row for one that is not.
            conditions = changed;
            expectedHere = expected;
            for (qsizetype i = 0; i < rows.identity.size(); ++i) {
                if (rows.identity.at(i).isEmpty())
                    continue; // an empty text may be null in the log: looked at below
                conditions.push_back(UndoJournal::identityColumns()[size_t(i)]);
                expectedHere.append(rows.identity.at(i));
            }
            names.clear();
            for (const ColumnSpec& c : conditions)
                names.append(c.name);
            names.append(QStringLiteral("|"));
            for (const ColumnSpec& c : changed)
                names.append(c.name);
            auto kind = kindAt.find(names);
            if (kind == kindAt.end()) {
                kind = kindAt.emplace(names, kinds.size()).first;
                kinds.push_back(Kind{changed, conditions});
            }
            if (batch.size() == kBatch)
                flush();
            batch.push_back(Pending{rows.key, rows.identity, kind->second, restore, expected, expectedHere});
        }
        flush();
        if (rc != 0)
            throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: %2").arg(name, problem));
        result.twins = twins.together();

        // A log most of whose rows are gone, are other QSOs or hold what they held before the
        // run is not the log the run left: another log, or a copy of it from before the run.
        const qint64 total = result.restored + result.asBefore + edited + gone + other;
        if ((other + gone + result.asBefore) * 2 > total) {
            QStringList found;
            if (result.asBefore > 0)
                found.append(QStringLiteral("%1 hold what they held before the %2 (a copy of the log from before "
                                            "it?)")
                                 .arg(result.asBefore)
                                 .arg(entry.kind));
            if (other > 0)
                found.append(QStringLiteral("%1 hold other QSOs (another log?)").arg(other));
            if (gone > 0)
                found.append(QStringLiteral("%1 are no longer in it").arg(gone));
            refusal = QStringLiteral("The log %1 is not the one the %2 left: of the %3 rows it changed, %4. %5")
                          .arg(QDir::toNativeSeparators(logPath), what)
                          .arg(total)
                          .arg(found.join(QStringLiteral(" and ")), unchanged);
            log->rollback();
        } else {
            // Recorded before the log commits: a kill from here on leaves "undoing", which the
            // next start settles from what the rows hold.
            if (!setMeta(file.db, "state", stateName(UndoJournal::State::Undoing)))
                throw CFileException(QStringLiteral("The undo cannot be recorded in %1 (%2)")
                                         .arg(QDir::toNativeSeparators(given.path), file.error()));
            recorded = true;
            log->commit();
        }
    } catch (const CDbException& e) {
        try {
            log->rollback();
        } catch (const CDbException&) {
        }
        if (recorded)
            setMeta(file.db, "state", stateName(UndoJournal::State::Done));
        QString text = e.description();
        while (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        throw CDbException(QStringLiteral("The undo of the %1 stopped: %2. Nothing was changed: the log is as it was.")
                               .arg(what, text),
                           e.busy() ? CDbException::Cause::Busy : CDbException::Cause::Other);
    } catch (const CFileException& e) {
        try {
            log->rollback();
        } catch (const CDbException&) {
        }
        throw CFileException(e.description() + QStringLiteral(": nothing was changed, the log is as it was."));
    }
    if (!refusal.isEmpty())
        throw CDbException(refusal);
    if (!setMeta(file.db, "state", stateName(UndoJournal::State::Undone)))
        result.recordProblem = QStringLiteral("The log took the undo, but %1 could not be marked as undone (%2): it "
                                              "is recognised as undone at the next start.")
                                   .arg(QDir::toNativeSeparators(given.path), file.error());
    result.leftAlone = edited + gone + other;
    result.leftAloneLines = lines;
    return result;
}

QStringList UndoResultLines(const UndoEntry& entry, const UndoResult& result)
{
    QStringList lines;
    if (!result.locatorNote.isEmpty())
        lines.append(result.locatorNote);
    lines.append(QStringLiteral("Restored %1 as they were before the %2").arg(Strings::counted(result.restored, "row"), entry.kind));
    if (result.twins > 0)
        lines.append(QStringLiteral("Warning: %1 of them are logged more than once (rows equal in every column) and were "
                                    "restored together with their twins.")
                         .arg(result.twins));
    if (result.asBefore > 0)
        lines.append(QStringLiteral("%1 rows held what they held before the %2 already (another program put it back) "
                                    "and were left as they are")
                         .arg(result.asBefore)
                         .arg(entry.kind));
    if (result.leftAlone > 0) {
        lines.append(QStringLiteral("%1 rows were changed or deleted since by another program and were left as they "
                                    "are:")
                         .arg(result.leftAlone));
        for (const QString& line : result.leftAloneLines)
            lines.append(QStringLiteral("  ") + line);
        if (result.leftAlone > result.leftAloneLines.size())
            lines.append(QStringLiteral("  ... and %1 more").arg(result.leftAlone - result.leftAloneLines.size()));
    }
    return lines;
}

bool ReadUndoRows(const UndoEntry& entry, std::vector<ColumnSpec>& columns,
                  const std::function<void(const RowKey&, const QVariantList&, const QVariantList&)>& row,
                  QString& problem)
{
    const QString name = QFileInfo(entry.path).fileName();
    Opened file;
    if (!openToRead(file, entry.path)) {
        problem = QStringLiteral("%1 cannot be opened: %2").arg(name, file.error());
        return false;
    }
    JournalRows rows;
    if (!rows.open(file.db, problem)) {
        problem = name + QStringLiteral(": ") + problem;
        return false;
    }
    columns = rows.columns;
    int rc;
    while ((rc = rows.next(problem)) == 1)
        row(rows.key, rows.before, rows.after);
    if (rc != 0) {
        problem = name + QStringLiteral(": ") + problem;
        return false;
    }
    return true;
}

bool SetUndoRunVerified(const UndoEntry& entry, const QDateTime& when)
{
    Opened file;
    return openFile(file, entry.path, SQLITE_OPEN_READWRITE) && setMeta(file.db, "verified", when.toString(Qt::ISODate));
}
