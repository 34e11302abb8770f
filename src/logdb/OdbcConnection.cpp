#include "OdbcConnection.h"

#include "platform/Errors.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <functional>
#include <atomic>
#include <clocale>
#include <deque>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>
#ifndef Q_OS_WIN
#include <langinfo.h>
#endif

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide characters are UTF-16");

namespace {

// Counts rows handled and calls progress once for every 4096 of them.
void reportRows(const std::function<void()>& progress, size_t& done, size_t handled)
{
    done += handled;
    if (progress && done >= 4096) {
        progress();
        done = 0;
    }
}

std::atomic<int> g_bestLocator{int(OdbcConnection::Locator::PrimaryKey)};
std::atomic<qint64> g_writesPerCursor{0};

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

// Whether a value read equals the one wanted, as the program compares them.
bool sameValue(const QVariant& read, const QVariant& wanted)
{
    if (read.isNull() || wanted.isNull())
        return read.isNull() && wanted.isNull();
    if (IsIntegerValue(read) && IsIntegerValue(wanted))
        return read.toLongLong() == wanted.toLongLong();
    return read.toString() == wanted.toString();
}

// A row's values as one text, for finding rows of equal values.
QString valuesText(const QVariantList& values)
{
    QString text;
    for (const QVariant& v : values) {
        if (v.isNull())
            text += QChar(0x1);
        else
            text += v.toString();
        text += QChar(0x1f);
    }
    return text;
}

// The place of name among names, compared without regard to case; -1 where it is not there.
qsizetype nameAt(const QStringList& names, const QString& name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// The C type a value of an SQL type is read into: integers as such, floating numbers as
// doubles, anything else as wide text.
SQLSMALLINT readType(SQLSMALLINT sqlType)
{
    if (isIntegerType(sqlType))
        return sqlType == SQL_BIGINT ? SQL_C_SBIGINT : SQL_C_SLONG;
    return isFloatType(sqlType) ? SQLSMALLINT(SQL_C_DOUBLE) : SQLSMALLINT(SQL_C_WCHAR);
}

// The buffers of one column's value, bound to a statement (SQLBindCol) or read into.
struct BoundValue
{
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLLEN indicator = SQL_NULL_DATA;
    qint64 integer = 0;
    SQLINTEGER integer32 = 0;
    double real = 0;
    std::vector<char16_t> text;

    // Where a value of the column's C type goes, and the room there (texts only).
    SQLPOINTER target()
    {
        switch (cType) {
        case SQL_C_WCHAR: return text.data();
        case SQL_C_DOUBLE: return &real;
        case SQL_C_SBIGINT: return &integer;
        default: return &integer32;
        }
    }
    SQLLEN room() const { return cType == SQL_C_WCHAR ? SQLLEN(text.size() * sizeof(SQLWCHAR)) : 0; }
};

// Drivers take a text as far as its first NUL character: such a text is refused rather than
// cut short without a word.
[[noreturn]] void refuseNul(QString text)
{
    throw CDbException(QStringLiteral("The value \"%1\" holds a NUL character, which the ODBC driver cannot pass")
                           .arg(text.replace(QChar(0), QStringLiteral("\\0"))));
}

// Columns declared this wide or less are read into buffers of their width; wider ones, and
// those whose driver declares no real width (the SQLite ODBC driver gives 65536 for TEXT),
// are read piece by piece into a buffer that grows with the longest value met.
constexpr SQLULEN kBoundWidth = 1024;

} // namespace

// One ODBC statement handle. Its parameters are bound once to buffers of its own, and bound
// again only where a value's kind changes or a text outgrows its buffer, so that a statement
// run for many rows only copies the values of each.
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
        const QString text = m_db.driverText(sql);
        check(SQLPrepareW(m_handle, const_cast<SQLWCHAR*>(wide(text)), SQLINTEGER(text.size())));
        m_text = sql;
        m_prepared = true;
    }
    bool prepared() const { return m_prepared; }
    const QString& text() const { return m_text; }

    // The value of parameter at (from 0).
    void setNull(int at, bool number)
    {
        Param& p = param(at);
        if (p.kind == Param::None)
            rebind(at, p, number ? Param::Int32 : Param::Text, 0);
        p.indicator = SQL_NULL_DATA;
    }
    void setText(int at, const char16_t* text, qsizetype chars)
    {
        if (std::find(text, text + chars, u'\0') != text + chars)
            refuseNul(QString(reinterpret_cast<const QChar*>(text), chars));
        Param& p = param(at);
        if (p.kind != Param::Text || size_t(chars) + 1 > p.text.size())
            rebind(at, p, Param::Text, chars);
        std::copy(text, text + chars, p.text.data());
        p.indicator = SQLLEN(chars * qsizetype(sizeof(SQLWCHAR)));
    }
    void setText(int at, const QString& text)
    {
        setText(at, reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    }
    void setUtf8(int at, std::string_view utf8)
    {
        unsigned char any = 0;
        bool nul = false;
        for (char c : utf8) {
            any |= static_cast<unsigned char>(c);
            nul = nul || c == '\0';
        }
        if (nul)
            refuseNul(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
        if (any >= 0x80) {
            setText(at, QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
            return;
        }
        // ASCII: widened where it is bound.
        Param& p = param(at);
        if (p.kind != Param::Text || utf8.size() + 1 > p.text.size())
            rebind(at, p, Param::Text, qsizetype(utf8.size()));
        char16_t* out = p.text.data();
        for (char c : utf8)
            *out++ = char16_t(static_cast<unsigned char>(c));
        p.indicator = SQLLEN(utf8.size() * sizeof(SQLWCHAR));
    }
    void setInteger(int at, qint64 value)
    {
        Param& p = param(at);
        // Access knows no 64-bit integers: a value that fits goes as a 32-bit one.
        const bool small = value >= INT32_MIN && value <= INT32_MAX;
        if (p.kind != (small ? Param::Int32 : Param::Int64))
            rebind(at, p, small ? Param::Int32 : Param::Int64, 0);
        if (small)
            p.int32 = SQLINTEGER(value);
        else
            p.int64 = value;
        p.indicator = 0;
    }
    void setReal(int at, double value)
    {
        Param& p = param(at);
        if (p.kind != Param::Real)
            rebind(at, p, Param::Real, 0);
        p.real = value;
        p.indicator = 0;
    }
    void setValue(int at, const QVariant& value)
    {
        if (value.isNull())
            setNull(at, IsIntegerValue(value) || value.typeId() == QMetaType::Double);
        else if (IsIntegerValue(value))
            setInteger(at, value.toLongLong());
        else if (value.typeId() == QMetaType::Double)
            setReal(at, value.toDouble());
        else if (value.typeId() == QMetaType::QString)
            setText(at, *static_cast<const QString*>(value.constData()));
        else
            setText(at, value.toString());
    }
    // Binds the values in order, from parameter 1 on.
    void bind(const QVariantList& values)
    {
        for (qsizetype i = 0; i < values.size(); ++i)
            setValue(int(i), values.at(i));
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
        const QString text = m_db.driverText(sql);
        const SQLRETURN rc = SQLExecDirectW(m_handle, const_cast<SQLWCHAR*>(wide(text)), SQLINTEGER(text.size()));
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
    // Runs a statement that changes rows: the rows it changed, the driver taken at its word
    // (1) where it cannot count them.
    qint64 executeUpdate()
    {
        m_db.writing();
        execute();
        const qint64 rows = rowsAffected();
        SQLFreeStmt(m_handle, SQL_CLOSE);
        return rows < 0 ? 1 : rows;
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
        enum Kind { None, Text, Int32, Int64, Real };
        Kind kind = None;
        SQLLEN indicator = 0;
        SQLINTEGER int32 = 0;
        qint64 int64 = 0;
        double real = 0;
        std::vector<char16_t> text;
    };
    Param& param(int at)
    {
        while (m_params.size() <= size_t(at))
            m_params.emplace_back();
        return m_params[size_t(at)];
    }
    void rebind(int at, Param& p, Param::Kind kind, qsizetype chars)
    {
        p.kind = kind;
        const SQLUSMALLINT number = SQLUSMALLINT(at + 1);
        switch (kind) {
        case Param::Text: {
            // Room for a text of the widest Access text column at least, so that most texts
            // of a run fit the first buffer; the declared size is the buffer's.
            p.text.resize(size_t(std::max<qsizetype>(chars, 255)) + 1);
            const SQLULEN size = SQLULEN(p.text.size() - 1);
            check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, size, 0,
                                   p.text.data(), SQLLEN(p.text.size() * sizeof(SQLWCHAR)), &p.indicator));
            break;
        }
        case Param::Int32:
            check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &p.int32, 0,
                                   &p.indicator));
            break;
        case Param::Int64:
            check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.int64, 0,
                                   &p.indicator));
            break;
        case Param::Real:
            check(SQLBindParameter(m_handle, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.real, 0,
                                   &p.indicator));
            break;
        case Param::None:
            break;
        }
    }

    OdbcConnection& m_db;
    SQLHSTMT m_handle = nullptr;
    QString m_text;
    bool m_prepared = false;
    bool m_inUse = false;
    std::deque<Param> m_params; // a deque: bound buffers stay where they are
};

// Locator::Positioned: the rows of a table as a keyset-driven cursor holds them (or a static
// one, where the driver gives that instead and writes rows where they stand in it). The table
// is read through the cursor once, when a row is first looked for, and each row's place in it
// is kept by a hash of its values (16 bytes a row). A row is then fetched by its place, its
// values compared in the program, and written where it stands (SQLSetPos); the driver's
// optimistic concurrency refuses a row that another program changed after the cursor read it.
class OdbcConnection::Keyset
{
public:
    Keyset(OdbcConnection& db, QString table, QStringList columns, SQLULEN concurrency)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)), m_concurrency(concurrency)
    {
    }

    const QStringList& columns() const { return m_columns; }

    // The values of a key of all values in the order of the cursor's columns; empty where key
    // is not such a key. The order of a list of names is found once, for the keys that follow.
    QVariantList valuesOf(const RowKey& key)
    {
        QVariantList values;
        if (key.names.size() != m_columns.size() || key.values.size() != key.names.size())
            return values;
        if (key.names != m_orderOf) {
            m_order.clear();
            for (const QString& column : m_columns)
                m_order.push_back(int(nameAt(key.names, column)));
            m_orderOf = key.names;
        }
        if (std::find(m_order.begin(), m_order.end(), -1) != m_order.end())
            return values;
        values.reserve(m_columns.size());
        for (int at : m_order)
            values.append(key.values.at(at));
        return values;
    }

    // The places of the rows that hold values now (every column of the table, in its order):
    // one, several where twins hold them, none where no row does.
    std::vector<SQLLEN> find(const QVariantList& values)
    {
        if (m_open && m_db.m_writesPerCursor > 0 && m_written >= m_db.m_writesPerCursor)
            close(); // worn out: read again through a new cursor
        open();
        m_fetched = 0; // fetched again: another program may have changed it since
        std::vector<SQLLEN> places;
        if (values.size() != m_columns.size())
            return places;
        const size_t hash = hashOf(values);
        std::vector<SQLLEN> candidates;
        const auto range = std::equal_range(m_places.begin(), m_places.end(), std::make_pair(hash, SQLLEN(0)),
                                            [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto it = range.first; it != range.second; ++it)
            candidates.push_back(it->second);
        const auto moved = m_moved.equal_range(hash);
        for (auto it = moved.first; it != moved.second; ++it)
            candidates.push_back(it->second);
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        for (SQLLEN place : candidates) {
            if (!fetch(place))
                continue;
            bool same = true;
            for (qsizetype i = 0; same && i < values.size(); ++i)
                same = sameValue(m_row.at(i), values.at(i));
            if (same)
                places.push_back(place);
        }
        return places;
    }

    // Fetches the row at place: false where it is no longer there. Its values are row().
    bool fetch(SQLLEN place)
    {
        open();
        if (m_fetched == place)
            return true;
        m_fetched = 0;
        for (int attempt = 0;; ++attempt) {
            const SQLRETURN rc = SQLFetchScroll(m_stmt->handle(), SQL_FETCH_ABSOLUTE, place);
            if (rc == SQL_NO_DATA)
                return false;
            if (!SQL_SUCCEEDED(rc))
                m_stmt->fail();
            ++m_db.m_statistics.rowsFetched;
            if (m_status == SQL_ROW_DELETED || m_status == SQL_ROW_ERROR || m_status == SQL_ROW_NOROW)
                return false;
            // A text longer than its buffer: the buffer is made to fit and the row fetched again.
            if (!grown() || attempt == 4)
                break;
        }
        readRow();
        m_fetched = place;
        return true;
    }
    const QVariantList& row() const { return m_row; }

    // Writes values into the columns at (places among the table's columns) of the row fetched
    // last, at place. textsNotNull: a null text is written as an empty one. False where the
    // driver refused the row as changed since the cursor read it.
    bool write(SQLLEN place, const std::vector<int>& at, const QVariantList& values, bool textsNotNull)
    {
        if (!fetch(place))
            return false;
        for (Column& c : m_buffers)
            c.indicator = SQL_COLUMN_IGNORE;
        QVariantList after = m_row;
        for (size_t i = 0; i < at.size(); ++i) {
            Column& c = m_buffers[size_t(at[i])];
            QVariant v = values.value(qsizetype(i));
            if (v.isNull() && c.cType == SQL_C_WCHAR && textsNotNull)
                v = QStringLiteral("");
            after[at[i]] = put(SQLUSMALLINT(at[i] + 1), c, v);
        }
        m_db.writing();
        m_fetched = 0;
        const SQLRETURN rc = SQLSetPos(m_stmt->handle(), 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
        const Diagnostics d = rc == SQL_SUCCESS ? Diagnostics() : diagnose(SQL_HANDLE_STMT, m_stmt->handle());
        // 01001: the row is not as the cursor read it (changed or deleted since), so nothing
        // was written; a driver may say so as a warning.
        if (d.state == QLatin1String("01001") || m_status == SQL_ROW_ERROR || m_status == SQL_ROW_DELETED)
            return false;
        if (!SQL_SUCCEEDED(rc))
            throw failure(SQL_HANDLE_STMT, m_stmt->handle());
        ++m_db.m_statistics.positionedWrites;
        ++m_written;
        m_moved.emplace(hashOf(after), place);
        return true;
    }

private:
    using Column = BoundValue;

    static size_t hashOf(const QVariantList& values) { return qHash(valuesText(values)); }

    void close()
    {
        m_stmt.reset();
        m_places.clear();
        m_moved.clear();
        m_fetched = 0;
        m_written = 0;
        m_open = false;
    }

    // Runs the cursor's query and reads every row once, keeping its place by its values.
    void open()
    {
        if (m_open)
            return;
        try {
            walk();
        } catch (...) {
            close();
            throw;
        }
        m_open = true;
    }
    void walk()
    {
        m_stmt = m_db.fresh();
        const SQLHSTMT h = m_stmt->handle();
        m_stmt->check(SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, &m_status, 0));
        if (!m_db.runWritableCursor(*m_stmt, QStringLiteral("SELECT %1 FROM %2").arg(m_columns.join(QLatin1String(", ")), m_table),
                                    m_concurrency))
            throw CDbException(QStringLiteral("The ODBC driver gave no cursor over %1 that can write its rows "
                                              "where they stand.")
                                   .arg(m_table));
        m_buffers.assign(size_t(m_columns.size()), Column());
        for (qsizetype i = 0; i < m_columns.size(); ++i) {
            SQLWCHAR name[256];
            SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            m_stmt->check(SQLDescribeColW(h, SQLUSMALLINT(i + 1), name, SQLSMALLINT(std::size(name)), &nameLength,
                                          &sqlType, &size, &digits, &nullable));
            Column& c = m_buffers[size_t(i)];
            c.cType = readType(sqlType);
            if (c.cType == SQL_C_WCHAR) // a text of its declared width, or of a usual one where none is
                c.text.resize(size_t(size > 0 && size <= 65535 ? std::max<SQLULEN>(size, 255) : 1024) + 1);
            bind(SQLUSMALLINT(i + 1), c);
        }
        // Every row once, in the cursor's order, its place numbered from 1.
        SQLLEN place = 0;
        for (;;) {
            const SQLRETURN rc = SQLFetchScroll(h, SQL_FETCH_NEXT, 0);
            if (rc == SQL_NO_DATA)
                break;
            if (!SQL_SUCCEEDED(rc))
                m_stmt->fail();
            ++place;
            ++m_db.m_statistics.rowsFetched;
            if (grown() && !SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, place)))
                m_stmt->fail();
            readRow();
            m_places.emplace_back(hashOf(m_row), place);
        }
        std::sort(m_places.begin(), m_places.end());
        m_fetched = 0;
    }

    void bind(SQLUSMALLINT number, Column& c)
    {
        m_stmt->check(SQLBindCol(m_stmt->handle(), number, c.cType, c.target(), c.room(), &c.indicator));
    }

    // Makes every text buffer the fetch overflowed large enough for its value: whether any was.
    bool grown()
    {
        bool any = false;
        for (size_t i = 0; i < m_buffers.size(); ++i) {
            Column& c = m_buffers[i];
            if (c.cType != SQL_C_WCHAR || c.indicator == SQL_NULL_DATA)
                continue;
            const size_t room = (c.text.size() - 1) * sizeof(SQLWCHAR);
            if (c.indicator != SQL_NO_TOTAL && size_t(c.indicator) <= room)
                continue;
            const size_t chars = c.indicator == SQL_NO_TOTAL ? c.text.size() * 4 : size_t(c.indicator) / sizeof(SQLWCHAR);
            c.text.resize(std::max(chars, c.text.size()) + 1);
            bind(SQLUSMALLINT(i + 1), c);
            any = true;
        }
        return any;
    }

    // The values of the row fetched, as a query's cursor gives them.
    void readRow()
    {
        m_row.clear();
        m_row.reserve(m_columns.size());
        for (const Column& c : m_buffers) {
            if (c.indicator == SQL_NULL_DATA)
                m_row.append(QVariant());
            else if (c.cType == SQL_C_SLONG)
                m_row.append(QVariant(qint64(c.integer32)));
            else if (c.cType == SQL_C_SBIGINT)
                m_row.append(QVariant(qint64(c.integer)));
            else if (c.cType == SQL_C_DOUBLE)
                m_row.append(QVariant(c.real));
            else
                m_row.append(QVariant(QString(reinterpret_cast<const QChar*>(c.text.data()),
                                              qsizetype(c.indicator / SQLLEN(sizeof(SQLWCHAR))))));
        }
    }

    // Puts value into the buffer of a column to be written: the value as it will read back.
    QVariant put(SQLUSMALLINT number, Column& c, const QVariant& value)
    {
        if (value.isNull()) {
            c.indicator = SQL_NULL_DATA;
            return QVariant();
        }
        switch (c.cType) {
        case SQL_C_SLONG:
            c.integer32 = SQLINTEGER(value.toLongLong());
            c.indicator = 0;
            return QVariant(qint64(c.integer32));
        case SQL_C_SBIGINT:
            c.integer = value.toLongLong();
            c.indicator = 0;
            return QVariant(c.integer);
        case SQL_C_DOUBLE:
            c.real = value.toDouble();
            c.indicator = 0;
            return QVariant(c.real);
        default: break;
        }
        const QString text = value.toString();
        if (text.contains(QChar(0)))
            refuseNul(text);
        if (size_t(text.size()) + 1 > c.text.size()) {
            c.text.resize(size_t(text.size()) + 1);
            bind(number, c);
        }
        std::copy(text.utf16(), text.utf16() + text.size(), c.text.data());
        c.text[size_t(text.size())] = 0;
        c.indicator = SQLLEN(text.size() * qsizetype(sizeof(SQLWCHAR)));
        return QVariant(text);
    }

    OdbcConnection& m_db;
    QString m_table;
    QStringList m_columns; // every column, in the table's order
    SQLULEN m_concurrency;
    std::unique_ptr<Statement> m_stmt;
    std::vector<Column> m_buffers;
    SQLUSMALLINT m_status = 0;
    std::vector<std::pair<size_t, SQLLEN>> m_places;   // by hash of the values read
    std::unordered_multimap<size_t, SQLLEN> m_moved;   // rows written since, by their new values' hash
    QVariantList m_row;
    SQLLEN m_fetched = 0; // the place of the row in the buffers (0: none)
    qint64 m_written = 0; // rows written through this cursor
    bool m_open = false;
    QStringList m_orderOf;    // the names of the keys last put in order
    std::vector<int> m_order; // of each column, its place among them
};

// How the rows of one table are found.
struct OdbcConnection::TableInfo
{
    Locator locator = Locator::AllValues;
    QStringList keyNames;     // the key columns as the statements name them; empty: all values
    bool integerKey = false;  // the key is one column of integers (ranges of it can be read)
    QStringList allColumns;   // every column of the table, with brackets, in table order
    QStringList indexColumns; // Locator::Index: the columns of the index that narrows the search
    QString note;             // the monitor line
    SQLULEN concurrency = 0;  // Locator::Positioned: the keyset-driven cursor's concurrency
    std::unique_ptr<OdbcConnection::Keyset> keyset; // Locator::Positioned, once rows are looked for
};

// The rows of a query, read into buffers bound to the statement and kept from row to row.
class OdbcCursor : public Cursor
{
public:
    // keyCount: leading key columns before the selected ones; selected: the columns the
    // caller asked for; then the columns read only for a key of all values. cached: a kept
    // statement lent to this cursor (closed, not freed, at its end). The statement has been
    // executed; it may be executed again with other values, and the cursor reads its new rows.
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
            // A text whose width the driver declares is read into a buffer of that width; one
            // of no real width (the SQLite ODBC driver says 65536 for TEXT) into a buffer of a
            // text column's usual width, the rare longer value read again whole.
            const bool declared = size > 0 && size <= kBoundWidth;
            c.cType = readType(c.type);
            if (c.cType == SQL_C_WCHAR)
                c.text.resize((declared ? size : kReadWidth) + 1);
            // A driver that reads unbound columns only after the bound ones, and bound ones
            // not again, has its columns bound up to the first one that may not fit.
            const bool fits = c.cType != SQL_C_WCHAR || declared;
            if (!fits && !getDataAnyColumn)
                bindable = false;
            c.bound = getDataAnyColumn || (fits && bindable);
            if (c.bound)
                m_stmt->check(SQLBindCol(m_stmt->handle(), SQLUSMALLINT(i + 1), c.cType, c.target(), c.room(), &c.indicator));
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
            if (!c.bound) {
                readUnbound(SQLUSMALLINT(i + 1), c);
            } else if (c.cType == SQL_C_WCHAR) {
                c.chars = c.text.data();
                if (c.indicator == SQL_NULL_DATA)
                    c.length = 0;
                else if (c.indicator == SQL_NO_TOTAL
                         || size_t(c.indicator) > (c.text.size() - 1) * sizeof(SQLWCHAR))
                    readUnbound(SQLUSMALLINT(i + 1), c); // longer than the buffer: read again whole
                else
                    c.length = c.indicator;
            } else if (c.cType == SQL_C_SLONG && c.indicator != SQL_NULL_DATA) {
                c.integer = c.integer32;
            }
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
        return chars == 0 ? QString() : QString(reinterpret_cast<const QChar*>(c.chars), chars);
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
                any |= c.chars[i];
                c.ascii[size_t(i)] = char(c.chars[i]);
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
    // Every column of the row as read, the key columns first.
    int columnCount() const { return int(m_columns.size()); }
    QVariant rawValue(int column) const { return value(column - m_keyCount); }

private:
    // Texts of no declared width are read into buffers this wide first.
    static constexpr SQLULEN kReadWidth = 255;

    // text: the bound buffer, or the one an unbound column is read into.
    struct Column : BoundValue
    {
        QString name;
        SQLSMALLINT type = 0;
        bool bound = false;
        std::vector<char16_t> spill; // a bound column's value longer than its buffer
        const char16_t* chars = nullptr; // the row's text: in text or spill
        SQLLEN length = 0; // bytes of the text read
        mutable std::string ascii;
        mutable bool asciiReady = false;
        mutable bool isAscii = false;
    };

    const Column& at(int column) const { return m_columns[size_t(m_keyCount + column)]; }

    static qsizetype textLength(const Column& c) { return qsizetype(c.length / SQLLEN(sizeof(SQLWCHAR))); }

    void readUnbound(SQLUSMALLINT number, Column& c)
    {
        SQLHSTMT h = m_stmt->handle();
        if (c.cType != SQL_C_WCHAR) {
            const SQLRETURN rc = SQLGetData(h, number, c.cType, c.target(), 0, &c.indicator);
            if (!SQL_SUCCEEDED(rc))
                m_stmt->fail();
            if (c.cType == SQL_C_SLONG)
                c.integer = c.integer32;
            return;
        }
        // Read in pieces: the first fills the buffer, each further one what is left of the
        // value, into a buffer grown to hold it. A bound column's buffer stays as bound (the
        // driver writes the next row there); its longer value goes to a buffer of its own.
        std::vector<char16_t>& buffer = c.bound ? c.spill : c.text;
        if (buffer.size() < c.text.size())
            buffer.resize(c.text.size() * 2);
        size_t at = 0;
        for (;;) {
            const SQLLEN room = SQLLEN((buffer.size() - at) * sizeof(SQLWCHAR));
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(h, number, SQL_C_WCHAR, buffer.data() + at, room, &indicator);
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
            at = buffer.size() - 1;
            const size_t need = indicator == SQL_NO_TOTAL ? buffer.size() * 2
                                                          : at + size_t(indicator) / sizeof(SQLWCHAR) + 1;
            buffer.resize(std::max(need, buffer.size() * 2));
        }
        c.indicator = 0;
        c.length = SQLLEN(at * sizeof(SQLWCHAR));
        if (at + 1 > buffer.size())
            buffer.resize(at + 1);
        c.chars = buffer.data();
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

void OdbcConnection::limitWritesPerCursor(qint64 rows)
{
    g_writesPerCursor = rows;
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
    SQLUSMALLINT commitBehavior = 0;
    if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_CURSOR_COMMIT_BEHAVIOR, &commitBehavior, sizeof commitBehavior, nullptr)))
        m_cursorsOutliveCommit = commitBehavior == SQL_CB_PRESERVE;
    // PostgreSQL's driver (psqlODBC 13) fails at the 40,961st row written where it stands in
    // one cursor; its cursors are read again before they come near that.
    SQLWCHAR driver[64] = {};
    SQLSMALLINT driverLength = 0;
    if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DRIVER_NAME, driver, sizeof driver, &driverLength))
        && fromWide(driver, std::min<qsizetype>(driverLength / qsizetype(sizeof(SQLWCHAR)), qsizetype(std::size(driver)) - 1))
               .startsWith(QLatin1String("psqlodbc"), Qt::CaseInsensitive))
        m_writesPerCursor = kPsqlodbcWritesPerCursor;
    if (g_writesPerCursor.load() > 0)
        m_writesPerCursor = g_writesPerCursor.load();
    // The program writes names in brackets, as Access and SQLite take them. A driver that
    // refuses them gets them in the standard's double quotes where it says it takes those.
    SQLWCHAR quote[4] = {};
    SQLSMALLINT quoteLength = 0;
    if (SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &quoteLength))
        && quote[0] == u'"') {
        SQLHSTMT probe = nullptr;
        if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &probe))) {
            static const QString bracketed = QStringLiteral("SELECT 1 AS [quorvane]");
            m_quoteNames = !SQL_SUCCEEDED(
                SQLExecDirectW(probe, const_cast<SQLWCHAR*>(wide(bracketed)), SQLINTEGER(bracketed.size())));
            SQLFreeHandle(SQL_HANDLE_STMT, probe);
        }
    }
}

QString OdbcConnection::driverText(const QString& sql) const
{
    if (!m_quoteNames || !sql.contains(QLatin1Char('[')))
        return sql;
    // [name] becomes "name" outside the texts in quotes; a double quote in a name is doubled.
    QString text;
    text.reserve(sql.size() + 8);
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype end = sql.indexOf(c, i + 1);
            const qsizetype last = end < 0 ? sql.size() - 1 : end;
            text += sql.mid(i, last - i + 1);
            i = last;
        } else if (c == QLatin1Char('[')) {
            const qsizetype end = sql.indexOf(QLatin1Char(']'), i + 1);
            if (end < 0) {
                text += sql.mid(i);
                break;
            }
            text += QLatin1Char('"') + sql.mid(i + 1, end - i - 1).replace(QLatin1Char('"'), QStringLiteral("\"\""))
                    + QLatin1Char('"');
            i = end;
        } else {
            text += c;
        }
    }
    return text;
}

bool OdbcConnection::writesWhereRowsStand(unsigned long cursorType)
{
    SQLUSMALLINT attributes = 0;
    if (cursorType == SQL_CURSOR_KEYSET_DRIVEN)
        attributes = SQL_KEYSET_CURSOR_ATTRIBUTES1;
    else if (cursorType == SQL_CURSOR_STATIC)
        attributes = SQL_STATIC_CURSOR_ATTRIBUTES1;
    else
        return false;
    SQLUINTEGER offered = 0;
    return SQL_SUCCEEDED(SQLGetInfoW(SQLHDBC(m_dbc), attributes, &offered, sizeof offered, nullptr))
           && (offered & SQL_CA1_ABSOLUTE) && (offered & SQL_CA1_POS_UPDATE);
}

bool OdbcConnection::runWritableCursor(Statement& stmt, const QString& sql, unsigned long concurrency)
{
    const SQLHSTMT h = stmt.handle();
    stmt.check(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0));
    stmt.check(SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQLULEN(concurrency)), 0));
    stmt.executeDirect(sql);
    // The driver may give another cursor than asked for (it says so with a warning): a static
    // one serves as well where the driver writes rows where they stand in it.
    SQLULEN type = 0, given = 0;
    SQLGetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr);
    SQLGetStmtAttr(h, SQL_ATTR_CONCURRENCY, &given, 0, nullptr);
    return writesWhereRowsStand(type) && given != SQL_CONCUR_READ_ONLY;
}

bool OdbcConnection::givesWritableCursor(const QString& table, const QStringList& columns, unsigned long concurrency)
{
    try {
        return runWritableCursor(*fresh(), QStringLiteral("SELECT %1 FROM %2 WHERE 1 = 0").arg(columns.join(QLatin1String(", ")), table),
                                 concurrency);
    } catch (const CDbException&) {
        return false;
    }
}

unsigned long OdbcConnection::positionedConcurrency()
{
    SQLUINTEGER scroll = 0, attributes2 = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(SQLHDBC(m_dbc), SQL_SCROLL_OPTIONS, &scroll, sizeof scroll, nullptr))
        || !(scroll & SQL_SO_KEYSET_DRIVEN) || !writesWhereRowsStand(SQL_CURSOR_KEYSET_DRIVEN)
        || !SQL_SUCCEEDED(SQLGetInfoW(SQLHDBC(m_dbc), SQL_KEYSET_CURSOR_ATTRIBUTES2, &attributes2, sizeof attributes2,
                                      nullptr)))
        return 0;
    // Optimistic concurrency, so that a row another program changed since it was read is
    // refused rather than overwritten: by row versions, else by values; else locking.
    if (attributes2 & SQL_CA2_OPT_ROWVER_CONCURRENCY)
        return SQL_CONCUR_ROWVER;
    if (attributes2 & SQL_CA2_OPT_VALUES_CONCURRENCY)
        return SQL_CONCUR_VALUES;
    if (attributes2 & SQL_CA2_LOCK_CONCURRENCY)
        return SQL_CONCUR_LOCK;
    return 0;
}

OdbcConnection::Keyset& OdbcConnection::keysetOf(const QString& table)
{
    info(table);
    TableInfo& t = *m_tables.find(table)->second;
    if (!t.keyset)
        t.keyset = std::make_unique<Keyset>(*this, table, t.allColumns, t.concurrency);
    return *t.keyset;
}

void OdbcConnection::dropKeysets()
{
    for (auto& [name, table] : m_tables)
        table->keyset.reset();
}

OdbcConnection::~OdbcConnection()
{
    m_cache.clear();
    m_tables.clear();
    if (m_dbc) {
        if (m_transactionOpen) {
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
// 4. Every value of the row as read, each row written where it stands in a scrollable cursor
//    (SQLSetPos), where the driver says its keyset-driven cursors fetch a row by its place and
//    write it there (SQLGetInfo: SQL_KEYSET_CURSOR_ATTRIBUTES1 with SQL_CA1_ABSOLUTE and
//    SQL_CA1_POS_UPDATE) with a concurrency that refuses a row changed meanwhile. The table is
//    read once through the cursor, when a row is first looked for; each update then fetches
//    its row by its place (see Keyset).
// 5. Every value of the row as read, the search narrowed through an index of the table
//    (SQLStatistics): each update looks at the rows sharing the indexed value, not at the
//    whole table.
// 6. Every value of the row as read, with nothing to narrow the search: each update reads the
//    table once (the monitor line says so).
//
// Rows known by their values may have twins (rows equal in every column: the same QSO logged
// twice). They cannot be told apart by their values, so an update by their values writes
// them together and counts them.
//
// Microsoft's Access driver (one of the Desktop Database Drivers) gives for a table without a
// primary key: SQLSpecialColumns with SQL_BEST_ROWID returns a unique index when the table has
// one (all with the scope SQL_SCOPE_CURROW) and nothing otherwise, so a unique index is found
// in step 2 already; SQLStatistics lists the table's indexes (unique and not, with their
// cardinality). Positioned UPDATE statements (WHERE CURRENT OF) are not supported by those
// drivers; SQLSetPos with SQL_UPDATE is, on keyset-driven cursors only (forward-only cursors
// can't update, static ones come only from the cursor library, which cannot update through
// SQLSetPos). The drivers' keyset-driven cursors move over the Access engine's bookmarks, so
// they reach a row of a table without any index directly: step 4. The SQLite ODBC driver
// offers no keyset-driven cursor (its rowid serves in step 3); PostgreSQL's driver, on which
// the tests take step 4, gives a static cursor that writes rows where they stand instead of a
// keyset-driven one, which serves as well.
void OdbcConnection::chooseLocator(const QString& table, TableInfo& info)
{
    const QString bare = bareName(table);
    const Locator best = Locator(g_bestLocator.load());

    // Every column, and which hold no nulls, as the driver describes a query of none of its rows.
    QStringList notNull;
    std::map<QString, int> types; // the SQL data type of each column, by its bracketed name
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
                types[bracketed(row.value(3)).toLower()] = row.value(4).toInt();
            }
        } else {
            stmt->close();
        }
    }
    const auto integerColumn = [&](const QString& name) {
        const auto it = types.find(name.toLower());
        return it != types.end() && isIntegerType(SQLSMALLINT(it->second));
    };
    const auto setKey = [&](Locator locator, const QStringList& names, const QString& note) {
        info.locator = locator;
        info.keyNames = names;
        info.integerKey = names.size() == 1 && integerColumn(names.front());
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
            bool integer = false;
            for (const QStringList& row : catalogRows(*stmt, 8)) {
                // A pseudo column (a rowid) is named as the driver names it, without brackets;
                // a column of the table must hold no nulls to tell rows apart.
                const bool pseudo = row.value(7).toInt() == SQL_PC_PSEUDO;
                names.append(pseudo ? row.value(1) : bracketed(row.value(1)));
                integer = isIntegerType(SQLSMALLINT(row.value(2).toInt()));
                lasting = lasting && row.value(0).toInt() >= SQL_SCOPE_TRANSACTION
                          && (pseudo || notNull.contains(bracketed(row.value(1)), Qt::CaseInsensitive));
            }
            if (!names.isEmpty() && lasting) {
                setKey(Locator::BestRowId, names,
                       QStringLiteral("Rows of %1 are found by the driver's row identifier %2")
                           .arg(table, names.join(QLatin1String(", "))));
                info.integerKey = names.size() == 1 && integer;
                return;
            }
        } else {
            stmt->close();
        }
    }

    if (best <= Locator::Positioned) {
        const SQLULEN concurrency = positionedConcurrency();
        if (concurrency != 0 && givesWritableCursor(table, info.allColumns, concurrency)) {
            setKey(Locator::Positioned, {},
                   QStringLiteral("Rows of %1 have no key: each is found by all its values among the rows of a "
                                  "keyset-driven cursor, read once, and written where it stands; rows equal in every "
                                  "column are updated together")
                       .arg(table));
            info.concurrency = concurrency;
            return;
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
        info.indexColumns = chosen->columns;
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

QStringList OdbcConnection::searchColumns(const QString& table)
{
    const TableInfo& t = info(table);
    return t.locator == Locator::Index ? t.indexColumns : QStringList();
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

// The rows of a key found among those of a keyset-driven cursor: the columns asked for, as
// read when they were found, each with the key it was found by.
class KeysetRowCursor : public Cursor
{
public:
    KeysetRowCursor(std::vector<QVariantList> rows, RowKey key) : m_rows(std::move(rows)), m_key(std::move(key)) {}

    bool next() override
    {
        if (m_at >= m_rows.size())
            return false;
        ++m_at;
        return true;
    }
    QVariant value(int column) const override { return m_rows[m_at - 1].value(column); }
    QString text(int column) const override
    {
        const QVariant v = value(column);
        return v.isNull() ? QString() : v.toString();
    }
    qint64 integer(int column) const override
    {
        const QVariant v = value(column);
        return IsIntegerValue(v) ? v.toLongLong() : qint64(v.toString().trimmed().toLongLong());
    }
    bool isNull(int column) const override { return value(column).isNull(); }
    RowKey key() const override { return m_key; }

private:
    std::vector<QVariantList> m_rows;
    RowKey m_key;
    size_t m_at = 0;
};

namespace {
// Of each of names, its place among columns (-1 where it is not there).
std::vector<int> placesAmong(const QStringList& columns, const QStringList& names)
{
    std::vector<int> places;
    places.reserve(size_t(names.size()));
    for (const QString& name : names)
        places.push_back(int(nameAt(columns, name)));
    return places;
}
} // namespace

std::unique_ptr<Cursor> OdbcConnection::selectByKey(const QString& table, const std::vector<ColumnSpec>& columns,
                                                    const RowKey& key)
{
    const TableInfo& t = info(table);
    if (t.locator == Locator::Positioned && key.names.size() == t.allColumns.size()) {
        Keyset& keyset = keysetOf(table);
        const QVariantList values = keyset.valuesOf(key);
        if (values.isEmpty())
            throw CDbException(QStringLiteral("The record of %1 cannot be identified.").arg(table));
        QStringList asked;
        for (const ColumnSpec& c : columns)
            asked.append(c.name);
        const std::vector<int> places = placesAmong(keyset.columns(), asked);
        std::vector<QVariantList> rows;
        for (SQLLEN place : keyset.find(values)) {
            if (!keyset.fetch(place))
                continue;
            QVariantList row;
            for (int at : places)
                row.append(at < 0 ? QVariant() : keyset.row().at(at));
            rows.push_back(std::move(row));
        }
        return std::make_unique<KeysetRowCursor>(std::move(rows), key);
    }
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

namespace {

// Rows a range or group is worth reading for, rather than each row by itself: a statement
// costs the driver about as much as reading a few rows, and a group read holds every row that
// shares the index's values, also those of no key given.
constexpr size_t kRangeWorth = 4;
constexpr size_t kGroupWorth = 8;       // keys of one index value written by one statement
constexpr size_t kGroupReadWorth = 32;  // keys of one index value read again by one statement
constexpr size_t kInList = 32;          // index values of few keys each in one statement's list

// Whether a run of integer keys may take in the next one: keys rising, and the range they span
// at most twice as many as the keys in it (and a few), so that reading the range reads few
// rows besides them.
bool rangeTakes(qint64 first, qint64 last, qint64 next, size_t count)
{
    return next > last && next - first < 2 * qint64(count + 1) + 16;
}

// The end of the run of keys from ids[i] that one range may take (rangeTakes), ids rising.
size_t rangeEnd(const std::vector<qint64>& ids, size_t i)
{
    size_t j = i + 1;
    while (j < ids.size() && rangeTakes(ids[i], ids[j - 1], ids[j], j - i))
        ++j;
    return j;
}

// "column IN (?, ?, ...)" with count places for values.
QString inList(const QString& column, qsizetype count)
{
    QString list = column + QStringLiteral(" IN (?");
    for (qsizetype i = 1; i < count; ++i)
        list += QLatin1String(", ?");
    list += QLatin1Char(')');
    return list;
}


// Whether the database's own comparison might find them equal where the program's does not:
// Access compares texts without regard to case and to blanks at their end.
bool maybeSameValue(const QVariant& read, const QVariant& wanted)
{
    if (sameValue(read, wanted))
        return true;
    if (read.isNull() || wanted.isNull())
        return false;
    QString a = read.toString(), b = wanted.toString();
    while (a.endsWith(QLatin1Char(' ')))
        a.chop(1);
    while (b.endsWith(QLatin1Char(' ')))
        b.chop(1);
    return a.compare(b, Qt::CaseInsensitive) == 0;
}


QString setList(const std::vector<ColumnSpec>& columns)
{
    QString list;
    for (const ColumnSpec& c : columns) {
        if (!list.isEmpty())
            list += QLatin1String(", ");
        list += c.name + QLatin1String(" = ?");
    }
    return list;
}

// "a = ? AND b IS NULL ...": each name compared with its value, a null one with IS NULL.
QString conditionList(const QStringList& names, const std::function<bool(qsizetype)>& isNull)
{
    QString list;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (!list.isEmpty())
            list += QLatin1String(" AND ");
        list += names.at(i) + (isNull(i) ? QLatin1String(" IS NULL") : QLatin1String(" = ?"));
    }
    return list;
}

QStringList namesOf(const std::vector<ColumnSpec>& columns)
{
    QStringList names;
    for (const ColumnSpec& c : columns)
        names.append(c.name);
    return names;
}

} // namespace

// The updates of one set of columns of a table, by key, each statement text (one for each
// pattern of null key values and expected values) made once and kept by the connection. A
// conditional one also writes many rows at once where one statement can reach just them: a
// range of an integer key, or the rows sharing the values of the index that narrows a search
// by all values.
class OdbcConnection::PreparedConditionalUpdate : public ConditionalUpdate
{
public:
    PreparedConditionalUpdate(OdbcConnection& db, QString table, std::vector<ColumnSpec> columns,
                              std::vector<ColumnSpec> conditions, bool conditional)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns)), m_conditions(std::move(conditions)),
          m_conditional(conditional), m_info(db.info(m_table)), m_conditionNames(namesOf(m_conditions))
    {
    }

    // The rows written: UPDATE table SET columns = values WHERE key [AND conditions].
    // textsNotNull: a text column is written as a text even where its value is null (an
    // emptied text is an empty text, which the driver would take for NULL if it were a null
    // string).
    qint64 write(const RowKey& key, const std::function<void(Statement&, int&)>& bindValues,
                 const QVariantList& expected)
    {
        if (key.names.isEmpty() || key.names.size() != key.values.size())
            throw CDbException(QStringLiteral("The record of %1 cannot be identified.").arg(m_table));
        Statement& stmt = statement(key, expected);
        int at = 0;
        bindValues(stmt, at);
        for (const QVariant& v : key.values) {
            if (!v.isNull())
                stmt.setValue(at++, v);
        }
        if (m_conditional) {
            for (qsizetype i = 0; i < qsizetype(m_conditions.size()); ++i) {
                const QVariant& v = expected.value(i);
                if (!v.isNull())
                    stmt.setValue(at++, v);
            }
        }
        return stmt.executeUpdate();
    }
    void bindValues(Statement& stmt, int& at, const QVariantList& values, bool textsNotNull) const
    {
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const QVariant& v = values.value(qsizetype(i));
            const bool text = m_columns[i].type == ColumnType::Text;
            if (text && (textsNotNull || !v.isNull()))
                stmt.setText(at++, v.toString()); // a null text is written as an empty one
            else if (v.isNull())
                stmt.setNull(at++, !text);
            else
                stmt.setValue(at++, v);
        }
    }

    qint64 run(const RowKey& key, const QVariantList& values, const QVariantList& expected) override
    {
        if (positionable(key))
            return writeWhereTheyStand(key, values, expected, false);
        return write(key, [&](Statement& stmt, int& at) { bindValues(stmt, at, values, false); }, expected);
    }

    // Whether key is all the values of a row of a table whose rows are written where they stand.
    bool positionable(const RowKey& key) const
    {
        return m_info.locator == Locator::Positioned && key.names.size() == m_info.allColumns.size();
    }
    // The rows holding key's values (twins together) and the expected values, each written
    // where it stands in the table's keyset-driven cursor: how many were written.
    qint64 writeWhereTheyStand(const RowKey& key, const QVariantList& values, const QVariantList& expected,
                               bool textsNotNull)
    {
        Keyset& keyset = m_db.keysetOf(m_table);
        if (m_columnsAt.empty()) {
            m_columnsAt = placesAmong(keyset.columns(), namesOf(m_columns));
            m_conditionsAt = placesAmong(keyset.columns(), m_conditionNames);
            const auto missing = [](const std::vector<int>& at) {
                return std::find(at.begin(), at.end(), -1) != at.end();
            };
            if (missing(m_columnsAt) || (m_conditional && missing(m_conditionsAt)))
                throw CDbException(QStringLiteral("A column to write or compare is not in %1.").arg(m_table));
        }
        const QVariantList ordered = keyset.valuesOf(key);
        if (ordered.isEmpty())
            throw CDbException(QStringLiteral("The record of %1 cannot be identified.").arg(m_table));
        qint64 written = 0;
        for (SQLLEN place : keyset.find(ordered)) {
            if (m_conditional) {
                if (!keyset.fetch(place))
                    continue;
                bool holds = true;
                for (size_t i = 0; holds && i < m_conditionsAt.size(); ++i)
                    holds = sameValue(keyset.row().at(m_conditionsAt[i]), expected.value(qsizetype(i)));
                if (!holds)
                    continue;
            }
            if (keyset.write(place, m_columnsAt, values, textsNotNull))
                ++written;
        }
        return written;
    }

    std::vector<size_t> runAdjacent(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                    const QVariantList& expected) override
    {
        const std::vector<qint64> written = runEach(keys, values, expected, {});
        std::vector<size_t> notWritten;
        for (size_t i = 0; i < written.size(); ++i) {
            if (written[i] == 0)
                notWritten.push_back(i);
        }
        return notWritten;
    }

    std::vector<qint64> runEach(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                const QVariantList& expected, const std::function<void()>& progress) override
    {
        if (rangeable(keys))
            return runRanges(keys, values, [&](size_t) -> const QVariantList& { return expected; }, progress);
        if (keys.size() >= 2 && m_info.locator == Locator::Index && groupable(keys))
            return runGroups(keys, values, [&](size_t) -> const QVariantList& { return expected; }, progress);
        return ConditionalUpdate::runEach(keys, values, expected, progress);
    }

    std::vector<qint64> runEachExpecting(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                         const std::vector<QVariantList>& expected,
                                         const std::function<void()>& progress) override
    {
        if (!keys.empty() && std::all_of(expected.begin(), expected.end(), [&](const QVariantList& e) {
                return e == expected.front();
            }))
            return runEach(keys, values, expected.front(), progress);
        if (rangeable(keys))
            return runRanges(keys, values, [&](size_t k) -> const QVariantList& { return expected[k]; }, progress);
        if (keys.size() >= 2 && m_info.locator == Locator::Index && groupable(keys))
            return runGroups(keys, values, [&](size_t k) -> const QVariantList& { return expected[k]; }, progress);
        return ConditionalUpdate::runEachExpecting(keys, values, expected, progress);
    }

    std::vector<qint64> runEachOwn(const std::vector<const RowKey*>& keys, const std::vector<QVariantList>& values,
                                   const std::vector<QVariantList>& expected,
                                   const std::function<void()>& progress) override
    {
        if (!keys.empty() && std::all_of(values.begin(), values.end(), [&](const QVariantList& v) {
                return v == values.front();
            }))
            return runEachExpecting(keys, values.front(), expected, progress);
        if (rangeable(keys) && m_conditional)
            return runChecked(keys, values, expected, progress);
        return ConditionalUpdate::runEachOwn(keys, values, expected, progress);
    }

private:
    // The statement for key's pattern of names and null values (and expected values').
    Statement& statement(const RowKey& key, const QVariantList& expected)
    {
        m_pattern.clear();
        // The table's own key is the same list of names every time; any other (a key kept
        // from a run on another locator) is told by its names.
        const bool tableKey = key.names == m_info.keyNames;
        if (!tableKey)
            m_pattern = key.names.join(QChar(0x1f)).toStdString() + '\x1e';
        for (const QVariant& v : key.values)
            m_pattern += v.isNull() ? 'N' : 'V';
        m_pattern += '|';
        if (m_conditional) {
            for (size_t i = 0; i < m_conditions.size(); ++i)
                m_pattern += expected.value(qsizetype(i)).isNull() ? 'N' : 'V';
        }
        auto it = m_statements.find(m_pattern);
        if (it != m_statements.end())
            return *it->second;
        QString sql = QStringLiteral("UPDATE ") + m_table + QStringLiteral(" SET ") + setList(m_columns)
                      + QStringLiteral(" WHERE ")
                      + conditionList(key.names, [&](qsizetype i) { return key.values.at(i).isNull(); });
        if (m_conditional && !m_conditions.empty())
            sql += QStringLiteral(" AND ")
                   + conditionList(m_conditionNames, [&](qsizetype i) { return expected.value(i).isNull(); });
        Statement& stmt = m_db.cached(sql);
        m_statements.emplace(m_pattern, &stmt);
        return stmt;
    }

    // A statement of this update's own, made once by its text.
    Statement& own(const QString& sql)
    {
        auto it = m_own.find(sql);
        if (it != m_own.end())
            return *it->second.stmt;
        Own o;
        o.stmt = m_db.fresh();
        o.stmt->prepare(sql);
        return *m_own.emplace(sql, std::move(o)).first->second.stmt;
    }
    // The rows of a query statement of this update's own, run with values.
    OdbcCursor& query(const QString& sql, const QVariantList& values)
    {
        Statement& stmt = own(sql);
        Own& o = m_own.find(sql)->second;
        stmt.bind(values);
        stmt.execute();
        if (!o.cursor)
            o.cursor = std::make_unique<OdbcCursor>(nullptr, &stmt, 0, nullptr, false, m_db.m_getDataAnyColumn);
        return *o.cursor;
    }

    // Whether keys are many of the table's own integer key, which ranges of it can reach.
    bool rangeable(const std::vector<const RowKey*>& keys) const
    {
        return keys.size() >= kRangeWorth && m_info.integerKey
               && std::all_of(keys.begin(), keys.end(), [&](const RowKey* k) {
                      return k->names == m_info.keyNames && k->values.size() == 1 && IsIntegerValue(k->values.front());
                  });
    }

    using ExpectedOf = std::function<const QVariantList&(size_t)>;

    // Keys of one integer column: runs of rising keys of a narrow range, each read and written
    // by a statement over its range where no row of the range but these can meet the condition.
    // expectedOf(k): the expected values of keys[k].
    std::vector<qint64> runRanges(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                  const ExpectedOf& expectedOf, const std::function<void()>& progress)
    {
        std::vector<qint64> written(keys.size(), 0);
        std::vector<qint64> ids(keys.size());
        for (size_t i = 0; i < keys.size(); ++i)
            ids[i] = keys[i]->values.front().toLongLong();
        size_t done = 0;
        for (size_t i = 0; i < keys.size();) {
            const size_t j = rangeEnd(ids, i);
            if (j - i < kRangeWorth || !writeRange(ids, i, j, values, expectedOf, written)) {
                for (size_t k = i; k < j; ++k)
                    written[k] = run(*keys[k], values, expectedOf(k));
            }
            reportRows(progress, done, j - i);
            i = j;
        }
        return written;
    }

    // Writes the keys [i, j) (rising) by one statement over their range; false, having written
    // nothing, where a row of the range that is none of them might meet the statement's
    // condition, or one of them might without holding all its own expected values (or might in
    // the database's eyes and not in the program's). The statement compares the condition
    // columns whose expected values the keys of the range share; the others are compared as
    // the range is read.
    bool writeRange(const std::vector<qint64>& ids, size_t i, size_t j, const QVariantList& values,
                    const ExpectedOf& expectedOf, std::vector<qint64>& written)
    {
        const QString& key = m_info.keyNames.front();
        const QString range = key + QStringLiteral(" >= ? AND ") + key + QStringLiteral(" <= ?");
        const QVariantList bounds{QVariant(ids[i]), QVariant(ids[j - 1])};
        QString list = key;
        for (const QString& name : m_conditionNames)
            list += QLatin1String(", ") + name;
        for (const ColumnSpec& c : m_columns)
            list += QLatin1String(", ") + c.name;
        const QString read = QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(list, m_table, range);
        const int conditionCount = m_conditional ? int(m_conditions.size()) : 0;

        // The condition columns the statement compares: those of one expected value for all.
        const QVariantList& firstExpected = expectedOf(i);
        std::vector<char> shared(size_t(conditionCount), 1);
        for (size_t k = i + 1; k < j; ++k) {
            const QVariantList& e = expectedOf(k);
            for (int c = 0; c < conditionCount; ++c) {
                if (shared[size_t(c)] && !sameValue(e.value(c), firstExpected.value(c)))
                    shared[size_t(c)] = 0;
            }
        }

        // Which of the keys meet their condition now; whether another row of the range, or one
        // of them not meeting its own, might meet the statement's.
        std::vector<char> meets(j - i, 0);
        OdbcCursor& before = query(read, bounds);
        while (before.next()) {
            const qint64 id = before.rawValue(0).toLongLong();
            const auto at = std::lower_bound(ids.begin() + qsizetype(i), ids.begin() + qsizetype(j), id);
            const bool ours = at != ids.begin() + qsizetype(j) && *at == id;
            const QVariantList& own = ours ? expectedOf(size_t(at - ids.begin())) : firstExpected;
            bool same = ours, maybe = true;
            for (int c = 0; c < conditionCount; ++c) {
                const QVariant v = before.rawValue(1 + c);
                same = same && sameValue(v, own.value(c));
                if (shared[size_t(c)])
                    maybe = maybe && maybeSameValue(v, firstExpected.value(c));
            }
            if (same)
                meets[size_t(at - ids.begin()) - i] = 1;
            else if (maybe)
                return false;
        }
        const qint64 predicted = std::count(meets.begin(), meets.end(), 1);
        if (predicted > 0) {
            QStringList sharedNames;
            QVariantList sharedValues;
            for (int c = 0; c < conditionCount; ++c) {
                if (shared[size_t(c)]) {
                    sharedNames.append(m_conditionNames.at(c));
                    sharedValues.append(firstExpected.value(c));
                }
            }
            QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(m_table, setList(m_columns), range);
            if (!sharedNames.isEmpty())
                sql += QStringLiteral(" AND ")
                       + conditionList(sharedNames, [&](qsizetype c) { return sharedValues.at(c).isNull(); });
            Statement& update = m_db.cached(sql);
            int at = 0;
            bindValues(update, at, values, false);
            update.setValue(at++, bounds.at(0));
            update.setValue(at++, bounds.at(1));
            for (const QVariant& v : std::as_const(sharedValues)) {
                if (!v.isNull())
                    update.setValue(at++, v);
            }
            const qint64 rows = update.executeUpdate();
            if (rows != predicted) {
                // Another program changed a row between the two statements: the rows that
                // hold the values now are the ones written.
                std::fill(meets.begin(), meets.end(), 0);
                OdbcCursor& after = query(read, bounds);
                while (after.next()) {
                    const qint64 id = after.rawValue(0).toLongLong();
                    const auto at2 = std::lower_bound(ids.begin() + qsizetype(i), ids.begin() + qsizetype(j), id);
                    if (at2 == ids.begin() + qsizetype(j) || *at2 != id)
                        continue;
                    bool holds = true;
                    for (size_t c = 0; c < m_columns.size(); ++c)
                        holds = holds && sameValue(after.rawValue(1 + conditionCount + int(c)), values.value(qsizetype(c)));
                    meets[size_t(at2 - ids.begin()) - i] = holds ? 1 : 0;
                }
            }
        }
        for (size_t k = i; k < j; ++k)
            written[k] = meets[k - i];
        return true;
    }

    // Keys of one integer column, each with values and expected values of its own: each run
    // of rising keys of a narrow range read by one statement, the condition columns this update
    // does not write compared as read; a row that holds all its expected values is written by
    // a statement of its key and the written columns' conditions alone, any other as run()
    // writes it.
    std::vector<qint64> runChecked(const std::vector<const RowKey*>& keys, const std::vector<QVariantList>& values,
                                   const std::vector<QVariantList>& expected, const std::function<void()>& progress)
    {
        std::vector<qint64> written(keys.size(), 0);
        std::vector<qint64> ids(keys.size());
        for (size_t i = 0; i < keys.size(); ++i)
            ids[i] = keys[i]->values.front().toLongLong();
        const QString& key = m_info.keyNames.front();
        QString list = key;
        for (const QString& name : m_conditionNames)
            list += QLatin1String(", ") + name;
        const QString read = QStringLiteral("SELECT %1 FROM %2 WHERE %3 >= ? AND %3 <= ?").arg(list, m_table, key);
        // The conditions on written columns, which each row's own statement compares.
        std::vector<int> ownAt;
        for (size_t c = 0; c < m_conditions.size(); ++c) {
            if (std::any_of(m_columns.begin(), m_columns.end(), [&](const ColumnSpec& w) {
                    return w.name.compare(m_conditions[c].name, Qt::CaseInsensitive) == 0;
                }))
                ownAt.push_back(int(c));
        }
        std::vector<char> holds;
        size_t done = 0;
        for (size_t i = 0; i < keys.size();) {
            const size_t j = rangeEnd(ids, i);
            holds.assign(j - i, 0);
            if (j - i >= kRangeWorth) {
                OdbcCursor& rows = query(read, {QVariant(ids[i]), QVariant(ids[j - 1])});
                while (rows.next()) {
                    const qint64 id = rows.rawValue(0).toLongLong();
                    const auto at = std::lower_bound(ids.begin() + qsizetype(i), ids.begin() + qsizetype(j), id);
                    if (at == ids.begin() + qsizetype(j) || *at != id)
                        continue;
                    const size_t k = size_t(at - ids.begin());
                    bool same = true;
                    for (int c = 0; c < int(m_conditions.size()); ++c)
                        same = same && sameValue(rows.rawValue(1 + c), expected[k].value(c));
                    holds[k - i] = same ? 1 : 0;
                }
            }
            for (size_t k = i; k < j; ++k)
                written[k] = holds[k - i] ? leanWrite(*keys[k], values[k], expected[k], ownAt)
                                          : run(*keys[k], values[k], expected[k]);
            reportRows(progress, done, j - i);
            i = j;
        }
        return written;
    }

    // UPDATE table SET columns = values WHERE key AND the conditions at ownAt: a row whose
    // other condition columns were compared as it was read.
    qint64 leanWrite(const RowKey& key, const QVariantList& values, const QVariantList& expected,
                     const std::vector<int>& ownAt)
    {
        m_pattern.assign(1, 'L');
        for (const QVariant& v : key.values)
            m_pattern += v.isNull() ? 'N' : 'V';
        m_pattern += '|';
        for (int c : ownAt)
            m_pattern += expected.value(c).isNull() ? 'N' : 'V';
        auto it = m_statements.find(m_pattern);
        if (it == m_statements.end()) {
            QStringList names;
            for (int c : ownAt)
                names.append(m_conditionNames.at(c));
            QString sql = QStringLiteral("UPDATE ") + m_table + QStringLiteral(" SET ") + setList(m_columns)
                          + QStringLiteral(" WHERE ")
                          + conditionList(key.names, [&](qsizetype i) { return key.values.at(i).isNull(); });
            if (!names.isEmpty())
                sql += QStringLiteral(" AND ")
                       + conditionList(names, [&](qsizetype i) { return expected.value(ownAt[size_t(i)]).isNull(); });
            it = m_statements.emplace(m_pattern, &m_db.cached(sql)).first;
        }
        Statement& stmt = *it->second;
        int at = 0;
        bindValues(stmt, at, values, false);
        for (const QVariant& v : key.values) {
            if (!v.isNull())
                stmt.setValue(at++, v);
        }
        for (int c : ownAt) {
            const QVariant& v = expected.value(c);
            if (!v.isNull())
                stmt.setValue(at++, v);
        }
        return stmt.executeUpdate();
    }

    // Whether keys known by all their values can be grouped by the index's values: the same
    // names for all, holding the index's columns and the condition's and written ones.
    bool groupable(const std::vector<const RowKey*>& keys)
    {
        const QStringList& names = keys.front()->names;
        if (names.isEmpty() || !m_info.keyNames.isEmpty() || m_info.indexColumns.isEmpty())
            return false;
        for (const RowKey* k : keys) {
            if (k->names != names || k->values.size() != names.size())
                return false;
        }
        m_indexAt.clear();
        for (const QString& c : m_info.indexColumns) {
            const qsizetype at = nameAt(names, c);
            if (at < 0)
                return false;
            m_indexAt.push_back(int(at));
        }
        m_conditionAt.clear();
        for (const QString& c : m_conditionNames) {
            const qsizetype at = nameAt(names, c);
            if (at < 0)
                return false;
            m_conditionAt.push_back(int(at));
        }
        m_columnAt.clear();
        for (const ColumnSpec& c : m_columns) {
            const qsizetype at = nameAt(names, c.name);
            if (at < 0)
                return false;
            m_columnAt.push_back(int(at));
        }
        // Where each of the key's columns stands in a row of SELECT *.
        m_starAt.clear();
        for (const QString& name : names) {
            const qsizetype at = nameAt(m_info.allColumns, name);
            if (at < 0)
                return false;
            m_starAt.push_back(int(at));
        }
        return true;
    }

    // Keys known by all their values: grouped by the values of the index, a group of many
    // keys read whole through the index and written by one statement where no row of it but
    // theirs can meet the condition.
    std::vector<qint64> runGroups(const std::vector<const RowKey*>& keys, const QVariantList& values,
                                  const ExpectedOf& expectedOf, const std::function<void()>& progress)
    {
        std::vector<qint64> written(keys.size(), 0);
        std::vector<std::vector<size_t>> groups;
        QHash<QString, size_t> groupOf;
        for (size_t i = 0; i < keys.size(); ++i) {
            QVariantList indexValues;
            for (int at : m_indexAt)
                indexValues.append(keys[i]->values.at(at));
            const QString text = valuesText(indexValues);
            auto it = groupOf.find(text);
            if (it == groupOf.end()) {
                it = groupOf.insert(text, groups.size());
                groups.emplace_back();
            }
            groups[*it].push_back(i);
        }
        // Groups of few keys are written together, many index values in one statement, where
        // the index is one column.
        size_t done = 0;
        const bool inList = m_indexAt.size() == 1;
        std::vector<const std::vector<size_t>*> bundle, left;
        const auto eachKey = [&](const std::vector<size_t>& group) {
            for (size_t k : group)
                written[k] = run(*keys[k], values, expectedOf(k));
        };
        const auto write = [&](const std::vector<const std::vector<size_t>*>& some) {
            writeGroups(keys, some, values, expectedOf, written, left);
            for (const std::vector<size_t>* group : left)
                eachKey(*group);
        };
        for (const std::vector<size_t>& group : groups) {
            if (group.size() >= kGroupWorth) {
                write({&group});
            } else if (inList && !keys[group.front()]->values.at(m_indexAt.front()).isNull()) {
                bundle.push_back(&group);
                if (bundle.size() == kInList) {
                    write(bundle);
                    bundle.clear();
                }
            } else {
                eachKey(group);
            }
            reportRows(progress, done, group.size());
        }
        if (bundle.size() == 1)
            eachKey(*bundle.front());
        else if (!bundle.empty())
            write(bundle);
        return written;
    }

    // The condition on the index's values that reaches the rows of groups: one group by its
    // index values (a null one by IS NULL), many (of an index of one column, none of them null)
    // by a list of them. The values to bind are appended to bindings.
    QString indexCondition(const std::vector<const RowKey*>& keys, const std::vector<const std::vector<size_t>*>& groups,
                           QVariantList& bindings) const
    {
        const RowKey& first = *keys[groups.front()->front()];
        if (groups.size() == 1) {
            QStringList indexNames;
            for (int at : m_indexAt) {
                indexNames.append(first.names.at(at));
                if (!first.values.at(at).isNull())
                    bindings.append(first.values.at(at));
            }
            return conditionList(indexNames, [&](qsizetype i) { return first.values.at(m_indexAt[size_t(i)]).isNull(); });
        }
        const int at = m_indexAt.front();
        for (const std::vector<size_t>* group : groups)
            bindings.append(keys[group->front()]->values.at(at));
        return inList(first.names.at(at), qsizetype(groups.size()));
    }

    // Writes the keys of groups by one statement over the index's values and the conditions
    // whose expected values all the keys share. A group is written so where the rows that
    // statement reaches of its index values, as read by the same condition, are all of its
    // keys' values and hold their own expected values in the other condition columns; any
    // other group is left (in left, nothing of it written), as are all where a row read
    // cannot be told to be of one of them.
    void writeGroups(const std::vector<const RowKey*>& keys, const std::vector<const std::vector<size_t>*>& groups,
                     const QVariantList& values, const ExpectedOf& expectedOf, std::vector<qint64>& written,
                     std::vector<const std::vector<size_t>*>& left)
    {
        left.clear();
        const QVariantList& expected = expectedOf(groups.front()->front());
        const int conditionCount = m_conditional ? int(m_conditions.size()) : 0;
        std::vector<char> shared(size_t(conditionCount), 1);
        for (const std::vector<size_t>* group : groups) {
            for (size_t k : *group) {
                const QVariantList& e = expectedOf(k);
                for (int c = 0; c < conditionCount; ++c) {
                    if (shared[size_t(c)] && !sameValue(e.value(c), expected.value(c)))
                        shared[size_t(c)] = 0;
                }
            }
        }
        QStringList sharedNames;
        QVariantList sharedValues;
        for (int c = 0; c < conditionCount; ++c) {
            if (shared[size_t(c)]) {
                sharedNames.append(m_conditionNames.at(c));
                sharedValues.append(expected.value(c));
            }
        }
        const auto whereOf = [&](const std::vector<const std::vector<size_t>*>& some, QVariantList& bindings) {
            QString where = indexCondition(keys, some, bindings);
            if (!sharedNames.isEmpty()) {
                where += QStringLiteral(" AND ")
                         + conditionList(sharedNames, [&](qsizetype i) { return sharedValues.at(i).isNull(); });
                for (const QVariant& v : std::as_const(sharedValues)) {
                    if (!v.isNull())
                        bindings.append(v);
                }
            }
            return where;
        };

        // The keys of the groups by their values: the first key of each, its group, and the
        // rows of those values the statement would reach; the groups by their index values.
        struct Ours
        {
            size_t first;
            size_t group;
            qint64 reached = 0;
        };
        QHash<QString, Ours> ours;
        QHash<QString, size_t> groupOf;
        QVariantList indexValues;
        for (size_t g = 0; g < groups.size(); ++g) {
            for (size_t k : *groups[g]) {
                const QString text = valuesText(keys[k]->values);
                if (!ours.contains(text))
                    ours.insert(text, Ours{k, g});
            }
            indexValues.clear();
            for (int at : m_indexAt)
                indexValues.append(keys[groups[g]->front()]->values.at(at));
            groupOf.insert(valuesText(indexValues), g);
        }
        QVariantList row;
        const auto readRow = [&](OdbcCursor& cursor) {
            row.clear();
            for (int at : m_starAt)
                row.append(cursor.rawValue(at));
        };
        std::vector<char> spoiled(groups.size(), 0);
        QVariantList bindings;
        const QString where = whereOf(groups, bindings);
        OdbcCursor& before = query(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(m_table, where), bindings);
        while (before.next()) {
            readRow(before);
            auto it = ours.find(valuesText(row));
            bool fits = it != ours.end();
            if (fits) {
                const QVariantList& own = expectedOf(it->first);
                for (int c = 0; fits && c < conditionCount; ++c)
                    fits = shared[size_t(c)] || sameValue(row.value(m_conditionAt[size_t(c)]), own.value(c));
            }
            if (fits) {
                ++it->reached;
                continue;
            }
            // A row of none of them, or of one that does not hold its own: its group is left.
            indexValues.clear();
            for (int at : m_indexAt)
                indexValues.append(row.value(at));
            const auto g = groupOf.find(valuesText(indexValues));
            if (g == groupOf.end()) {
                left = groups;
                return;
            }
            spoiled[*g] = 1;
        }
        std::vector<const std::vector<size_t>*> kept;
        for (size_t g = 0; g < groups.size(); ++g)
            (spoiled[g] ? left : kept).push_back(groups[g]);
        if (kept.empty())
            return;
        qint64 predicted = 0;
        for (const Ours& o : std::as_const(ours)) {
            if (!spoiled[o.group])
                predicted += o.reached;
        }
        if (predicted > 0) {
            bindings.clear();
            const QString keptWhere = whereOf(kept, bindings);
            Statement& update = m_db.cached(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(m_table, setList(m_columns), keptWhere));
            int at = 0;
            bindValues(update, at, values, false);
            for (const QVariant& v : std::as_const(bindings))
                update.setValue(at++, v);
            const qint64 rows = update.executeUpdate();
            if (rows != predicted) {
                // Another program changed a row between the two statements: the rows that
                // hold the values now are the ones written.
                QHash<QString, QString> afterOf; // values as written -> as read
                for (auto it = ours.begin(); it != ours.end(); ++it) {
                    if (spoiled[it->group])
                        continue;
                    QVariantList changed = keys[it->first]->values;
                    for (size_t c = 0; c < m_columns.size(); ++c)
                        changed[m_columnAt[c]] = values.value(qsizetype(c));
                    afterOf.insert(valuesText(changed), it.key());
                    it->reached = 0;
                }
                QVariantList keptIndex;
                const QString index = indexCondition(keys, kept, keptIndex);
                OdbcCursor& after = query(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(m_table, index), keptIndex);
                while (after.next()) {
                    readRow(after);
                    auto it = afterOf.find(valuesText(row));
                    if (it != afterOf.end())
                        ++ours[*it].reached;
                }
            }
        }
        for (const Ours& o : std::as_const(ours)) {
            if (!spoiled[o.group])
                written[o.first] = o.reached;
        }
    }

    struct Own
    {
        std::unique_ptr<Statement> stmt;
        std::unique_ptr<OdbcCursor> cursor; // goes before the statement it reads
    };

    OdbcConnection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
    std::vector<ColumnSpec> m_conditions;
    bool m_conditional;
    const TableInfo& m_info;
    QStringList m_conditionNames;
    std::string m_pattern;
    std::map<std::string, Statement*> m_statements;
    std::vector<int> m_columnsAt;    // Locator::Positioned: the written columns' places in the cursor
    std::vector<int> m_conditionsAt; // and the compared ones'
    std::map<QString, Own> m_own;
    std::vector<int> m_indexAt, m_conditionAt, m_columnAt, m_starAt;
};

// Row updates: the same statements, every changed column written (a text never as null), and
// a key of all values following the values written.
class OdbcConnection::PreparedUpdate : public RowUpdate
{
public:
    PreparedUpdate(OdbcConnection& db, QString table, std::vector<ColumnSpec> columns)
        : m_db(db), m_table(table), m_columns(columns), m_writer(db, std::move(table), std::move(columns), {}, false)
    {
    }
    qint64 run(RowKey& key, const QVariantList& values) override
    {
        const qint64 rows =
            m_writer.positionable(key)
                ? m_writer.writeWhereTheyStand(key, values, {}, true)
                : m_writer.write(key, [&](Statement& stmt, int& at) { m_writer.bindValues(stmt, at, values, true); }, {});
        written(key, rows, [&](size_t i) {
            const QVariant& v = values.value(qsizetype(i));
            if (m_columns[i].type != ColumnType::Text)
                return v;
            const QString text = v.toString();
            return QVariant(text.isNull() ? QStringLiteral("") : text);
        });
        return rows;
    }
    qint64 run(RowKey& key, const UpdateValue* values, int count) override
    {
        if (count != int(m_columns.size()) || m_writer.positionable(key))
            return RowUpdate::run(key, values, count);
        const qint64 rows = m_writer.write(
            key,
            [&](Statement& stmt, int& at) {
                for (int i = 0; i < count; ++i) {
                    if (values[i].isText)
                        stmt.setUtf8(at++, values[i].utf8);
                    else
                        stmt.setInteger(at++, values[i].number);
                }
            },
            {});
        written(key, rows, [&](size_t i) {
            const UpdateValue& v = values[i];
            return v.isText ? QVariant(QString::fromUtf8(v.utf8.data(), qsizetype(v.utf8.size())))
                            : QVariant(qint64(v.number));
        });
        return rows;
    }

private:
    // A key read with the table's own key names one row, which must be the one written; rows
    // known by their values may have twins, written with it. Such a key follows the values.
    void written(RowKey& key, qint64 rows, const std::function<QVariant(size_t)>& value)
    {
        const TableInfo& t = m_db.info(m_table);
        const bool byValues = t.keyNames.isEmpty() || key.names != t.keyNames;
        if (rows == 0 || (!byValues && rows != 1))
            throw CDbException(QStringLiteral("The record to update is no longer in %1.").arg(m_table));
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const qsizetype at = key.names.indexOf(m_columns[i].name);
            if (at >= 0)
                key.values[at] = value(i);
        }
    }

    OdbcConnection& m_db;
    QString m_table;
    std::vector<ColumnSpec> m_columns;
    PreparedConditionalUpdate m_writer;
};

void OdbcConnection::update(const QString& table, RowKey& key, const std::vector<ColumnSpec>& columns,
                            const QVariantList& values)
{
    if (columns.empty())
        return;
    PreparedUpdate(*this, table, columns).run(key, values);
}

bool OdbcConnection::updateIfUnchanged(const QString& table, const RowKey& key, const std::vector<ColumnSpec>& columns,
                                       const QVariantList& values, const std::vector<ColumnSpec>& conditionColumns,
                                       const QVariantList& expected)
{
    if (columns.empty())
        return false;
    return PreparedConditionalUpdate(*this, table, columns, conditionColumns, true).run(key, values, expected) != 0;
}

std::unique_ptr<RowUpdate> OdbcConnection::prepareUpdate(const QString& table, const std::vector<ColumnSpec>& columns)
{
    if (columns.empty())
        return Connection::prepareUpdate(table, columns);
    return std::make_unique<PreparedUpdate>(*this, table, columns);
}

std::unique_ptr<ConditionalUpdate> OdbcConnection::prepareUpdateIfUnchanged(const QString& table,
                                                                           const std::vector<ColumnSpec>& columns,
                                                                           const std::vector<ColumnSpec>& conditionColumns)
{
    if (columns.empty())
        return Connection::prepareUpdateIfUnchanged(table, columns, conditionColumns);
    return std::make_unique<PreparedConditionalUpdate>(*this, table, columns, conditionColumns, true);
}

// Rows of many sets of columns (an undo puts back in each row the columns the run changed
// there): each statement costs the driver far more than reading a row, and a row's own
// statement comparing all its conditions more than one comparing few. So where the rows are
// of the table's own integer key, each run of rising keys of a narrow range is read once with
// every condition column any of them has, each row's conditions on the columns it does not
// write are compared as read, and a row that holds all its expected values is written by a
// statement of its key and the written columns' conditions alone; any other row, and the rows
// of a range too short to read, as updateIfUnchanged writes it.
std::vector<qint64> OdbcConnection::updateEachIfUnchanged(ConditionalUpdates& updates,
                                                          const std::vector<RowChange>& rows,
                                                          const std::function<void()>& progress)
{
    const QString& table = updates.table();
    const TableInfo& t = info(table);
    const bool oneKind = std::all_of(rows.begin(), rows.end(), [&](const RowChange& r) {
        return r.columns == rows.front().columns && r.conditions == rows.front().conditions;
    });
    const bool integerKeys = t.integerKey && rows.size() >= kRangeWorth
                             && std::all_of(rows.begin(), rows.end(), [&](const RowChange& r) {
                                    return r.key->names == t.keyNames && r.key->values.size() == 1
                                           && IsIntegerValue(r.key->values.front());
                                });

    if (oneKind || !integerKeys)
        return Connection::updateEachIfUnchanged(updates, rows, progress);

    // Every condition column of the rows, once; for each set of conditions the places of its
    // columns among them, and which of its conditions are on columns it writes.
    std::vector<ColumnSpec> read;
    struct Kind
    {
        std::vector<int> readAt;            // of each condition, its place in read
        std::vector<int> ownAt;             // the conditions on written columns
        std::vector<ColumnSpec> ownColumns; // their columns
        ConditionalUpdate* full = nullptr;  // comparing every condition
        ConditionalUpdate* lean = nullptr;  // comparing those on written columns
    };
    std::map<std::pair<const void*, const void*>, Kind> kinds;
    const auto kindOf = [&](const RowChange& r) -> const Kind& {
        auto it = kinds.find({r.columns, r.conditions});
        if (it != kinds.end())
            return it->second;
        Kind kind;
        for (size_t c = 0; c < r.conditions->size(); ++c) {
            const ColumnSpec& spec = (*r.conditions)[c];
            auto place = std::find_if(read.begin(), read.end(), [&](const ColumnSpec& x) {
                return x.name.compare(spec.name, Qt::CaseInsensitive) == 0;
            });
            if (place == read.end())
                place = read.insert(read.end(), spec);
            kind.readAt.push_back(int(place - read.begin()));
            if (std::any_of(r.columns->begin(), r.columns->end(), [&](const ColumnSpec& w) {
                    return w.name.compare(spec.name, Qt::CaseInsensitive) == 0;
                })) {
                kind.ownAt.push_back(int(c));
                kind.ownColumns.push_back(spec);
            }
        }
        kind.full = &updates.of(*r.columns, *r.conditions);
        kind.lean = &updates.of(*r.columns, kind.ownColumns);
        return kinds.emplace(std::make_pair(r.columns, r.conditions), std::move(kind)).first->second;
    };
    for (const RowChange& r : rows)
        kindOf(r);


    std::vector<qint64> ids(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        ids[i] = rows[i].key->values.front().toLongLong();
    const QString& key = t.keyNames.front();
    const QString range = key + QStringLiteral(" >= ? AND ") + key + QStringLiteral(" <= ?");
    std::vector<qint64> written(rows.size(), 0);
    std::vector<char> holds;
    QVariantList ownExpected;
    size_t done = 0;
    for (size_t i = 0; i < rows.size();) {
        const size_t j = rangeEnd(ids, i);
        holds.assign(j - i, 0);
        if (j - i >= kRangeWorth) {
            const std::unique_ptr<Cursor> cursor = select(table, read, range, QString(), {QVariant(ids[i]), QVariant(ids[j - 1])});
            while (cursor->next()) {
                const RowKey found = cursor->key();
                if (found.values.size() != 1)
                    continue;
                const qint64 id = found.values.front().toLongLong();
                const auto at = std::lower_bound(ids.begin() + qsizetype(i), ids.begin() + qsizetype(j), id);
                if (at == ids.begin() + qsizetype(j) || *at != id)
                    continue;
                const size_t k = size_t(at - ids.begin());
                const RowChange& r = rows[k];
                const Kind& kind = kindOf(r);
                bool same = true;
                for (size_t c = 0; same && c < kind.readAt.size(); ++c)
                    same = sameValue(cursor->value(kind.readAt[c]), r.expected->value(qsizetype(c)));
                holds[k - i] = same ? 1 : 0;
            }
        }
        for (size_t k = i; k < j; ++k) {
            const RowChange& r = rows[k];
            const Kind& kind = kindOf(r);
            if (holds[k - i]) {
                ownExpected.clear();
                for (int c : kind.ownAt)
                    ownExpected.append(r.expected->value(c));
                written[k] = kind.lean->run(*r.key, *r.values, ownExpected);
            } else {
                written[k] = kind.full->run(*r.key, *r.values, *r.expected);
            }
        }
        reportRows(progress, done, j - i);
        i = j;
    }
    return written;
}

// The rows of a stretch read again through the table's locator: one statement after another,
// each read to its end before the next is run, every distinct one prepared once.
class OdbcStretchCursor : public Cursor
{
public:
    OdbcStretchCursor(OdbcConnection& db, QString select, int keyCount, const QStringList* keyNames, bool allValues)
        : m_db(db), m_select(std::move(select)), m_keyCount(keyCount), m_keyNames(keyNames), m_allValues(allValues)
    {
    }
    // Adds a query: the select's rows WHERE condition, run with values.
    void add(const QString& condition, QVariantList values)
    {
        // The same condition text as the last one is the same query.
        if (!m_last || !condition.isSharedWith(m_lastCondition)) {
            const QString sql = m_select + QStringLiteral(" WHERE ") + condition;
            auto it = m_queries.find(sql);
            if (it == m_queries.end()) {
                Query q;
                q.stmt = m_db.fresh();
                q.stmt->prepare(sql);
                it = m_queries.emplace(sql, std::move(q)).first;
            }
            m_last = &it->second;
            m_lastCondition = condition;
        }
        m_steps.push_back({m_last, std::move(values)});
    }

    bool next() override
    {
        for (;;) {
            if (m_current && m_current->next())
                return true;
            if (m_at == m_steps.size())
                return false;
            Step& step = m_steps[m_at++];
            Query& q = *step.query;
            q.stmt->bind(step.values);
            q.stmt->execute();
            if (!q.cursor)
                q.cursor = std::make_unique<OdbcCursor>(nullptr, q.stmt.get(), m_keyCount, m_keyNames, m_allValues,
                                                        m_db.m_getDataAnyColumn);
            m_current = q.cursor.get();
            step.values.clear();
        }
    }
    QVariant value(int column) const override { return m_current->value(column); }
    QString text(int column) const override { return m_current->text(column); }
    bool asciiText(int column, std::string_view& bytes) const override { return m_current->asciiText(column, bytes); }
    qint64 integer(int column) const override { return m_current->integer(column); }
    bool isNull(int column) const override { return m_current->isNull(column); }
    RowKey key() const override { return m_current->key(); }

private:
    struct Query
    {
        std::unique_ptr<OdbcConnection::Statement> stmt;
        std::unique_ptr<OdbcCursor> cursor; // goes before the statement it reads
    };
    struct Step
    {
        Query* query;
        QVariantList values;
    };
    OdbcConnection& m_db;
    QString m_select;
    int m_keyCount;
    const QStringList* m_keyNames;
    bool m_allValues;
    std::map<QString, Query> m_queries;
    Query* m_last = nullptr;
    QString m_lastCondition;
    std::vector<Step> m_steps;
    size_t m_at = 0;
    OdbcCursor* m_current = nullptr;
};

std::unique_ptr<Cursor> OdbcConnection::selectStretch(const QString& table, const std::vector<ColumnSpec>& columns,
                                                      const std::vector<const RowKey*>& keys)
{
    const TableInfo& t = info(table);
    if (keys.empty() || t.locator == Locator::Positioned)
        return Connection::selectStretch(table, columns, keys);
    const bool allValues = t.keyNames.isEmpty();
    int keyCount = 0;
    const QString select = QStringLiteral("SELECT %1 FROM %2").arg(selectList(t.keyNames, t.allColumns, columns, keyCount), table);
    const QStringList& names = keys.front()->names;
    const bool sameNames = std::all_of(keys.begin(), keys.end(), [&](const RowKey* k) {
        return k->names == names && k->values.size() == names.size();
    });

    if (t.integerKey && names == t.keyNames
        && std::all_of(keys.begin(), keys.end(), [&](const RowKey* k) {
               return k->values.size() == 1 && IsIntegerValue(k->values.front());
           })) {
        // Runs of rising keys of a narrow range, each read by one statement over its range.
        auto cursor = std::make_unique<OdbcStretchCursor>(*this, select, keyCount, &t.keyNames, false);
        const QString& key = t.keyNames.front();
        const QString range = QStringLiteral("%1 >= ? AND %1 <= ? ORDER BY %1").arg(key);
        for (size_t i = 0; i < keys.size();) {
            const qint64 first = keys[i]->values.front().toLongLong();
            qint64 last = first;
            size_t j = i + 1;
            while (j < keys.size() && rangeTakes(first, last, keys[j]->values.front().toLongLong(), j - i))
                last = keys[j++]->values.front().toLongLong();
            cursor->add(range, {QVariant(first), QVariant(last)});
            i = j;
        }
        return cursor;
    }
    if (allValues && sameNames && !names.isEmpty() && t.locator == Locator::AllValues) {
        // Nothing narrows a search: one pass over the table serves them all.
        auto cursor = std::make_unique<OdbcStretchCursor>(*this, select, keyCount, nullptr, true);
        cursor->add(QStringLiteral("1 = 1"), {});
        return cursor;
    }
    if (allValues && sameNames && !names.isEmpty() && t.locator == Locator::Index) {
        std::vector<int> indexAt;
        for (const QString& c : t.indexColumns)
            indexAt.push_back(int(nameAt(names, c)));
        if (std::find(indexAt.begin(), indexAt.end(), -1) == indexAt.end()) {
            // The keys grouped by the index's values: a group of many read whole through the
            // index, the others each by its values (twins once).
            std::vector<std::vector<size_t>> groups;
            QHash<QString, size_t> groupOf;
            for (size_t i = 0; i < keys.size(); ++i) {
                QVariantList indexValues;
                for (int at : indexAt)
                    indexValues.append(keys[i]->values.at(at));
                auto it = groupOf.find(valuesText(indexValues));
                if (it == groupOf.end()) {
                    it = groupOf.insert(valuesText(indexValues), groups.size());
                    groups.emplace_back();
                }
                groups[*it].push_back(i);
            }
            auto cursor = std::make_unique<OdbcStretchCursor>(*this, select, keyCount, nullptr, true);
            std::map<std::string, QString> conditions; // by the pattern of null values
            // Groups of few keys of an index of one column are read many index values at a
            // time, by a list of them.
            QVariantList listed;
            std::vector<QString> lists(kInList + 1);
            const auto readListed = [&] {
                if (listed.isEmpty())
                    return;
                QString& list = lists[size_t(listed.size())];
                if (list.isEmpty())
                    list = inList(t.indexColumns.front(), listed.size());
                cursor->add(list, listed);
                listed.clear();
            };
            for (const std::vector<size_t>& group : groups) {
                const RowKey& first = *keys[group.front()];
                if (indexAt.size() == 1 && group.size() < kGroupReadWorth && !first.values.at(indexAt.front()).isNull()) {
                    listed.append(first.values.at(indexAt.front()));
                    if (size_t(listed.size()) == kInList)
                        readListed();
                    continue;
                }
                if (group.size() >= kGroupReadWorth) {
                    QStringList indexNames;
                    QVariantList values;
                    for (int at : indexAt) {
                        indexNames.append(first.names.at(at));
                        if (!first.values.at(at).isNull())
                            values.append(first.values.at(at));
                    }
                    cursor->add(conditionList(indexNames, [&](qsizetype i) { return first.values.at(indexAt[size_t(i)]).isNull(); }),
                                values);
                    continue;
                }
                QSet<QString> seen;
                for (size_t k : group) {
                    const RowKey& key = *keys[k];
                    if (group.size() > 1) {
                        const QString text = valuesText(key.values);
                        if (seen.contains(text))
                            continue;
                        seen.insert(text);
                    }
                    QVariantList values;
                    std::string pattern;
                    for (const QVariant& v : key.values) {
                        pattern += v.isNull() ? 'N' : 'V';
                        if (!v.isNull())
                            values.append(v);
                    }
                    auto known = conditions.find(pattern);
                    if (known == conditions.end())
                        known = conditions.emplace(pattern, conditionList(key.names, [&](qsizetype i) {
                                                       return key.values.at(i).isNull();
                                                   })).first;
                    cursor->add(known->second, values);
                }
            }
            readListed();
            return cursor;
        }
    }
    return Connection::selectStretch(table, columns, keys);
}

void OdbcConnection::setAutocommit(bool on)
{
    const SQLRETURN rc = SQLSetConnectAttr(SQLHDBC(m_dbc), SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!SQL_SUCCEEDED(rc))
        throw failure(SQL_HANDLE_DBC, m_dbc);
}

// The driver's transaction begins with the first statement that writes: the reads before it
// go without one. The SQLite ODBC driver steps through a result only outside a transaction and
// reads it whole into memory inside one (a million-row log read at the start of an import would
// be held twice); the Access database engine holds no lock for a read in a transaction, so the
// rows read are the same either way.
void OdbcConnection::beginTransaction()
{
    m_inTransaction = true;
}

void OdbcConnection::writing()
{
    if (!m_inTransaction || m_transactionOpen)
        return;
    setAutocommit(false);
    m_transactionOpen = true;
}

void OdbcConnection::commit()
{
    if (m_transactionOpen && !SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, SQLHDBC(m_dbc), SQL_COMMIT)))
        throw failure(SQL_HANDLE_DBC, m_dbc);
    if (m_transactionOpen && !m_cursorsOutliveCommit)
        dropKeysets();
    m_inTransaction = false;
    if (m_transactionOpen) {
        m_transactionOpen = false;
        setAutocommit(true);
    }
}

void OdbcConnection::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (!m_transactionOpen)
        return;
    m_transactionOpen = false;
    // The cursors' rows show what the rollback undid.
    dropKeysets();
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, SQLHDBC(m_dbc), SQL_ROLLBACK))) {
        const CDbException error = failure(SQL_HANDLE_DBC, m_dbc);
        setAutocommit(true);
        throw error;
    }
    setAutocommit(true);
}
