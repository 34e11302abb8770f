#include "Connection.h"

#include "OdbcConnection.h"
#include "SqliteConnection.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>
#include <algorithm>
#include <cctype>
#include <map>

namespace {

enum class Engine { Sqlite, Access, Odbc, Unknown };

const QString kOdbcPrefix = QStringLiteral("odbc:");
const QString kAccessDriver = QStringLiteral("Microsoft Access Driver (*.mdb, *.accdb)");

Engine engineFor(const QString& path)
{
    if (path.startsWith(kOdbcPrefix, Qt::CaseInsensitive))
        return Engine::Odbc;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("sqlite") || suffix == QLatin1String("sqlite3") || suffix == QLatin1String("db"))
        return Engine::Sqlite;
    if (suffix == QLatin1String("mdb") || suffix == QLatin1String("accdb"))
        return Engine::Access;
    return Engine::Unknown;
}

// The value of one key of an ODBC connection string ("KEY=value;..."), without braces; empty
// when the string has no such key.
QString connectionValue(const QString& connectionString, const QString& key)
{
    const QRegularExpression re(QStringLiteral("(?:^|;)\\s*%1\\s*=\\s*(\\{[^}]*\\}|[^;]*)").arg(key),
                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(connectionString);
    if (!m.hasMatch())
        return QString();
    QString value = m.captured(1).trimmed();
    if (value.startsWith(QLatin1Char('{')) && value.endsWith(QLatin1Char('}')))
        value = value.mid(1, value.size() - 2);
    return value;
}

// The DRIVER= part of an ODBC connection string, without braces; empty when it names none.
QString driverName(const QString& connectionString)
{
    return connectionValue(connectionString, QStringLiteral("DRIVER"));
}

// The database file an ODBC connection string names, empty when it names none: DBQ= always
// names a file (Access and the other file drivers); DATABASE= does when it has a database
// file's suffix or is a path into a folder of this machine, otherwise it is a server's own
// name for a database ("lotw", "dbhost:/data/log.fdb").
QString databaseFileOf(const QString& connectionString)
{
    const QString dbq = connectionValue(connectionString, QStringLiteral("DBQ"));
    if (!dbq.isEmpty())
        return dbq;
    const QString database = connectionValue(connectionString, QStringLiteral("DATABASE"));
    if (database.isEmpty())
        return QString();
    const bool path = database.contains(QLatin1Char('/')) || database.contains(QLatin1Char('\\'));
    if (engineFor(database) != Engine::Unknown || (path && QFileInfo(database).absoluteDir().exists()))
        return database;
    return QString();
}

// A database file must be there before any engine sees its path: some drivers (the SQLite
// ODBC driver among them) would create an empty database in its place.
void requireDatabaseFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw CDbException(QStringLiteral("The database file '%1' does not exist.").arg(path));
    if (!info.isFile())
        throw CDbException(QStringLiteral("'%1' is not a database file.").arg(path));
}

// Whether the ODBC driver manager knows a driver of that name.
bool odbcDriverInstalled(const QString& name)
{
#ifdef Q_OS_WIN
    // The registry view of this program's own word size: a driver registered only for the
    // other one (a 32-bit driver seen from a 64-bit program) cannot be loaded here.
    QSettings drivers(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers"),
                      QSettings::NativeFormat);
    return drivers.contains(name);
#else
    // unixODBC keeps its drivers as sections of odbcinst.ini.
    QString folder = qEnvironmentVariable("ODBCSYSINI");
    if (folder.isEmpty())
        folder = QStringLiteral("/etc");
    QStringList files{folder + QStringLiteral("/odbcinst.ini"), QDir::homePath() + QStringLiteral("/.odbcinst.ini")};
    const QString odbcinst = qEnvironmentVariable("ODBCINSTINI");
    if (!odbcinst.isEmpty())
        files.prepend(odbcinst.startsWith(QLatin1Char('/')) ? odbcinst : folder + QLatin1Char('/') + odbcinst);
    for (const QString& file : files) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) {
            const QString line = QString::fromLatin1(f.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))
                && line.mid(1, line.size() - 2).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
#endif
}

std::shared_ptr<Connection> openEngine(const QString& path)
{
    switch (engineFor(path)) {
    case Engine::Sqlite:
        return std::make_shared<SqliteConnection>(path);
    case Engine::Access:
        requireDatabaseFile(path);
        return std::make_shared<OdbcConnection>(
            QStringLiteral("DRIVER={%1};DBQ=%2").arg(kAccessDriver, QDir::toNativeSeparators(path)), path);
    case Engine::Odbc: {
        const QString connectionString = path.mid(kOdbcPrefix.size());
        const QString file = databaseFileOf(connectionString);
        if (!file.isEmpty())
            requireDatabaseFile(file);
        return std::make_shared<OdbcConnection>(connectionString, path);
    }
    case Engine::Unknown:
        break;
    }
    if (path.isEmpty())
        throw CDbException(QStringLiteral("No database path is set."));
    throw CDbException(QStringLiteral("'%1' is not a database this program can open "
                                      "(.mdb, .accdb, .sqlite, .sqlite3, .db or odbc:connection string).")
                           .arg(path));
}

} // namespace

namespace {
// Runs Connection::update for each row.
class PlainRowUpdate : public RowUpdate
{
public:
    PlainRowUpdate(Connection& db, QString table, std::vector<ColumnSpec> columns)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)) {}
    qint64 run(RowKey& key, const QVariantList& values) override
    {
        m_db.update(m_table, key, m_columns, values);
        return 1;
    }

private:
    Connection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
};
// Runs Connection::updateIfUnchanged for each row.
class PlainConditionalUpdate : public ConditionalUpdate
{
public:
    PlainConditionalUpdate(Connection& db, QString table, std::vector<ColumnSpec> columns,
                           std::vector<ColumnSpec> conditions)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)), m_conditions(std::move(conditions)) {}
    qint64 run(const RowKey& key, const QVariantList& values, const QVariantList& expected) override
    {
        return m_db.updateIfUnchanged(m_table, key, m_columns, values, m_conditions, expected);
    }

private:
    Connection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
    std::vector<ColumnSpec> m_conditions;
};
} // namespace

std::vector<size_t> ConditionalUpdate::runAdjacent(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                                   const QVariantList& expected)
{
    std::vector<size_t> notWritten;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!run(*keys[i], values, expected))
            notWritten.push_back(i);
    }
    return notWritten;
}

std::vector<qint64> ConditionalUpdate::runEach(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                               const QVariantList& expected, const std::function<void()>& progress)
{
    std::vector<qint64> written(keys.size(), 0);
    for (size_t i = 0; i < keys.size(); ++i) {
        written[i] = run(*keys[i], values, expected);
        if (progress && (i & 0xFFF) == 0xFFF)
            progress();
    }
    return written;
}

std::vector<qint64> ConditionalUpdate::runEachExpecting(const std::vector<const RowKey*>& keys,
                                                        const QVariantList& values,
                                                        const std::vector<QVariantList>& expected,
                                                        const std::function<void()>& progress)
{
    std::vector<qint64> written(keys.size(), 0);
    for (size_t i = 0; i < keys.size(); ++i) {
        written[i] = run(*keys[i], values, expected[i]);
        if (progress && (i & 0xFFF) == 0xFFF)
            progress();
    }
    return written;
}

std::vector<qint64> ConditionalUpdate::runEachOwn(const std::vector<const RowKey*>& keys,
                                                  const std::vector<QVariantList>& values,
                                                  const std::vector<QVariantList>& expected,
                                                  const std::function<void()>& progress)
{
    std::vector<qint64> written(keys.size(), 0);
    for (size_t i = 0; i < keys.size(); ++i) {
        written[i] = run(*keys[i], values[i], expected[i]);
        if (progress && (i & 0xFFF) == 0xFFF)
            progress();
    }
    return written;
}

ConditionalUpdate& ConditionalUpdates::of(const std::vector<ColumnSpec>& columns,
                                          const std::vector<ColumnSpec>& conditions)
{
    QString names;
    for (const ColumnSpec& c : columns)
        names += c.name;
    names += QLatin1Char('|');
    for (const ColumnSpec& c : conditions)
        names += c.name;
    std::unique_ptr<ConditionalUpdate>& update = m_updates[names];
    if (!update)
        update = m_db.prepareUpdateIfUnchanged(m_table, columns, conditions);
    return *update;
}

namespace {
bool sameSpecs(const std::vector<ColumnSpec>* a, const std::vector<ColumnSpec>* b)
{
    if (a == b)
        return true;
    return a->size() == b->size()
           && std::equal(a->begin(), a->end(), b->begin(), [](const ColumnSpec& x, const ColumnSpec& y) {
                  return x.name == y.name;
              });
}
} // namespace

std::vector<qint64> Connection::updateEachIfUnchanged(ConditionalUpdates& updates, const std::vector<RowChange>& rows,
                                                      const std::function<void()>& progress)
{
    std::vector<qint64> written;
    written.reserve(rows.size());
    std::vector<const RowKey*> keys;
    std::vector<QVariantList> values, expected;
    for (size_t i = 0; i < rows.size();) {
        const RowChange& first = rows[i];
        size_t j = i + 1;
        while (j < rows.size() && sameSpecs(rows[j].columns, first.columns)
               && sameSpecs(rows[j].conditions, first.conditions))
            ++j;
        keys.clear();
        values.clear();
        expected.clear();
        for (size_t k = i; k < j; ++k) {
            keys.push_back(rows[k].key);
            values.push_back(*rows[k].values);
            expected.push_back(*rows[k].expected);
        }
        const std::vector<qint64> run =
            updates.of(*first.columns, *first.conditions).runEachOwn(keys, values, expected, progress);
        written.insert(written.end(), run.begin(), run.end());
        i = j;
    }
    return written;
}

std::unique_ptr<ConditionalUpdate> Connection::prepareUpdateIfUnchanged(const QString& table,
                                                                       const std::vector<ColumnSpec>& columns,
                                                                       const std::vector<ColumnSpec>& conditionColumns)
{
    return std::make_unique<PlainConditionalUpdate>(*this, table, columns, conditionColumns);
}

qint64 RowUpdate::run(RowKey& key, const UpdateValue* values, int count)
{
    QVariantList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (values[i].isText)
            list.append(QString::fromUtf8(values[i].utf8.data(), qsizetype(values[i].utf8.size())));
        else
            list.append(QVariant(values[i].number));
    }
    return run(key, list);
}

std::unique_ptr<RowUpdate> Connection::prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns)
{
    return std::make_unique<PlainRowUpdate>(*this, table, columns);
}

std::shared_ptr<Connection> Connection::open(const QString& path)
{
    // The engines' connections are opened for one thread at a time (SQLite's without its own
    // mutex): each thread has its own.
    thread_local std::map<QString, std::weak_ptr<Connection>> open;
    auto it = open.find(path);
    if (it != open.end()) {
        if (auto existing = it->second.lock())
            return existing;
    }
    std::shared_ptr<Connection> db = openEngine(path);
    open[path] = db;
    return db;
}

bool IsIntegerValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
        return true;
    default:
        return false;
    }
}

std::function<void()> WaitNotice(EventMonitor& monitor, bool uploadSide, const QString& logPath)
{
    return [&monitor, uploadSide, logPath] {
        if (uploadSide)
            monitor.AddUploadEvent(WaitNoticeText(logPath));
        else
            monitor.AddDownloadEvent(WaitNoticeText(logPath));
        monitor.FlushLines();
    };
}

QString WaitNoticeText(const QString& logPath)
{
    return QStringLiteral("The log %1 is in use by another program, waiting for it (up to %2 seconds)...")
        .arg(QDir::toNativeSeparators(logPath))
        .arg(Connection::kBusyWaitMs / 1000);
}

bool CheckLogVersion(Connection& db)
{
    try {
        std::unique_ptr<Cursor> cursor = db.select(QStringLiteral("[VERSION]"), {}, QString(), QString());
        if (!cursor->next())
            return false;
        // Read as a C library integer conversion does: leading blanks, an optional sign,
        // then the leading decimal digits; no digits gives 0.
        const QByteArray text = cursor->value(0).toString().toLatin1();
        qsizetype i = 0;
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text.at(i))))
            ++i;
        bool negative = false;
        if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-'))
            negative = text.at(i++) == '-';
        qlonglong number = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text.at(i))) && number < 1000000)
            number = number * 10 + (text.at(i++) - '0');
        return !negative && number == 6;
    } catch (const CDbException& e) {
        if (e.busy())
            throw;
        return false;
    }
}

QString CheckEngineAvailable(const QString& logPath)
{
    const Engine engine = engineFor(logPath);
    if (engine == Engine::Sqlite || engine == Engine::Unknown)
        return QString();
#ifndef Q_OS_WIN
    // The Access driver exists on Windows only; the drivers for .mdb files found elsewhere
    // can neither run the statements used here nor write a row.
    if (engine == Engine::Access)
        return QStringLiteral("No Access ODBC driver is installed: the ODBC driver \"%1\" that DXbase .mdb and "
                              ".accdb logs need exists on Windows only. Program will exit now.")
            .arg(kAccessDriver);
#endif
    QString driver;
    if (engine == Engine::Access) {
        driver = kAccessDriver;
    } else {
        driver = driverName(logPath.mid(kOdbcPrefix.size()));
        if (driver.isEmpty())
            return QString(); // a data source name: the driver manager resolves it when opening
    }
    if (!odbcDriverInstalled(driver)) {
#ifdef Q_OS_WIN
        return QStringLiteral("The ODBC driver \"%1\" is not installed for %2-bit programs. Program will exit now.")
            .arg(driver)
            .arg(int(QSysInfo::WordSize));
#else
        return QStringLiteral("The ODBC driver \"%1\" is not installed. Program will exit now.").arg(driver);
#endif
    }
    return QString();
}

namespace {

// The rows of a stretch, each read again by its key.
class KeyByKeyCursor : public Cursor
{
public:
    KeyByKeyCursor(Connection& db, const QString& table, const std::vector<ColumnSpec>& columns,
                   const std::vector<const RowKey*>& keys)
        : m_db(db), m_table(table), m_columns(columns), m_keys(keys)
    {
    }

    bool next() override
    {
        while (m_at < m_keys.size()) {
            // The previous row's cursor goes first: it holds the statement the next one reuses.
            m_row.reset();
            m_row = m_db.selectByKey(m_table, m_columns, *m_keys[m_at++]);
            if (m_row->next())
                return true;
        }
        m_row.reset();
        return false;
    }
    QVariant value(int column) const override { return m_row->value(column); }
    QString text(int column) const override { return m_row->text(column); }
    bool asciiText(int column, std::string_view& bytes) const override { return m_row->asciiText(column, bytes); }
    qint64 integer(int column) const override { return m_row->integer(column); }
    bool isNull(int column) const override { return m_row->isNull(column); }
    RowKey key() const override { return m_row->key(); }

private:
    Connection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
    std::vector<const RowKey*> m_keys;
    size_t m_at = 0;
    std::unique_ptr<Cursor> m_row;
};

} // namespace

std::unique_ptr<Cursor> Connection::selectStretch(const QString& table, const std::vector<ColumnSpec>& columns,
                                                  const std::vector<const RowKey*>& keys)
{
    return std::make_unique<KeyByKeyCursor>(*this, table, columns, keys);
}

bool SameRow(const RowKey& a, const RowKey& b)
{
    if (a.rowid >= 0 || b.rowid >= 0)
        return a.rowid == b.rowid;
    return a.names == b.names && a.values == b.values;
}

QString TwinCredits::text(const RowKey& key)
{
    QString text;
    for (qsizetype i = 0; i < key.values.size(); ++i) {
        const QVariant& v = key.values.at(i);
        text += v.isNull() ? QStringLiteral("\x01") : v.toString();
        text += QChar(0x1f);
    }
    return text;
}

void TwinCredits::written(const RowKey& key, qint64 rows)
{
    if (rows <= 1 || key.names.isEmpty())
        return;
    m_left[text(key)] += rows - 1;
    m_together += rows - 1;
}

bool TwinCredits::take(const RowKey& key)
{
    if (m_left.empty() || key.names.isEmpty())
        return false;
    auto it = m_left.find(text(key));
    if (it == m_left.end())
        return false;
    if (--it->second == 0)
        m_left.erase(it);
    return true;
}
