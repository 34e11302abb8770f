#include "OdbcConnection.h"

#include "platform/Errors.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>
#ifndef Q_OS_WIN
#include <langinfo.h>
#endif

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide characters are UTF-16");

namespace {

std::atomic<int> g_bestLocator{int(OdbcConnection::Locator::PrimaryKey)};

// The driver's text of a statement or name.
const SQLWCHAR* wide(const QString& text)
{
    return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

QString fromWide(const SQLWCHAR* text, qsizetype chars)
{
    return QString(reinterpret_cast<const QChar*>(text), chars);
}

QString bareName(const QString& name)
{
    QString bare = name;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    return bare;
}

QString bracketed(const QString& name)
{
    return name.startsWith(QLatin1Char('[')) ? name : QLatin1Char('[') + name + QLatin1Char(']');
}

// The driver's diagnostics of a handle, every record's text, and the first native error.
struct Diagnostics
{
    QString text;
    QString state;
    SQLINTEGER native = 0;
};

Diagnostics diagnose(SQLSMALLINT type, SQLHANDLE handle)
{
    Diagnostics d;
    for (SQLSMALLINT record = 1; record < 10; ++record) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[1024];
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message,
                                            SQLSMALLINT(std::size(message)), &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (record == 1) {
            d.state = fromWide(state, 5);
            d.native = native;
        }
        if (!d.text.isEmpty())
            d.text += QLatin1Char(' ');
        d.text += fromWide(message, std::min<qsizetype>(length, qsizetype(std::size(message)) - 1));
    }
    if (d.text.isEmpty())
        d.text = QStringLiteral("The ODBC driver reported a failure without a text.");
    return d;
}

// The engine's failure as an exception. A database another program holds is told apart by the
// driver's native error: SQLite's busy and locked codes (the SQLite ODBC driver passes them
// on) and the lock errors of the Access database engine.
CDbException failure(SQLSMALLINT type, SQLHANDLE handle)
{
    static const SQLINTEGER busyCodes[] = {5, 6, 3006, 3008, 3045, 3050, 3188, 3197, 3202, 3211, 3218, 3260, 3261};
    const Diagnostics d = diagnose(type, handle);
    const SQLINTEGER code = d.native < 0 ? -d.native : d.native;
    const bool busy = std::find(std::begin(busyCodes), std::end(busyCodes), code) != std::end(busyCodes);
    return CDbException(d.text, busy ? CDbException::Cause::Busy : CDbException::Cause::Other);
}

// Drivers turn the wide text of statements into their own bytes with the C library's
// character type: in the "C" locale (a machine without LANG) text outside ASCII is lost on
// the way in, and a filter value such as a Cyrillic call finds nothing. A UTF-8 character
// type is set for the process when it has none.
void ensureUtf8CharacterType()
{
#ifndef Q_OS_WIN
    static std::once_flag once;
    std::call_once(once, [] {
        const char* codeset = nl_langinfo(CODESET);
        if (codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0))
            return;
        if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
            std::setlocale(LC_CTYPE, "en_US.UTF-8");
    });
#endif
}

QString columnList(const std::vector<ColumnSpec>& columns)
{
    QString list;
    for (const ColumnSpec& c : columns) {
        if (!list.isEmpty())
            list += QLatin1String(", ");
        list += c.name;
    }
    return list;
}

// What a query of columns selects: the key columns first (keyCount of them), then the
// columns asked for; a row known by its values is known by all of them, so the columns not
// asked for are read after the others, for its key alone.
QString selectList(const QStringList& keyNames, const QStringList& allColumns, const std::vector<ColumnSpec>& columns,
                   int& keyCount)
{
    keyCount = 0;
    QString list = columns.empty() ? QStringLiteral("*") : columnList(columns);
    if (!keyNames.isEmpty()) {
        keyCount = int(keyNames.size());
        return keyNames.join(QLatin1String(", ")) + QLatin1String(", ") + list;
    }
    if (columns.empty())
        return list;
    for (const QString& column : allColumns) {
        const bool asked = std::any_of(columns.begin(), columns.end(), [&](const ColumnSpec& c) {
            return c.name.compare(column, Qt::CaseInsensitive) == 0;
        });
        if (!asked)
            list += QLatin1String(", ") + column;
    }
    return list;
}

bool isIntegerType(SQLSMALLINT type)
{
    return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT || type == SQL_BIT
           || type == SQL_BIGINT;
}

bool isFloatType(SQLSMALLINT type)
{
    return type == SQL_REAL || type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_NUMERIC
           || type == SQL_DECIMAL;
}

// Columns declared this wide or less are read into buffers of their width; wider ones, and
// those whose driver declares no real width (the SQLite ODBC driver gives 65536 for TEXT),
// are read piece by piece into a buffer that grows with the longest value met.
constexpr SQLULEN kBoundWidth = 1024;

} // namespace

// One ODBC statement handle.
class OdbcConnection::Statement
{
public:
    Statement(OdbcConnection& db, SQLHDBC dbc) : m_db(db)
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_handle)))
            throw failure(SQL_HANDLE_DBC, dbc);
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, m_handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT handle() const { return m_handle; }
    [[noreturn]] void fail() const { throw failure(SQL_HANDLE_STMT, m_handle); }
    void check(SQLRETURN rc) const
    {
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            fail();
    }

    void prepare(const QString& sql)
    {
        ++m_db.m_statistics.prepared;
        check(SQLPrepareW(m_handle, const_cast<SQLWCHAR*>(wide(sql)), SQLINTEGER(sql.size())));
        m_text = sql;
        m_prepared = true;
    }
    bool prepared() const { return m_prepared; }

    // Binds the values in order, from parameter 1 on; they must stay where they are until
    // the statement has run.
    void bind(const QVariantList& values)
    {
        m_params.resize(size_t(values.size()));
        for (qsizetype i = 0; i < values.size(); ++i)
            bindValue(SQLUSMALLINT(i + 1), values.at(i), m_params[size_t(i)]);
    }
    void bindText(SQLUSMALLINT number, const char16_t* text, qsizetype chars, SQLLEN& indicator)
    {
        static const char16_t empty[1] = {0};
        indicator = SQLLEN(chars * qsizetype(sizeof(SQLWCHAR)));
        check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                               SQLULEN(std::max<qsizetype>(chars, 1)), 0,
                               const_cast<char16_t*>(chars ? text : empty), indicator, &indicator));
    }

    void execute()
    {
        ++m_db.m_statistics.executed;
        m_db.m_lastStatement = m_text;
        SQLFreeStmt(m_handle, SQL_CLOSE);
        const SQLRETURN rc = SQLExecute(m_handle);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            fail();
    }
    void executeDirect(const QString& sql)
    {
        ++m_db.m_statistics.executed;
        m_db.m_lastStatement = sql;
        m_text = sql;
        const SQLRETURN rc = SQLExecDirectW(m_handle, const_cast<SQLWCHAR*>(wide(sql)), SQLINTEGER(sql.size()));
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
            fail();
    }
    // The rows the last statement changed; -1 when the driver can't tell.
    qint64 rowsAffected() const
    {
        SQLLEN rows = -1;
        if (!SQL_SUCCEEDED(SQLRowCount(m_handle, &rows)))
            return -1;
        return qint64(rows);
    }
    void close()
    {
        SQLFreeStmt(m_handle, SQL_CLOSE);
        SQLFreeStmt(m_handle, SQL_UNBIND);
    }

    OdbcConnection& connection() { return m_db; }
    // Whether a cursor reads the rows of this kept statement now.
    bool inUse() const { return m_inUse; }
    void setInUse(bool inUse) { m_inUse = inUse; }

private:
    struct Param
    {
        SQLLEN indicator = 0;
        qint64 bigint = 0;
        SQLINTEGER integer = 0;
        double real = 0;
        QString text;
    };
    void bindValue(SQLUSMALLINT number, const QVariant& value, Param& p)
    {
        if (value.isNull()) {
            p.indicator = SQL_NULL_DATA;
            const bool number_ = IsIntegerValue(value) || value.typeId() == QMetaType::Double;
            check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, number_ ? SQL_C_SLONG : SQL_C_WCHAR,
                                   number_ ? SQL_INTEGER : SQL_WVARCHAR, number_ ? 0 : 1, 0, nullptr, 0, &p.indicator));
        } else if (IsIntegerValue(value)) {
            const qint64 v = value.toLongLong();
            p.indicator = 0;
            // Access knows no 64-bit integers: a value that fits goes as a 32-bit one.
            if (v >= INT32_MIN && v <= INT32_MAX) {
                p.integer = SQLINTEGER(v);
                check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &p.integer,
                                       0, &p.indicator));
            } else {
                p.bigint = v;
                check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.bigint,
                                       0, &p.indicator));
            }
        } else if (value.typeId() == QMetaType::Double) {
            p.real = value.toDouble();
            p.indicator = 0;
            check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.real, 0,
                                   &p.indicator));
        } else {
            p.text = value.toString();
            // Drivers take a text as far as its first NUL character: such a text is refused
            // rather than cut short without a word.
            if (p.text.contains(QChar(0)))
                throw CDbException(QStringLiteral("The value \"%1\" holds a NUL character, which the ODBC driver "
                                                  "cannot pass")
                                       .arg(QString(p.text).replace(QChar(0), QStringLiteral("\\0"))));
            bindText(number, reinterpret_cast<const char16_t*>(p.text.utf16()), p.text.size(), p.indicator);
        }
    }

    OdbcConnection& m_db;
    SQLHSTMT m_handle = nullptr;
    QString m_text;
    bool m_prepared = false;
    bool m_inUse = false;
    std::vector<Param> m_params;
};

// How the rows of one table are found.
struct OdbcConnection::TableInfo
{
    Locator locator = Locator::AllValues;
    QStringList keyNames;   // the key columns as the statements name them; empty: all values
    QStringList allColumns; // every column of the table, with brackets, in table order
    QString note;           // the monitor line
};

// The rows of a query, read column by column into buffers kept from row to row.
class OdbcCursor : public Cursor
{
public:
    // keyCount: leading key columns before the selected ones; selected: the columns the
    // caller asked for; then the columns read only for a key of all values. cached: a kept
    // statement lent to this cursor (closed, not freed, at its end).
    OdbcCursor(std::unique_ptr<OdbcConnection::Statement> own, OdbcConnection::Statement* cached, int keyCount,
               const QStringList* keyNames, bool allValues, bool getDataAnyColumn)
        : m_own(std::move(own)), m_stmt(cached ? cached : m_own.get()), m_cached(cached), m_keyCount(keyCount),
          m_allValues(allValues)
    {
        SQLSMALLINT count = 0;
        m_stmt->check(SQLNumResultCols(m_stmt->handle(), &count));
        m_columns.resize(size_t(count));
        bool bindable = true;
        for (SQLSMALLINT i = 0; i < count; ++i) {
            Column& c = m_columns[size_t(i)];
            SQLWCHAR name[256];
            SQLSMALLINT nameLength = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            m_stmt->check(SQLDescribeColW(m_stmt->handle(), SQLUSMALLINT(i + 1), name, SQLSMALLINT(std::size(name)),
                                          &nameLength, &c.type, &size, &digits, &nullable));
            c.name = fromWide(name, std::min<qsizetype>(nameLength, 255));
            if (isIntegerType(c.type)) {
                c.cType = c.type == SQL_BIGINT ? SQL_C_SBIGINT : SQL_C_SLONG;
            } else if (isFloatType(c.type)) {
                c.cType = SQL_C_DOUBLE;
            } else {
                c.cType = SQL_C_WCHAR;
                c.text.resize(size > 0 && size <= kBoundWidth ? size + 1 : 256);
            }
            // A driver that reads unbound columns only after the bound ones has its columns
            // bound up to the first one that cannot be.
            const bool fits = c.cType != SQL_C_WCHAR || (size > 0 && size <= kBoundWidth);
            if (!fits && !getDataAnyColumn)
                bindable = false;
            c.bound = fits && (bindable || getDataAnyColumn);
            if (c.bound) {
                SQLPOINTER target = c.cType == SQL_C_WCHAR ? SQLPOINTER(c.text.data())
                                    : c.cType == SQL_C_DOUBLE ? SQLPOINTER(&c.real)
                                    : c.cType == SQL_C_SBIGINT ? SQLPOINTER(&c.integer)
                                                               : SQLPOINTER(&c.integer32);
                const SQLLEN length = c.cType == SQL_C_WCHAR ? SQLLEN(c.text.size() * sizeof(SQLWCHAR)) : 0;
                m_stmt->check(SQLBindCol(m_stmt->handle(), SQLUSMALLINT(i + 1), c.cType, target, length, &c.indicator));
            }
        }
        if (keyNames && !allValues)
            m_keyNames = *keyNames;
        if (allValues) {
            for (int i = keyCount; i < count; ++i)
                m_keyNames.append(bracketed(m_columns[size_t(i)].name));
        }
    }
    ~OdbcCursor() override
    {
        if (m_cached) {
            m_cached->close();
            m_cached->setInUse(false);
        }
    }

    bool next() override
    {
        const SQLRETURN rc = SQLFetch(m_stmt->handle());
        if (rc == SQL_NO_DATA)
            return false;
        if (!SQL_SUCCEEDED(rc))
            m_stmt->fail();
        ++m_stmt->connection().m_statistics.rowsFetched;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            Column& c = m_columns[i];
            c.asciiReady = false;
            if (!c.bound)
                readUnbound(SQLUSMALLINT(i + 1), c);
            else if (c.cType == SQL_C_SLONG && c.indicator != SQL_NULL_DATA)
                c.integer = c.integer32;
        }
        return true;
    }

    QVariant value(int column) const override
    {
        const Column& c = at(column);
        if (c.indicator == SQL_NULL_DATA)
            return QVariant();
        switch (c.cType) {
        case SQL_C_SLONG:
        case SQL_C_SBIGINT: return QVariant(qint64(c.integer));
        case SQL_C_DOUBLE: return QVariant(c.real);
        default: return QVariant(text(column));
        }
    }
    QString text(int column) const override
    {
        const Column& c = at(column);
        if (c.indicator == SQL_NULL_DATA)
            return QString();
        switch (c.cType) {
        case SQL_C_SLONG:
        case SQL_C_SBIGINT: return QString::number(c.integer);
        case SQL_C_DOUBLE: return QString::number(c.real, 'g', 15);
        default: break;
        }
        const qsizetype chars = textLength(c);
        return chars == 0 ? QString() : QString(reinterpret_cast<const QChar*>(c.text.data()), chars);
    }
    bool asciiText(int column, std::string_view& bytes) const override
    {
        const Column& c = at(column);
        if (c.indicator == SQL_NULL_DATA) {
            bytes = std::string_view();
            return true;
        }
        if (c.cType != SQL_C_WCHAR)
            return false;
        if (!c.asciiReady) {
            const qsizetype chars = textLength(c);
            c.ascii.resize(size_t(chars));
            char16_t any = 0;
            for (qsizetype i = 0; i < chars; ++i) {
                any |= c.text[size_t(i)];
                c.ascii[size_t(i)] = char(c.text[size_t(i)]);
            }
            c.isAscii = any < 0x80;
            c.asciiReady = true;
        }
        if (!c.isAscii)
            return false;
        bytes = std::string_view(c.ascii);
        return true;
    }
    qint64 integer(int column) const override
    {
        const Column& c = at(column);
        if (c.indicator == SQL_NULL_DATA)
            return 0;
        if (c.cType == SQL_C_SLONG || c.cType == SQL_C_SBIGINT)
            return c.integer;
        if (c.cType == SQL_C_DOUBLE)
            return qint64(c.real);
        return text(column).trimmed().toLongLong();
    }
    bool isNull(int column) const override { return at(column).indicator == SQL_NULL_DATA; }
    RowKey key() const override
    {
        RowKey k;
        k.names = m_keyNames;
        const int count = m_allValues ? int(m_columns.size()) - m_keyCount : m_keyCount;
        const int first = m_allValues ? m_keyCount : 0;
        k.values.reserve(count);
        for (int i = 0; i < count; ++i)
            k.values.append(value(first + i - m_keyCount));
        return k;
    }

private:
    struct Column
    {
        QString name;
        SQLSMALLINT type = 0;
        SQLSMALLINT cType = SQL_C_WCHAR;
        bool bound = false;
        SQLLEN indicator = SQL_NULL_DATA;
        qint64 integer = 0;
        SQLINTEGER integer32 = 0;
        double real = 0;
        std::vector<char16_t> text;
        SQLLEN length = 0; // bytes of text read by SQLGetData
        mutable std::string ascii;
        mutable bool asciiReady = false;
        mutable bool isAscii = false;
    };

    const Column& at(int column) const { return m_columns[size_t(m_keyCount + column)]; }

    static qsizetype textLength(const Column& c)
    {
        const SQLLEN bytes = c.bound ? c.indicator : c.length;
        qsizetype chars = qsizetype(bytes / SQLLEN(sizeof(SQLWCHAR)));
        return std::min<qsizetype>(chars, qsizetype(c.text.size()) - 1);
    }

    void readUnbound(SQLUSMALLINT number, Column& c)
    {
        SQLHSTMT h = m_stmt->handle();
        if (c.cType != SQL_C_WCHAR) {
            SQLPOINTER target = c.cType == SQL_C_DOUBLE ? SQLPOINTER(&c.real)
                                : c.cType == SQL_C_SBIGINT ? SQLPOINTER(&c.integer)
                                                           : SQLPOINTER(&c.integer32);
            const SQLRETURN rc = SQLGetData(h, number, c.cType, target, 0, &c.indicator);
            if (!SQL_SUCCEEDED(rc))
                m_stmt->fail();
            if (c.cType == SQL_C_SLONG)
                c.integer = c.integer32;
            return;
        }
        // Read in pieces: the first fills the buffer, each further one what is left of the
        // value, into a buffer grown to hold it.
        size_t at = 0;
        for (;;) {
            const SQLLEN room = SQLLEN((c.text.size() - at) * sizeof(SQLWCHAR));
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(h, number, SQL_C_WCHAR, c.text.data() + at, room, &indicator);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                m_stmt->fail();
            if (indicator == SQL_NULL_DATA) {
                c.indicator = SQL_NULL_DATA;
                c.length = 0;
                return;
            }
            const bool truncated = rc == SQL_SUCCESS_WITH_INFO
                                   && (indicator == SQL_NO_TOTAL || indicator >= room);
            if (!truncated) {
                at += size_t(indicator) / sizeof(SQLWCHAR);
                break;
            }
            // The piece filled the room but its closing zero.
            at = c.text.size() - 1;
            const size_t need = indicator == SQL_NO_TOTAL ? c.text.size() * 2
                                                          : at + size_t(indicator) / sizeof(SQLWCHAR) + 1;
            c.text.resize(std::max(need, c.text.size() * 2));
        }
        c.indicator = 0;
        c.length = SQLLEN(at * sizeof(SQLWCHAR));
        if (at + 1 > c.text.size())
            c.text.resize(at + 1);
    }

    std::unique_ptr<OdbcConnection::Statement> m_own;
    OdbcConnection::Statement* m_stmt;
    OdbcConnection::Statement* m_cached;
    int m_keyCount;
    bool m_allValues;
    QStringList m_keyNames;
    std::vector<Column> m_columns;
};

void OdbcConnection::limitLocators(Locator best)
{
    g_bestLocator = int(best);
}

OdbcConnection::OdbcConnection(const QString& connectionString, const QString& displayPath)
    : m_displayPath(displayPath)
{
    ensureUtf8CharacterType();
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw CDbException(QStringLiteral("Cannot open the database '%1': the ODBC driver manager is not usable.")
                               .arg(displayPath));
    m_env = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        m_env = nullptr;
        throw CDbException(QStringLiteral("Cannot open the database '%1': the ODBC driver manager is not usable.")
                               .arg(displayPath));
    }
    m_dbc = dbc;
    QString connect = connectionString;
    // The SQLite ODBC driver reads a whole result into memory before the first row unless it
    // is told to step through it; a walk of a large log would hold all of it at once.
    static const QRegularExpression sqliteDriver(QStringLiteral("(?:^|;)\\s*DRIVER\\s*=\\s*\\{?\\s*SQLite"),
                                                 QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression stepApi(QStringLiteral("(?:^|;)\\s*StepAPI\\s*="),
                                            QRegularExpression::CaseInsensitiveOption);
    if (sqliteDriver.match(connect).hasMatch() && !stepApi.match(connect).hasMatch())
        connect += connect.trimmed().endsWith(QLatin1Char(';')) ? QStringLiteral("StepAPI=1")
                                                                : QStringLiteral(";StepAPI=1");
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(wide(connect)), SQLSMALLINT(connect.size()),
                                           out, SQLSMALLINT(std::size(out)), &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        const QString text = diagnose(SQL_HANDLE_DBC, dbc).text;
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        m_dbc = m_env = nullptr;
        throw CDbException(QStringLiteral("Cannot open the database '%1': %2").arg(displayPath, text));
    }
    SQLUINTEGER extensions = 0;
    if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)))
        m_getDataAnyColumn = (extensions & SQL_GD_ANY_COLUMN) && (extensions & SQL_GD_ANY_ORDER) && (extensions & SQL_GD_BOUND);
}

OdbcConnection::~OdbcConnection()
{
    m_cache.clear();
    if (m_dbc) {
        if (m_inTransaction) {
            SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
            SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
        }
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    }
    if (m_env)
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

OdbcConnection::Statement& OdbcConnection::cached(const QString& sql)
{
    auto it = m_cache.find(sql);
    if (it != m_cache.end())
        return *it->second;
    auto stmt = std::make_unique<Statement>(*this, SQLHDBC(m_dbc));
    stmt->prepare(sql);
    return *m_cache.emplace(sql, std::move(stmt)).first->second;
}

std::unique_ptr<OdbcConnection::Statement> OdbcConnection::fresh()
{
    return std::make_unique<Statement>(*this, SQLHDBC(m_dbc));
}

std::unique_ptr<Cursor> OdbcConnection::query(const QString& sql)
{
    auto stmt = fresh();
    stmt->executeDirect(sql);
    return std::make_unique<OdbcCursor>(std::move(stmt), nullptr, 0, nullptr, false, m_getDataAnyColumn);
}

namespace {
// The rows of a catalog function's result, each as texts of its columns.
std::vector<QStringList> catalogRows(OdbcConnection::Statement& stmt, int columns)
{
    std::vector<QStringList> rows;
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.handle());
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            stmt.fail();
        QStringList row;
        for (int i = 1; i <= columns; ++i) {
            SQLWCHAR buffer[512];
            SQLLEN indicator = 0;
            const SQLRETURN g = SQLGetData(stmt.handle(), SQLUSMALLINT(i), SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
            if (!SQL_SUCCEEDED(g) || indicator == SQL_NULL_DATA) {
                row.append(QString());
                continue;
            }
            const qsizetype chars = std::min<qsizetype>(qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR))), 511);
            row.append(fromWide(buffer, indicator == SQL_NO_TOTAL ? 511 : chars));
        }
        rows.push_back(row);
    }
    stmt.close();
    return rows;
}
} // namespace

// The way rows are found is chosen once per table and connection, best first:
//
// 1. The primary key (SQLPrimaryKeys).
// 2. A unique index whose columns are all declared NOT NULL (SQLStatistics).
// 3. The driver's best row identifier (SQLSpecialColumns with SQL_BEST_ROWID, lasting at
//    least the session). The SQLite ODBC driver gives its rowid for every table.
// 4. Every value of the row as read, the search narrowed through an index of the table
//    (SQLStatistics): each update looks at the rows sharing the indexed value, not at the
//    whole table.
// 5. Every value of the row as read, with nothing to narrow the search: each update reads the
//    table once (the monitor line says so).
//
// Rows known by their values may have twins (rows equal in every column: the same QSO logged
// twice). They cannot be told apart by any statement, so an update by their values writes
// them together and counts them.
//
// Microsoft's Access driver (one of the Desktop Database Drivers) gives for a table without a
// primary key: SQLSpecialColumns with SQL_BEST_ROWID returns a unique index when the table has
// one (all with the scope SQL_SCOPE_CURROW) and nothing otherwise, so a unique index is found
// in step 2 already; SQLStatistics lists the table's indexes (unique and not, with their
// cardinality), so step 4 finds an index on [QSO-CALL] or [QSO-DATE]. Positioned UPDATE
// statements (WHERE CURRENT OF) are not supported by those drivers; SQLSetPos with
// SQL_UPDATE is, on keyset-driven cursors only (forward-only cursors can't update, static
// ones come only from the cursor library, which cannot update through SQLSetPos). The
// drivers' own cursors move over the Access engine's bookmarks, so they would reach a row of
// a table without any index directly; the SQLite ODBC driver refuses SQLSetPos updates on a
// table without a primary key ("incompatible rowset"), so that way could not be tried here
// and is not taken: a log with neither key nor index is searched as in step 5.
void OdbcConnection::chooseLocator(const QString& table, TableInfo& info)
{
    const QString bare = bareName(table);
    const Locator best = Locator(g_bestLocator.load());

    // Every column, and which hold no nulls, as the driver describes a query of none of its rows.
    QStringList notNull;
    {
        auto stmt = fresh();
        stmt->executeDirect(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(table));
        SQLSMALLINT count = 0;
        stmt->check(SQLNumResultCols(stmt->handle(), &count));
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            SQLWCHAR name[256];
            SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            stmt->check(SQLDescribeColW(stmt->handle(), SQLUSMALLINT(i), name, 256, &length, &type, &size, &digits,
                                        &nullable));
            info.allColumns.append(bracketed(fromWide(name, std::min<qsizetype>(length, 255))));
        }
    }
    // Which columns are declared NOT NULL, as the catalog tells (a query's description may
    // call every column nullable).
    {
        auto stmt = fresh();
        if (SQL_SUCCEEDED(SQLColumnsW(stmt->handle(), nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(wide(bare)),
                                      SQLSMALLINT(bare.size()), nullptr, 0))) {
            for (const QStringList& row : catalogRows(*stmt, 11)) {
                if (row.value(10).toInt() == SQL_NO_NULLS)
                    notNull.append(bracketed(row.value(3)));
            }
        } else {
            stmt->close();
        }
    }
    const auto setKey = [&](Locator locator, const QStringList& names, const QString& note) {
        info.locator = locator;
        info.keyNames = names;
        info.note = note;
    };

    if (best <= Locator::PrimaryKey) {
        auto stmt = fresh();
        stmt->check(SQLPrimaryKeysW(stmt->handle(), nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(wide(bare)),
                                    SQLSMALLINT(bare.size())));
        std::vector<QStringList> rows = catalogRows(*stmt, 5);
        std::sort(rows.begin(), rows.end(), [](const QStringList& a, const QStringList& b) {
            return a.value(4).toInt() < b.value(4).toInt();
        });
        QStringList names;
        for (const QStringList& row : rows)
            names.append(bracketed(row.value(3)));
        if (!names.isEmpty()) {
            setKey(Locator::PrimaryKey, names,
                   QStringLiteral("Rows of %1 are found by its primary key %2").arg(table, names.join(QLatin1String(", "))));
            return;
        }
    }

    // The table's indexes: name, unique, columns in order, cardinality.
    struct Index
    {
        QString name;
        bool unique = false;
        QStringList columns;
        qint64 cardinality = -1;
    };
    std::vector<Index> indexes;
    if (best <= Locator::Index) {
        auto stmt = fresh();
        stmt->check(SQLStatisticsW(stmt->handle(), nullptr, 0, nullptr, 0, const_cast<SQLWCHAR*>(wide(bare)),
                                   SQLSMALLINT(bare.size()), SQL_INDEX_ALL, SQL_QUICK));
        for (const QStringList& row : catalogRows(*stmt, 11)) {
            if (row.value(6).toInt() == SQL_TABLE_STAT || row.value(8).isEmpty())
                continue;
            const QString name = row.value(5);
            auto it = std::find_if(indexes.begin(), indexes.end(), [&](const Index& i) { return i.name == name; });
            if (it == indexes.end()) {
                indexes.push_back(Index{name, row.value(3).toInt() == SQL_FALSE, {}, -1});
                it = indexes.end() - 1;
            }
            const int seq = row.value(7).toInt();
            const QString column = bracketed(row.value(8));
            if (seq >= 1 && seq - 1 <= it->columns.size())
                it->columns.insert(seq - 1, column);
            else
                it->columns.append(column);
            bool ok = false;
            const qint64 cardinality = row.value(10).toLongLong(&ok);
            if (ok)
                it->cardinality = std::max(it->cardinality, cardinality);
        }
    }

    if (best <= Locator::UniqueIndex) {
        for (const Index& index : indexes) {
            const bool usable = index.unique && !index.columns.isEmpty()
                                && std::all_of(index.columns.begin(), index.columns.end(),
                                               [&](const QString& c) { return notNull.contains(c, Qt::CaseInsensitive); });
            if (usable) {
                setKey(Locator::UniqueIndex, index.columns,
                       QStringLiteral("Rows of %1 are found by its unique index %2 (%3)")
                           .arg(table, index.name, index.columns.join(QLatin1String(", "))));
                return;
            }
        }
    }

    if (best <= Locator::BestRowId) {
        auto stmt = fresh();
        const SQLRETURN rc = SQLSpecialColumnsW(stmt->handle(), SQL_BEST_ROWID, nullptr, 0, nullptr, 0,
                                                const_cast<SQLWCHAR*>(wide(bare)), SQLSMALLINT(bare.size()),
                                                SQL_SCOPE_TRANSACTION, SQL_NO_NULLS);
        if (SQL_SUCCEEDED(rc)) {
            QStringList names;
            bool lasting = true;
            for (const QStringList& row : catalogRows(*stmt, 8)) {
                // A pseudo column (a rowid) is named as the driver names it, without brackets;
                // a column of the table must hold no nulls to tell rows apart.
                const bool pseudo = row.value(7).toInt() == SQL_PC_PSEUDO;
                names.append(pseudo ? row.value(1) : bracketed(row.value(1)));
                lasting = lasting && row.value(0).toInt() >= SQL_SCOPE_TRANSACTION
                          && (pseudo || notNull.contains(bracketed(row.value(1)), Qt::CaseInsensitive));
            }
            if (!names.isEmpty() && lasting) {
                setKey(Locator::BestRowId, names,
                       QStringLiteral("Rows of %1 are found by the driver's row identifier %2")
                           .arg(table, names.join(QLatin1String(", "))));
                return;
            }
        } else {
            stmt->close();
        }
    }

    if (best <= Locator::Index && !indexes.empty()) {
        // The index that narrows the most: the largest cardinality where the driver tells it,
        // else the first listed.
        const Index* chosen = &indexes.front();
        for (const Index& index : indexes) {
            if (index.cardinality > chosen->cardinality)
                chosen = &index;
        }
        setKey(Locator::Index, {},
               QStringLiteral("Rows of %1 have no key: each is found by all its values through the index %2 (%3); "
                              "rows equal in every column are updated together")
                   .arg(table, chosen->name, chosen->columns.join(QLatin1String(", "))));
        return;
    }
    setKey(Locator::AllValues, {},
           QStringLiteral("Rows of %1 have neither key nor index: each update reads the whole table to find its row "
                          "by all its values; rows equal in every column are updated together")
               .arg(table));
}

const OdbcConnection::TableInfo& OdbcConnection::info(const QString& table)
{
    auto it = m_tables.find(table);
    if (it != m_tables.end())
        return *it->second;
    auto info = std::make_unique<TableInfo>();
    chooseLocator(table, *info);
    return *m_tables.emplace(table, std::move(info)).first->second;
}

OdbcConnection::Locator OdbcConnection::locator(const QString& table)
{
    return info(table).locator;
}

bool OdbcConnection::rowsKnownByValues(const QString& table)
{
    return info(table).keyNames.isEmpty();
}

QString OdbcConnection::rowLocatorNote(const QString& table)
{
    return info(table).note;
}

std::unique_ptr<Cursor> OdbcConnection::select(const QString& table, const std::vector<ColumnSpec>& columns,
                                               const QString& filter, const QString& sort, const QVariantList& bindings)
{
    const TableInfo& t = info(table);
    const bool allValues = t.keyNames.isEmpty();
    int keyCount = 0;
    const QString list = selectList(t.keyNames, t.allColumns, columns, keyCount);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(list, table);
    if (!filter.trimmed().isEmpty())
        sql += QStringLiteral(" WHERE ") + filter;
    if (!sort.trimmed().isEmpty())
        sql += QStringLiteral(" ORDER BY ") + sort;
    auto stmt = fresh();
    if (bindings.isEmpty()) {
        stmt->executeDirect(sql);
    } else {
        // The filter's values go in bound, never as text of the statement.
        stmt->prepare(sql);
        stmt->bind(bindings);
        stmt->execute();
    }
    return std::make_unique<OdbcCursor>(std::move(stmt), nullptr, keyCount, &t.keyNames,
                                        allValues, m_getDataAnyColumn);
}

QString OdbcConnection::keyCondition(const QString& table, const RowKey& key, QVariantList& bindings) const
{
    const QStringList& names = key.names;
    if (names.isEmpty() || names.size() != key.values.size())
        throw CDbException(QStringLiteral("The record of %1 cannot be identified.").arg(table));
    QString condition;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            condition += QLatin1String(" AND ");
        if (key.values.at(i).isNull()) {
            condition += names.at(i) + QLatin1String(" IS NULL");
        } else {
            condition += names.at(i) + QLatin1String(" = ?");
            bindings.append(key.values.at(i));
        }
    }
    return condition;
}

std::unique_ptr<Cursor> OdbcConnection::selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                                    const RowKey& key)
{
    const TableInfo& t = info(table);
    const bool allValues = t.keyNames.isEmpty();
    QVariantList bindings;
    const QString condition = keyCondition(table, key, bindings);
    int keyCount = 0;
    const QString list = selectList(t.keyNames, t.allColumns, columns, keyCount);
    const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(list, table, condition);
    // A kept statement serves one cursor at a time; a second reader gets one of its own.
    Statement* stmt = &cached(sql);
    std::unique_ptr<Statement> own;
    if (stmt->inUse()) {
        own = fresh();
        own->prepare(sql);
        stmt = own.get();
    }
    stmt->bind(bindings);
    stmt->execute();
    Statement* lent = own ? nullptr : stmt;
    if (lent)
        lent->setInUse(true);
    return std::make_unique<OdbcCursor>(std::move(own), lent, keyCount, &t.keyNames, allValues,
                                        m_getDataAnyColumn);
}

qint64 OdbcConnection::countRows(const QString& table)
{
    auto stmt = fresh();
    stmt->executeDirect(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
    SQLINTEGER rows = 0;
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLFetch(stmt->handle());
    if (!SQL_SUCCEEDED(rc))
        stmt->fail();
    stmt->check(SQLGetData(stmt->handle(), 1, SQL_C_SLONG, &rows, 0, &indicator));
    return rows;
}

qint64 OdbcConnection::runUpdate(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                                 const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                                 const QVariantList& expected, bool textsNotNull)
{
    QVariantList bindings;
    QString sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ");
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0)
            sql += QLatin1String(", ");
        sql += columns[i].name + QLatin1String(" = ?");
        QVariant v = values.value(int(i));
        if (columns[i].type == ColumnType::Text) {
            if (textsNotNull || !v.isNull()) {
                // A column marked changed is written as not null: an emptied text is an empty
                // text, which the driver would take for NULL if it were a null string.
                QString text = v.toString();
                if (text.isNull())
                    text = QStringLiteral("");
                v = text;
            } else {
                v = QVariant(QMetaType::fromType<QString>());
            }
        } else if (v.isNull()) {
            v = QVariant(QMetaType::fromType<qint64>());
        }
        bindings.append(v);
    }
    sql += QStringLiteral(" WHERE ") + keyCondition(table, key, bindings);
    for (size_t i = 0; i < conditionColumns.size(); ++i) {
        const QVariant& value = expected.value(int(i));
        if (value.isNull()) {
            sql += QLatin1String(" AND ") + conditionColumns[i].name + QLatin1String(" IS NULL");
        } else {
            sql += QLatin1String(" AND ") + conditionColumns[i].name + QLatin1String(" = ?");
            bindings.append(value);
        }
    }
    Statement& stmt = cached(sql);
    stmt.bind(bindings);
    stmt.execute();
    const qint64 rows = stmt.rowsAffected();
    stmt.close();
    // A driver that cannot count the rows it changed (-1) is taken at its word.
    return rows < 0 ? 1 : rows;
}

void OdbcConnection::update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                            const QVariantList& values)
{
    if (columns.empty())
        return;
    const bool byValues = info(table).keyNames.isEmpty() || key.names != info(table).keyNames;
    const qint64 rows = runUpdate(table, key, columns, values, {}, {}, true);
    if (rows == 0 || (!byValues && rows != 1))
        throw CDbException(QStringLiteral("The record to update is no longer in %1.").arg(table));
    // A row known by its values is known by the new ones from now on.
    for (size_t i = 0; i < columns.size(); ++i) {
        const qsizetype at = key.names.indexOf(columns[i].name);
        if (at >= 0) {
            QVariant v = values.value(int(i));
            if (columns[i].type == ColumnType::Text && v.toString().isNull())
                v = QStringLiteral("");
            else if (columns[i].type == ColumnType::Text)
                v = v.toString();
            key.values[at] = v;
        }
    }
}

bool OdbcConnection::updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                                       const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                                       const QVariantList& expected)
{
    if (columns.empty())
        return false;
    return runUpdate(table, key, columns, values, conditionColumns, expected, false) != 0;
}

// The row updates of one set of columns: each statement text (one per pattern of null key
// values) is prepared once and kept by the connection.
class OdbcConnection::PreparedUpdate : public RowUpdate
{
public:
    PreparedUpdate(OdbcConnection& db, QString table, std::vector<ColumnSpec> columns)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns))
    {
    }
    qint64 run(RowKey& key, const QVariantList& values) override
    {
        const bool byValues = key.names != m_db.info(m_table).keyNames || key.names.isEmpty();
        const qint64 rows = m_db.runUpdate(m_table, key, m_columns, values, {}, {}, true);
        if (rows == 0 || (!byValues && rows != 1))
            throw CDbException(QStringLiteral("The record to update is no longer in %1.").arg(m_table));
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const qsizetype at = key.names.indexOf(m_columns[i].name);
            if (at >= 0)
                key.values[at] = m_columns[i].type == ColumnType::Text ? QVariant(values.value(int(i)).toString().isNull()
                                                                                      ? QStringLiteral("")
                                                                                      : values.value(int(i)).toString())
                                                                        : values.value(int(i));
        }
        return rows;
    }

private:
    OdbcConnection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
};

class OdbcConnection::PreparedConditionalUpdate : public ConditionalUpdate
{
public:
    PreparedConditionalUpdate(OdbcConnection& db, QString table, std::vector<ColumnSpec> columns,
                              std::vector<ColumnSpec> conditions)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)), m_conditions(std::move(conditions))
    {
    }
    qint64 run(const RowKey& key, const QVariantList& values, const QVariantList& expected) override
    {
        return m_db.runUpdate(m_table, key, m_columns, values, m_conditions, expected, false);
    }

private:
    OdbcConnection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
    std::vector<ColumnSpec> m_conditions;
};

std::unique_ptr<RowUpdate> OdbcConnection::prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns)
{
    if (columns.empty())
        return Connection::prepareUpdate(table, columns);
    info(table);
    return std::make_unique<PreparedUpdate>(*this, table, columns);
}

std::unique_ptr<ConditionalUpdate> OdbcConnection::prepareUpdateIfUnchanged(const QString& table,
                                                                           const std::vector<ColumnSpec>& columns,
                                                                           const std::vector<ColumnSpec>& conditionColumns)
{
    if (columns.empty())
        return Connection::prepareUpdateIfUnchanged(table, columns, conditionColumns);
    info(table);
    return std::make_unique<PreparedConditionalUpdate>(*this, table, columns, conditionColumns);
}

void OdbcConnection::setAutocommit(bool on)
{
    const SQLRETURN rc = SQLSetConnectAttr(SQLHDBC(m_dbc), SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!SQL_SUCCEEDED(rc))
        throw failure(SQL_HANDLE_DBC, m_dbc);
}

void OdbcConnection::beginTransaction()
{
    setAutocommit(false);
    m_inTransaction = true;
}

void OdbcConnection::commit()
{
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, SQLHDBC(m_dbc), SQL_COMMIT)))
        throw failure(SQL_HANDLE_DBC, m_dbc);
    m_inTransaction = false;
    setAutocommit(true);
}

void OdbcConnection::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, SQLHDBC(m_dbc), SQL_ROLLBACK))) {
        const CDbException error = failure(SQL_HANDLE_DBC, m_dbc);
        setAutocommit(true);
        throw error;
    }
    setAutocommit(true);
}
