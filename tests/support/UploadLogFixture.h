#pragma once

#include <QString>
#include <QStringList>
#include <map>
#include <ostream>
#include <string>
#include <vector>

struct sqlite3;

// A small DXbase-shaped SQLite log ("[QSO-TAB]") and reference database ("[PREFIX-Pri]")
// written straight through SQLite, so that tests can set up rows and read them back without
// going through the code under test.
class SqliteFile
{
public:
    explicit SqliteFile(const QString& path);
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    void exec(const std::string& sql);
    // Every value of one column, in rowid order (null as "<null>").
    QStringList column(const std::string& table, const std::string& column);

private:
    sqlite3* m_db = nullptr;
};

// The 41 columns of "[QSO-TAB]" in exchange order, with whether each is a long column.
const std::vector<std::pair<std::string, bool>>& QsoColumns();

// Creates "[QSO-TAB]" in the file and inserts rows; each row is a map from column name
// (without brackets) to value; missing text columns are empty, missing longs 0 except
// QSO-VALID which is 1.
void CreateQsoTable(SqliteFile& db);
void InsertQso(SqliteFile& db, const std::map<std::string, std::string>& values);

// Creates "[PREFIX-Pri]" and inserts (prefix, ARRL-ID) rows in order.
void CreatePrefixTable(SqliteFile& db, const std::vector<std::pair<std::string, std::string>>& rows);

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toLatin1().constData() << '"';
}
