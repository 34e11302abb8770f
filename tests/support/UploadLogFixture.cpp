#include "support/UploadLogFixture.h"

#include "logdb/QsoTable.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>

namespace {

std::string quote(const std::string& value)
{
    std::string out = "'";
    for (char c : value) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

} // namespace

SqliteFile::SqliteFile(const QString& path)
{
    if (sqlite3_open(path.toLocal8Bit().constData(), &m_db) != SQLITE_OK)
        throw std::runtime_error("cannot open test database");
}

SqliteFile::~SqliteFile()
{
    sqlite3_close(m_db);
}

void SqliteFile::exec(const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : "unknown";
        sqlite3_free(error);
        throw std::runtime_error(text + " in " + sql);
    }
}

QStringList SqliteFile::column(const std::string& table, const std::string& column)
{
    QStringList values;
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT [" + column + "] FROM [" + table + "] ORDER BY rowid";
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(m_db));
    while (sqlite3_step(statement) == SQLITE_ROW) {
        if (sqlite3_column_type(statement, 0) == SQLITE_NULL)
            values.append(QStringLiteral("<null>"));
        else
            values.append(QString::fromLatin1(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))));
    }
    sqlite3_finalize(statement);
    return values;
}

const std::vector<std::pair<std::string, bool>>& QsoColumns()
{
    // The log's table without the brackets of its names.
    static const std::vector<std::pair<std::string, bool>> columns = [] {
        std::vector<std::pair<std::string, bool>> names;
        for (const ColumnSpec& c : QsoTable::columns())
            names.emplace_back(c.name.mid(1, c.name.size() - 2).toStdString(), c.type == ColumnType::Long);
        return names;
    }();
    return columns;
}

void CreateQsoTable(SqliteFile& db)
{
    db.exec(QsoTable::createStatement().toStdString());
    db.exec("CREATE TABLE [VERSION] (v INTEGER)");
    db.exec("INSERT INTO [VERSION] VALUES (6)");
}

void InsertQso(SqliteFile& db, const std::map<std::string, std::string>& values)
{
    for (const auto& entry : values) {
        bool known = false;
        for (const auto& column : QsoColumns())
            known = known || column.first == entry.first;
        if (!known)
            throw std::runtime_error("unknown column " + entry.first);
    }
    std::string names;
    std::string data;
    for (const auto& [name, isLong] : QsoColumns()) {
        if (!names.empty()) {
            names += ", ";
            data += ", ";
        }
        names += "[" + name + "]";
        auto it = values.find(name);
        if (isLong)
            data += it != values.end() ? it->second : (name == "QSO-VALID" ? "1" : "0");
        else
            data += quote(it != values.end() ? it->second : "");
    }
    db.exec("INSERT INTO " + QsoTable::name().toStdString() + " (" + names + ") VALUES (" + data + ")");
}

void CreatePrefixTable(SqliteFile& db, const std::vector<std::pair<std::string, std::string>>& rows)
{
    db.exec("CREATE TABLE [PREFIX-Pri] ([PREFIX] TEXT, [COUNTRY] TEXT, [LATITUDE] TEXT, [LONGITUDE] TEXT, "
            "[DEL-STATUS] INTEGER, [QSL-FIELD-CHECK] INTEGER, [QSL-BUREAU] INTEGER, [CQ-ZONE] TEXT, "
            "[ITU-ZONE] TEXT, [ARRL-ID] TEXT, [CONTINENT] TEXT, [TIMEDIFF] TEXT)");
    for (const auto& [prefix, arrlId] : rows)
        db.exec("INSERT INTO [PREFIX-Pri] VALUES (" + quote(prefix) + ", 'Land', '0', '0', 0, 0, 0, '1', '1', "
                + quote(arrlId) + ", 'EU', '0')");
}
