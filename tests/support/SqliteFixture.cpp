#include "SqliteFixture.h"

#include <sqlite3.h>
#include <stdexcept>

namespace SqliteFixture {

namespace {
sqlite3* openFile(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toLocal8Bit().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open fixture database");
    }
    return db;
}
}

void exec(const QString& path, const QStringList& statements)
{
    sqlite3* db = openFile(path);
    for (const QString& sql : statements) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = std::string(error ? error : "?") + " in " + sql.toStdString();
            sqlite3_free(error);
            sqlite3_close(db);
            throw std::runtime_error(text);
        }
    }
    sqlite3_close(db);
}

QStringList query(const QString& path, const QString& sql)
{
    sqlite3* db = openFile(path);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("bad fixture query");
    }
    QStringList rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            columns.append(text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
        }
        rows.append(columns.join(QLatin1Char('|')));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

}
