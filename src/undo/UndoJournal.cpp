#include "UndoJournal.h"

#include "platform/Errors.h"

#include <QBuffer>
#include <cstdio>
#include <cstring>
#include <map>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <set>
#include <sqlite3.h>

namespace {

const QString kTable = QStringLiteral("[QSO-TAB]");
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
    }
    return QString();
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
void putVarint(QByteArray& out, quint64 n)
{
    while (n >= 0x80) {
        out.append(char(0x80 | (n & 0x7f)));
        n >>= 7;
    }
    out.append(char(n));
}

bool getVarint(QByteArrayView bytes, qsizetype& pos, quint64& n)
{
    n = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (pos >= bytes.size())
            return false;
        const auto byte = static_cast<unsigned char>(bytes.at(pos++));
        n |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}
} // namespace

// Each value is a tag, then for a text its length and its UTF-8 bytes, for an integer its
// value zigzagged; lengths and integers take seven bits a byte.
void UndoValues::text(QByteArrayView utf8)
{
    m_bytes.append('T');
    putVarint(m_bytes, quint64(utf8.size()));
    m_bytes.append(utf8.data(), utf8.size());
}

void UndoValues::integer(qint64 value)
{
    m_bytes.append('I');
    putVarint(m_bytes, (quint64(value) << 1) ^ quint64(value >> 63));
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

QString UndoJournal::fingerprint(Connection& log)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const std::vector<ColumnSpec> columns = {{QStringLiteral("[QSO-CALL]"), ColumnType::Text},
                                             {QStringLiteral("[QSO-DATE]"), ColumnType::Text},
                                             {QStringLiteral("[QSO-TIME]"), ColumnType::Text}};
    std::unique_ptr<Cursor> cursor = log.select(kTable, columns, QString(), QString());
    for (int i = 0; i < 1000 && cursor->next(); ++i) {
        for (int c = 0; c < 3; ++c) {
            hash.addData(cursor->text(c).toUtf8());
            hash.addData(QByteArrayView("\x1f", 1));
        }
    }
    return QString::fromLatin1(hash.result().toHex());
}

std::unique_ptr<UndoJournal> UndoJournal::begin(const QString& dataFolder, const QString& kind, const QString& logPath,
                                                Connection& log, const std::vector<ColumnSpec>& columns)
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
    // A journal that could not be made whole (the log could not be read for its fingerprint,
    // the disk is full) leaves no file that would pass for a kept run.
    try {
        journal->make(logPath, log, columns, kind);
    } catch (...) {
        journal->discard();
        throw;
    }
    return journal;
}

void UndoJournal::make(const QString& logPath, Connection& log, const std::vector<ColumnSpec>& columns,
                       const QString& kind)
{
    UndoJournal* journal = this;
    journal->m_columns = int(columns.size());
    for (const ColumnSpec& c : columns)
        journal->m_names.append(c.name);
    if (sqlite3_open_v2(m_path.toUtf8().constData(), &journal->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        journal->fail(QStringLiteral("open"));
    QString names;
    QString types;
    for (size_t i = 0; i < columns.size(); ++i) {
        names += (i ? QStringLiteral("\n") : QString()) + columns[i].name;
        types += QString::number(int(columns[i].type));
    }
    // The rows go in without the engine's own journal and syncs: the file is new, and it is
    // synced whole when it is sealed, before the log commits.
    journal->exec("PRAGMA journal_mode=OFF");
    journal->exec("CREATE TABLE meta (name TEXT PRIMARY KEY, value TEXT)");
    journal->exec("CREATE TABLE rows (rid INTEGER, k BLOB, b BLOB, a BLOB)");
    const QString fingerprint = UndoJournal::fingerprint(log);
    const std::pair<const char*, QString> meta[] = {
        {"kind", kind},
        {"created", QDateTime::currentDateTime().toString(Qt::ISODate)},
        {"log", logPath},
        {"fingerprint", fingerprint},
        {"columns", names},
        {"types", types},
        {"state", stateName(State::Written)},
        {"rows", QStringLiteral("0")},
    };
    for (const auto& [name, value] : meta) {
        if (!setMeta(journal->m_db, name, value))
            journal->fail(QStringLiteral("write"));
    }
    // Synced whole when it is sealed, before the log commits (the setting takes effect at the
    // commit, and may only be set outside a transaction).
    journal->exec("PRAGMA synchronous=FULL");
    journal->exec("BEGIN");
    journal->m_open = true;
    if (sqlite3_prepare_v2(journal->m_db, "INSERT INTO rows VALUES (?, ?, ?, ?)", -1, &journal->m_insert, nullptr)
        != SQLITE_OK)
        journal->fail(QStringLiteral("write"));
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

void UndoJournal::add(const RowKey& key, const QVariantList& before, const QVariantList& after)
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
    for (int i = 0; i < m_columns; ++i) {
        m_before.value(before.value(i));
        m_after.value(after.value(i));
    }
    addEncoded(written, m_before.bytes(), m_after.bytes());
}

void UndoJournal::addEncoded(const RowKey& key, QByteArrayView before, QByteArrayView after)
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
}

void UndoJournal::finish(const std::vector<size_t>& notWritten)
{
    if (!m_db)
        return;
    // The log holds the run's changes already: a failure here leaves the journal as sealed,
    // which an undo reads the same way.
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
        if (!openFile(file, entry.path, SQLITE_OPEN_READONLY)) {
            entry.problem = QStringLiteral("it cannot be opened: ") + file.error();
        } else {
            entry.kind = metaValue(file.db, "kind");
            entry.time = QDateTime::fromString(metaValue(file.db, "created"), Qt::ISODate);
            entry.logPath = metaValue(file.db, "log");
            entry.fingerprint = metaValue(file.db, "fingerprint");
            entry.rows = metaValue(file.db, "rows").toLongLong();
            const QString state = metaValue(file.db, "state");
            entry.state = state == QLatin1String("done")     ? UndoJournal::State::Done
                          : state == QLatin1String("undone") ? UndoJournal::State::Undone
                                                             : UndoJournal::State::Written;
            if (entry.kind.isEmpty() || entry.logPath.isEmpty() || !entry.time.isValid() || state.isEmpty())
                entry.problem = QStringLiteral("it is damaged");
            const QString verified = metaValue(file.db, "verified");
            if (!verified.isEmpty())
                entry.verified = QDateTime::fromString(verified, Qt::ISODate);
        }
        entries.push_back(entry);
    }
    return entries;
}

UndoResult UndoRunAt(const UndoEntry& entry, const QString& logPath, const std::function<void()>& progress)
{
    const QString name = QFileInfo(entry.path).fileName();
    if (!entry.problem.isEmpty())
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: %2.").arg(name, entry.problem));
    if (entry.state == UndoJournal::State::Undone)
        throw CDbException(QStringLiteral("The %1 of %2 was undone already.").arg(entry.kind, entry.time.toString(Qt::ISODate)));
    if (entry.logPath != logPath)
        throw CDbException(QStringLiteral("The %1 of %2 was made on the log %3, not on %4: nothing was changed.")
                               .arg(entry.kind, entry.time.toString(Qt::ISODate), entry.logPath, logPath));

    Opened file;
    if (!openFile(file, entry.path, SQLITE_OPEN_READWRITE))
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: it cannot be opened (%2).").arg(name, file.error()));
    const QStringList names = metaValue(file.db, "columns").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString types = metaValue(file.db, "types");
    if (names.isEmpty() || names.size() != types.size())
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: it is damaged.").arg(name));
    std::vector<ColumnSpec> columns;
    for (qsizetype i = 0; i < names.size(); ++i)
        columns.push_back({names.at(i), ColumnType(types.at(i).digitValue())});

    std::shared_ptr<Connection> log = Connection::open(logPath);
    if (UndoJournal::fingerprint(*log) != entry.fingerprint)
        throw CDbException(QStringLiteral("The log %1 is not the one the %2 of %3 changed (it was replaced since): "
                                          "nothing was changed.")
                               .arg(logPath, entry.kind, entry.time.toString(Qt::ISODate)));

    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(file.db, "SELECT * FROM rows", -1, &rows, nullptr) != SQLITE_OK)
        throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: it is damaged (%2).").arg(name, file.error()));
    UndoResult result;
    result.locatorNote = log->rowLocatorNote(kTable);
    std::vector<RowKey> leftAlone;
    // One statement for each set of columns the rows put back, made once.
    std::map<QStringList, std::unique_ptr<ConditionalUpdate>> updates;
    // Rows known by their values may have twins: a run that changed both (they were written
    // together) is put back for both by one statement.
    TwinCredits twins;
    // Rows one after another that put back the same values in the same columns are handed to
    // the engine together, which writes as many of them at once as it can.
    constexpr size_t kBatch = 65536;
    struct Batch
    {
        std::vector<ColumnSpec> changed;
        QStringList names;
        QVariantList restore;
        QVariantList expected;
        std::vector<RowKey> keys;
    } batch;
    qint64 handled = 0;
    const auto counted = [&](const RowKey& key, qint64 written) {
        twins.written(key, written);
        if (written > 0 || twins.take(key))
            ++result.restored;
        else
            leftAlone.push_back(key);
        if (progress && (++handled & 0xFFF) == 0)
            progress();
    };
    const auto flush = [&] {
        if (batch.keys.empty())
            return;
        std::unique_ptr<ConditionalUpdate>& update = updates[batch.names];
        if (!update)
            update = log->prepareUpdateIfUnchanged(kTable, batch.changed, batch.changed);
        std::vector<const RowKey*> keys;
        keys.reserve(batch.keys.size());
        for (const RowKey& key : batch.keys)
            keys.push_back(&key);
        const std::vector<qint64> written = update->runEach(keys, batch.restore, batch.expected, progress);
        for (size_t i = 0; i < keys.size(); ++i)
            counted(batch.keys[i], written[i]);
        batch.keys.clear();
    };
    log->beginTransaction();
    try {
        QVariantList before;
        QVariantList after;
        std::vector<bool> presentBefore;
        std::vector<bool> presentAfter;
        std::vector<ColumnSpec> changed;
        QStringList names;
        QVariantList restore;
        QVariantList expected;
        int rc;
        while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
            const QByteArrayView b(static_cast<const char*>(sqlite3_column_blob(rows, 2)), sqlite3_column_bytes(rows, 2));
            const QByteArrayView a(static_cast<const char*>(sqlite3_column_blob(rows, 3)), sqlite3_column_bytes(rows, 3));
            if (!UndoValues::decode(b, columns, before, presentBefore)
                || !UndoValues::decode(a, columns, after, presentAfter) || presentBefore != presentAfter)
                throw CDbException(QStringLiteral("The run kept in %1 cannot be undone: it is damaged.").arg(name));
            // Only what the run changed in the row is put back, and only where the row still
            // holds what the run wrote there.
            changed.clear();
            names.clear();
            restore.clear();
            expected.clear();
            for (size_t i = 0; i < columns.size(); ++i) {
                if (!presentBefore[i] || before.at(qsizetype(i)) == after.at(qsizetype(i)))
                    continue;
                changed.push_back(columns[i]);
                names.append(columns[i].name);
                restore.append(before.at(qsizetype(i)));
                expected.append(after.at(qsizetype(i)));
            }
            RowKey key = keyFrom(rows, 0, 1);
            if (changed.empty()) {
                flush();
                counted(key, 1);
                continue;
            }
            if (!batch.keys.empty()
                && (batch.keys.size() == kBatch || batch.names != names || batch.restore != restore
                    || batch.expected != expected))
                flush();
            if (batch.keys.empty()) {
                batch.changed = changed;
                batch.names = names;
                batch.restore = restore;
                batch.expected = expected;
            }
            batch.keys.push_back(std::move(key));
        }
        if (rc != SQLITE_DONE)
            throw CDbException(QStringLiteral("The run kept in %1 could not be read to its end (%2).").arg(name, file.error()));
        flush();
        updates.clear();
        log->commit();
        result.twins = twins.together();
    } catch (...) {
        updates.clear();
        sqlite3_finalize(rows);
        try {
            log->rollback();
        } catch (const CDbException&) {
        }
        throw;
    }
    sqlite3_finalize(rows);
    setMeta(file.db, "state", stateName(UndoJournal::State::Undone));

    result.leftAlone = qint64(leftAlone.size());
    const std::vector<ColumnSpec> shown = {{QStringLiteral("[QSO-CALL]"), ColumnType::Text},
                                           {QStringLiteral("[QSO-DATE]"), ColumnType::Text},
                                           {QStringLiteral("[QSO-TIME]"), ColumnType::Text}};
    for (size_t i = 0; i < leftAlone.size() && i < 100; ++i) {
        std::unique_ptr<Cursor> row = log->selectByKey(kTable, shown, leftAlone[i]);
        if (row->next()) {
            result.leftAloneLines.append(row->text(0) + QLatin1Char(' ') + row->text(1) + QLatin1Char(' ') + row->text(2));
            continue;
        }
        // A row known by its values that another program changed is not found by them any
        // more: it is named by the values the run left in it.
        const RowKey& key = leftAlone[i];
        QStringList parts;
        for (const ColumnSpec& c : shown)
            parts.append(key.values.value(key.names.indexOf(c.name)).toString());
        result.leftAloneLines.append(parts.join(QLatin1Char(' ')));
    }
    return result;
}

bool ReadUndoRows(const UndoEntry& entry, std::vector<ColumnSpec>& columns,
                  const std::function<void(const RowKey&, const QVariantList&, const QVariantList&)>& row,
                  QString& problem)
{
    const QString name = QFileInfo(entry.path).fileName();
    Opened file;
    if (!openFile(file, entry.path, SQLITE_OPEN_READONLY)) {
        problem = QStringLiteral("%1 cannot be opened: %2").arg(name, file.error());
        return false;
    }
    const QStringList names = metaValue(file.db, "columns").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString types = metaValue(file.db, "types");
    if (names.isEmpty() || names.size() != types.size()) {
        problem = QStringLiteral("%1 is damaged").arg(name);
        return false;
    }
    columns.clear();
    for (qsizetype i = 0; i < names.size(); ++i)
        columns.push_back({names.at(i), ColumnType(types.at(i).digitValue())});
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(file.db, "SELECT * FROM rows ORDER BY rowid", -1, &rows, nullptr) != SQLITE_OK) {
        problem = QStringLiteral("%1 is damaged (%2)").arg(name, file.error());
        return false;
    }
    QVariantList before;
    QVariantList after;
    std::vector<bool> presentBefore;
    std::vector<bool> presentAfter;
    int rc;
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
        const QByteArrayView b(static_cast<const char*>(sqlite3_column_blob(rows, 2)), sqlite3_column_bytes(rows, 2));
        const QByteArrayView a(static_cast<const char*>(sqlite3_column_blob(rows, 3)), sqlite3_column_bytes(rows, 3));
        if (!UndoValues::decode(b, columns, before, presentBefore) || !UndoValues::decode(a, columns, after, presentAfter)) {
            sqlite3_finalize(rows);
            problem = QStringLiteral("%1 is damaged").arg(name);
            return false;
        }
        row(keyFrom(rows, 0, 1), before, after);
    }
    sqlite3_finalize(rows);
    if (rc != SQLITE_DONE) {
        problem = QStringLiteral("%1 could not be read to its end (%2)").arg(name, file.error());
        return false;
    }
    return true;
}

bool SetUndoRunVerified(const UndoEntry& entry, const QDateTime& when)
{
    Opened file;
    return openFile(file, entry.path, SQLITE_OPEN_READWRITE) && setMeta(file.db, "verified", when.toString(Qt::ISODate));
}
