#include "SqliteConnection.h"

#include "platform/Errors.h"
#include "platform/TextDecoding.h"

#include <QFileInfo>
#include <set>
#include <sqlite3.h>

QString DecodeLogText(const char* bytes, qsizetype size)
{
    // SQLite keeps text in UTF-8.
    return DecodeOrLatin1(QByteArrayView(bytes, size));
}

namespace {

// The engine's text for the last failure on db. A database another program holds (still
// locked after the busy wait) says so, with the file's name.
QString errorText(sqlite3* db, const char* message = nullptr)
{
    QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    const int code = sqlite3_extended_errcode(db) & 0xff;
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) {
        const char* file = sqlite3_db_filename(db, "main");
        text = QStringLiteral("The database %1 is in use by another program (%2)")
                   .arg(QString::fromUtf8(file && *file ? file : "file"), text);
    }
    return text;
}

// A log text as the file holds it: every text written to a table goes through here (read
// back with DecodeLogText).
QByteArray EncodeText(const QString& text)
{
    return text.toUtf8();
}

bool IsAscii(const char* bytes, std::size_t size)
{
    unsigned char any = 0;
    for (std::size_t i = 0; i < size; ++i)
        any |= static_cast<unsigned char>(bytes[i]);
    return any < 0x80;
}

// The last failure on db as an exception with that text: a database another program holds is
// told apart.
[[noreturn]] void Throw(sqlite3* db, const QString& text)
{
    const int code = sqlite3_extended_errcode(db) & 0xff;
    throw CDbException(text, code == SQLITE_BUSY || code == SQLITE_LOCKED ? CDbException::Cause::Busy
                                                                          : CDbException::Cause::Other);
}

QString columnList(const std::vector<ColumnSpec>& columns)
{
    if (columns.empty())
        return QStringLiteral("*");
    QString list;
    for (const ColumnSpec& c : columns) {
        if (!list.isEmpty())
            list += QLatin1String(", ");
        list += c.name;
    }
    return list;
}

class SqliteCursor : public Cursor
{
public:
    // inUse null: finalise the statement at the end; otherwise it is a cached statement that
    // is only reset and handed back.
    SqliteCursor(sqlite3* db, sqlite3_stmt* stmt, std::set<sqlite3_stmt*>* inUse)
        : m_db(db), m_stmt(stmt), m_inUse(inUse) {}
    ~SqliteCursor() override
    {
        if (!m_inUse) {
            sqlite3_finalize(m_stmt);
        } else {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
            m_inUse->erase(m_stmt);
        }
    }

    bool next() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        Throw(m_db, errorText(m_db));
    }
    // Column 0 of the statement is the rowid; the selected columns follow.
    QVariant value(int column) const override
    {
        const int c = column + 1;
        switch (sqlite3_column_type(m_stmt, c)) {
        case SQLITE_NULL: return QVariant();
        case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(m_stmt, c)));
        case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, c));
        default: return QVariant(text(column));
        }
    }
    QString text(int column) const override
    {
        const int c = column + 1;
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        const int size = sqlite3_column_bytes(m_stmt, c);
        if (!bytes || size == 0)
            return QString();
        return DecodeLogText(bytes, size);
    }
    bool asciiText(int column, std::string_view& bytes) const override
    {
        const int c = column + 1;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        const int size = sqlite3_column_bytes(m_stmt, c);
        if (!text || size == 0) {
            bytes = std::string_view();
            return true;
        }
        if (!IsAscii(text, std::size_t(size)))
            return false;
        bytes = std::string_view(text, std::size_t(size));
        return true;
    }
    bool isNull(int column) const override { return sqlite3_column_type(m_stmt, column + 1) == SQLITE_NULL; }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column + 1); }
    RowKey key() const override
    {
        RowKey k;
        k.rowid = sqlite3_column_int64(m_stmt, 0);
        return k;
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    std::set<sqlite3_stmt*>* m_inUse;
};

void bindValue(sqlite3_stmt* stmt, int index, const QVariant& value)
{
    if (value.isNull()) {
        sqlite3_bind_null(stmt, index);
    } else if (IsIntegerValue(value)) {
        sqlite3_bind_int64(stmt, index, value.toLongLong());
    } else if (value.typeId() == QMetaType::Double) {
        sqlite3_bind_double(stmt, index, value.toDouble());
    } else {
        const QByteArray bytes = value.toString().toUtf8();
        sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
}

} // namespace

SqliteConnection::SqliteConnection(const QString& path) : m_path(path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw CDbException(QStringLiteral("The database file '%1' does not exist.").arg(path));
    if (!info.isFile())
        throw CDbException(QStringLiteral("'%1' is not a database file.").arg(path));
    // This program never asks SQLite how much memory it uses: without the count, no
    // allocation of the engine takes a lock. Only possible before SQLite's first use.
    static const bool quiet = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    (void)quiet;
    // SQLite takes file names in UTF-8 on every platform.
    const QByteArray name = path.toUtf8();
    // Read-write, never create: a missing file must not turn into an empty database.
    const int rc = sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw CDbException(QStringLiteral("Cannot open the database '%1': %2").arg(path, text));
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Reading the schema tells at once whether the file is a database at all. A database
    // another program holds is one; it is waited for (and the wait said) by the first
    // statement of whoever opened it.
    sqlite3_stmt* probe = nullptr;
    const int prepared = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &probe, nullptr);
    const int stepped = prepared == SQLITE_OK ? sqlite3_step(probe) : prepared;
    const bool held = (sqlite3_extended_errcode(m_db) & 0xff) == SQLITE_BUSY;
    m_wait.install(m_db);
    if (stepped != SQLITE_ROW && !held) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(probe);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw CDbException(QStringLiteral("Cannot open the database '%1': %2").arg(path, text));
    }
    sqlite3_finalize(probe);
    // SQLite opens a file it may not write read-only without a word, and the rows would then
    // fail one by one in the middle of an upload or import. Reading such a file is fine (the
    // reference database is only read); the first write transaction is refused instead.
    // Writing also needs the folder, where the journal is made (not asked on Windows, where a
    // folder's read-only attribute only marks it as customised).
    if (sqlite3_db_readonly(m_db, "main") == 1)
        m_readOnlyReason = QStringLiteral("the file is read-only");
#ifndef Q_OS_WIN
    else if (!QFileInfo(info.absolutePath()).isWritable())
        m_readOnlyReason = QStringLiteral("its folder is read-only");
#endif
}

SqliteConnection::~SqliteConnection()
{
    for (auto& entry : m_cache)
        sqlite3_finalize(entry.second);
    if (m_db) {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
}

void SqliteConnection::checkWait() const
{
    if (m_wait.exhausted())
        throw CDbException(QStringLiteral("The database %1 is in use by another program (database is locked)").arg(m_path),
                           CDbException::Cause::Busy);
}

void SqliteConnection::fail(const QString& context) const
{
    QString text = errorText(m_db);
    if (!context.isEmpty())
        text = context + QLatin1String(": ") + text;
    Throw(m_db, text);
}

sqlite3_stmt* SqliteConnection::prepare(const QString& sql) const
{
    const QByteArray bytes = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, bytes.constData(), int(bytes.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail();
    }
    return stmt;
}

sqlite3_stmt* SqliteConnection::cached(const QString& sql)
{
    auto it = m_cache.find(sql);
    if (it != m_cache.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* stmt = prepare(sql);
    m_cache.emplace(sql, stmt);
    return stmt;
}

void SqliteConnection::execute(const QString& sql)
{
    const QByteArray bytes = sql.toUtf8();
    char* error = nullptr;
    if (sqlite3_exec(m_db, bytes.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = errorText(m_db, error);
        sqlite3_free(error);
        Throw(m_db, text);
    }
}

std::unique_ptr<Cursor> SqliteConnection::select(const QString& table, const std::vector<ColumnSpec>& columns,
                                                 const QString& filter, const QString& sort, const QVariantList& bindings)
{
    QString sql = QStringLiteral("SELECT rowid, %1 FROM %2").arg(columnList(columns), table);
    if (!filter.trimmed().isEmpty())
        sql += QStringLiteral(" WHERE ") + filter;
    if (!sort.trimmed().isEmpty())
        sql += QStringLiteral(" ORDER BY ") + sort;
    else
        sql += QStringLiteral(" ORDER BY rowid"); // table order
    sqlite3_stmt* stmt = prepare(sql);
    if (sqlite3_bind_parameter_count(stmt) != int(bindings.size())) {
        sqlite3_finalize(stmt);
        throw CDbException(QStringLiteral("The condition %1 takes %2 values, not %3.")
                               .arg(filter)
                               .arg(sqlite3_bind_parameter_count(stmt))
                               .arg(bindings.size()));
    }
    for (qsizetype i = 0; i < bindings.size(); ++i)
        bindValue(stmt, int(i) + 1, bindings.at(i));
    return std::make_unique<SqliteCursor>(m_db, stmt, nullptr);
}

const QString& SqliteConnection::statementText(int kind, const QString& table, const std::vector<ColumnSpec>& columns)
{
    for (const StatementText& t : m_texts) {
        if (t.kind != kind || t.table != table || t.names.size() != qsizetype(columns.size()))
            continue;
        bool same = true;
        for (size_t i = 0; i < columns.size() && same; ++i)
            same = t.names.at(qsizetype(i)) == columns[i].name;
        if (same)
            return t.sql;
    }
    StatementText t{kind, table, {}, {}};
    for (const ColumnSpec& c : columns)
        t.names.append(c.name);
    if (kind == 0) {
        t.sql = QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ?").arg(columnList(columns), table);
    } else {
        QString sets;
        for (const ColumnSpec& c : columns) {
            if (!sets.isEmpty())
                sets += QLatin1String(", ");
            sets += c.name + QLatin1String(" = ?");
        }
        t.sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(table, sets);
    }
    m_texts.push_back(std::move(t));
    return m_texts.back().sql;
}

std::unique_ptr<Cursor> SqliteConnection::selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                                      const RowKey& key)
{
    const QString& sql = statementText(0, table, columns);
    // The cached statement serves one cursor at a time; a second reader gets its own.
    auto it = m_cache.find(sql);
    const bool busy = it != m_cache.end() && m_cursorsInUse.count(it->second);
    sqlite3_stmt* stmt = busy ? prepare(sql) : cached(sql);
    sqlite3_bind_int64(stmt, 1, key.rowid);
    if (busy)
        return std::make_unique<SqliteCursor>(m_db, stmt, nullptr);
    m_cursorsInUse.insert(stmt);
    return std::make_unique<SqliteCursor>(m_db, stmt, &m_cursorsInUse);
}

std::unique_ptr<Cursor> SqliteConnection::selectStretch(const QString& table, const std::vector<ColumnSpec>& columns,
                                                        const std::vector<const RowKey*>& keys)
{
    if (keys.empty())
        return Connection::selectStretch(table, columns, keys);
    // The rows between the first and the last rowid, in rowid order: one pass.
    return select(table, columns, QStringLiteral("rowid BETWEEN ? AND ?"), QString(),
                  {QVariant(keys.front()->rowid), QVariant(keys.back()->rowid)});
}

void SqliteConnection::update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                              const QVariantList& values)
{
    if (columns.empty())
        return;
    runUpdate(cached(statementText(1, table, columns)), table, key, values);
}

void SqliteConnection::runUpdate(sqlite3_stmt* stmt, const QString& table, const RowKey& key, const QVariantList& values)
{
    int index = 1;
    for (const QVariant& v : values)
        bindValue(stmt, index++, v);
    sqlite3_bind_int64(stmt, index, key.rowid);
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE)
        fail();
    checkWait();
    if (sqlite3_changes(m_db) != 1)
        throw CDbException(QStringLiteral("The record to update is no longer in %1.").arg(table));
}

// One statement, made once and kept in the connection's cache for its life.
class SqliteConnection::PreparedUpdate : public RowUpdate
{
public:
    PreparedUpdate(SqliteConnection& db, sqlite3_stmt* stmt, QString table)
        : m_db(db), m_stmt(stmt), m_table(std::move(table)) {}
    qint64 run(RowKey& key, const QVariantList& values) override
    {
        sqlite3_reset(m_stmt);
        m_db.runUpdate(m_stmt, m_table, key, values);
        return 1;
    }
    qint64 run(RowKey& key, const UpdateValue* values, int count) override
    {
        if (count > 16)
            return RowUpdate::run(key, values, count);
        sqlite3_reset(m_stmt);
        // ASCII texts are the same bytes in every encoding and are bound where they are; the
        // others go through the one encoding of the engine.
        QByteArray encoded[16];
        int index = 1;
        for (int i = 0; i < count; ++i, ++index) {
            const UpdateValue& v = values[i];
            if (!v.isText) {
                sqlite3_bind_int64(m_stmt, index, v.number);
            } else if (IsAscii(v.utf8.data(), v.utf8.size())) {
                sqlite3_bind_text(m_stmt, index, v.utf8.data(), int(v.utf8.size()), SQLITE_STATIC);
            } else {
                encoded[i] = EncodeText(QString::fromUtf8(v.utf8.data(), qsizetype(v.utf8.size())));
                sqlite3_bind_text(m_stmt, index, encoded[i].constData(), int(encoded[i].size()), SQLITE_STATIC);
            }
        }
        sqlite3_bind_int64(m_stmt, index, key.rowid);
        const int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (rc != SQLITE_DONE)
            m_db.fail();
        m_db.checkWait();
        if (sqlite3_changes(m_db.m_db) != 1)
            throw CDbException(QStringLiteral("The record to update is no longer in %1.").arg(m_table));
        return 1;
    }

private:
    SqliteConnection& m_db;
    sqlite3_stmt* m_stmt;
    QString m_table;
};

std::unique_ptr<RowUpdate> SqliteConnection::prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns)
{
    if (columns.empty())
        return Connection::prepareUpdate(table, columns);
    // Prepared now, so that a statement the engine refuses fails here; the cache keeps it.
    const QString& sql = statementText(1, table, columns);
    if (m_cache.find(sql) == m_cache.end())
        m_cache.emplace(sql, prepare(sql));
    return std::make_unique<PreparedUpdate>(*this, m_cache.find(sql)->second, table);
}

namespace {
QString ConditionalUpdateText(const QString& table, const std::vector<ColumnSpec>& columns,
                              const std::vector<ColumnSpec>& conditionColumns)
{
    QString sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ");
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0)
            sql += QLatin1String(", ");
        sql += columns[i].name + QLatin1String(" = ?");
    }
    sql += QLatin1String(" WHERE rowid = ?");
    for (const ColumnSpec& c : conditionColumns)
        sql += QLatin1String(" AND ") + c.name + QLatin1String(" IS ?");
    return sql;
}
} // namespace

// One conditional statement, made once and kept in the connection's cache for its life. A
// stretch of adjacent rows is written by one statement over their range of rowids.
class SqliteConnection::PreparedConditionalUpdate : public ConditionalUpdate
{
public:
    PreparedConditionalUpdate(SqliteConnection& db, sqlite3_stmt* stmt, sqlite3_stmt* rowids, sqlite3_stmt* range)
        : m_db(db), m_stmt(stmt), m_rowids(rowids), m_range(range)
    {
    }
    qint64 run(const RowKey& key, const QVariantList& values, const QVariantList& expected) override
    {
        sqlite3_reset(m_stmt);
        return m_db.runConditionalUpdate(m_stmt, key, values, expected);
    }

    std::vector<size_t> runAdjacent(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                    const QVariantList& expected) override
    {
        if (keys.size() < 2 || !holdsJustThese(keys))
            return ConditionalUpdate::runAdjacent(keys, values, expected);
        // Every row of the range is one of these: written at once where each still holds what
        // is expected. When one does not, the stretch is put back and written row by row, so
        // that the rows not written are known.
        m_db.execute(QStringLiteral("SAVEPOINT adjacent_rows"));
        try {
            sqlite3_reset(m_range);
            int index = 1;
            for (const QVariant& v : values)
                bindValue(m_range, index++, v);
            sqlite3_bind_int64(m_range, index++, keys.front()->rowid);
            sqlite3_bind_int64(m_range, index++, keys.back()->rowid);
            for (const QVariant& v : expected)
                bindValue(m_range, index++, v);
            const int rc = sqlite3_step(m_range);
            sqlite3_reset(m_range);
            if (rc != SQLITE_DONE)
                m_db.fail();
            m_db.checkWait();
            if (size_t(sqlite3_changes64(m_db.m_db)) == keys.size()) {
                m_db.execute(QStringLiteral("RELEASE adjacent_rows"));
                return {};
            }
            m_db.execute(QStringLiteral("ROLLBACK TO adjacent_rows"));
            m_db.execute(QStringLiteral("RELEASE adjacent_rows"));
        } catch (const CDbException&) {
            sqlite3_exec(m_db.m_db, "ROLLBACK TO adjacent_rows; RELEASE adjacent_rows", nullptr, nullptr, nullptr);
            throw;
        }
        return ConditionalUpdate::runAdjacent(keys, values, expected);
    }

private:
    // Whether the rows of the table from the first key's rowid to the last one's are exactly
    // those of keys (rows another program added between them since would not be).
    bool holdsJustThese(const std::vector<const RowKey*>& keys)
    {
        sqlite3_reset(m_rowids);
        sqlite3_bind_int64(m_rowids, 1, keys.front()->rowid);
        sqlite3_bind_int64(m_rowids, 2, keys.back()->rowid);
        size_t at = 0;
        int rc;
        while ((rc = sqlite3_step(m_rowids)) == SQLITE_ROW) {
            if (at == keys.size() || sqlite3_column_int64(m_rowids, 0) != keys[at]->rowid)
                break;
            ++at;
        }
        sqlite3_reset(m_rowids);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_db.fail();
        return rc == SQLITE_DONE && at == keys.size();
    }

    SqliteConnection& m_db;
    sqlite3_stmt* m_stmt;
    sqlite3_stmt* m_rowids;
    sqlite3_stmt* m_range;
};

std::unique_ptr<ConditionalUpdate> SqliteConnection::prepareUpdateIfUnchanged(const QString& table,
                                                                             const std::vector<ColumnSpec>& columns,
                                                                             const std::vector<ColumnSpec>& conditionColumns)
{
    if (columns.empty())
        return Connection::prepareUpdateIfUnchanged(table, columns, conditionColumns);
    QString range = ConditionalUpdateText(table, columns, conditionColumns);
    range.replace(QLatin1String(" WHERE rowid = ?"), QLatin1String(" WHERE rowid BETWEEN ? AND ?"));
    return std::make_unique<PreparedConditionalUpdate>(
        *this, cached(ConditionalUpdateText(table, columns, conditionColumns)),
        cached(QStringLiteral("SELECT rowid FROM ") + table + QStringLiteral(" WHERE rowid BETWEEN ? AND ? ORDER BY rowid")),
        cached(range));
}

bool SqliteConnection::updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                                         const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                                         const QVariantList& expected)
{
    if (columns.empty())
        return false;
    return runConditionalUpdate(cached(ConditionalUpdateText(table, columns, conditionColumns)), key, values, expected);
}

bool SqliteConnection::runConditionalUpdate(sqlite3_stmt* stmt, const RowKey& key, const QVariantList& values,
                                            const QVariantList& expected)
{
    int index = 1;
    for (const QVariant& v : values)
        bindValue(stmt, index++, v);
    sqlite3_bind_int64(stmt, index++, key.rowid);
    for (const QVariant& v : expected)
        bindValue(stmt, index++, v);
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE)
        fail();
    checkWait();
    return sqlite3_changes(m_db) == 1;
}

qint64 SqliteConnection::countRows(const QString& table)
{
    sqlite3_stmt* stmt = prepare(QStringLiteral("SELECT count(*) FROM ") + table);
    const int rc = sqlite3_step(stmt);
    const qint64 rows = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW)
        fail();
    return rows;
}

void SqliteConnection::beginTransaction()
{
    if (!m_readOnlyReason.isEmpty())
        throw CDbException(QStringLiteral("Cannot write to the database '%1': %2.").arg(m_path, m_readOnlyReason));
    // The transaction's steps share one wait for another program, from its start.
    m_wait.reset();
    execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void SqliteConnection::commit()
{
    checkWait();
    execute(QStringLiteral("COMMIT"));
    m_wait.reset();
}

void SqliteConnection::rollback()
{
    m_wait.reset();
    if (!sqlite3_get_autocommit(m_db))
        execute(QStringLiteral("ROLLBACK"));
}

bool SqliteConnection::inTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}
