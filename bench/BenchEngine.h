// The engine a benchmark runs on, over the same SQLite file:
//   sqlite        SQLite's C API (the program's own engine for .sqlite logs)
//   odbc-keyed    ODBC (SQLite ODBC driver), the QSO table with a primary key of its own
//                 after the QSO's columns
//   odbc-keyless  ODBC, the QSO table without a key (rows found by the driver's row identifier)
//   odbc-index    ODBC, without a key and without a row identifier, an index on [QSO-CALL]:
//                 rows found by all their values through the index, as a keyless Access log
//                 with an index is
//   odbc-positioned ODBC (PostgreSQL's driver), the log copied to a PostgreSQL server the
//                 program starts, a QSO table without key: rows written where they stand in
//                 the driver's scrollable cursor, as a keyless Access log's are in its
//                 keyset-driven cursor (a server engine beside an embedded one: the ratio to the
//                 SQLite engine says more about the way's growth than about its cost)
//   odbc-pg-keyed the same log on PostgreSQL with a primary key of its own: what the server and
//                 its driver cost for rows found by a key, beside which the positioned way is
//                 measured
#pragma once

#include "logdb/CQSO2006SRC.h"
#include "logdb/OdbcConnection.h"

#include <QString>
#include <cstdio>
#include <sqlite3.h>
#ifdef QUORVANE_BENCH_POSTGRES
#include "support/PostgresServer.h"
#endif

inline bool BenchEngineKnown(const QString& engine)
{
    return engine == QLatin1String("sqlite") || engine == QLatin1String("odbc-keyed")
           || engine == QLatin1String("odbc-keyless") || engine == QLatin1String("odbc-index")
#ifdef QUORVANE_BENCH_POSTGRES
           || engine == QLatin1String("odbc-positioned") || engine == QLatin1String("odbc-pg-keyed")
#endif
        ;
}

// Shapes the log file for the engine and gives the log path the program is to open.
inline QString BenchEngineLog(const QString& engine, const QString& file)
{
    if (engine == QLatin1String("sqlite"))
        return file;
#ifdef QUORVANE_BENCH_POSTGRES
    if (engine == QLatin1String("odbc-positioned") || engine == QLatin1String("odbc-pg-keyed")) {
        PostgresServer* server = SharedPostgresServer();
        if (!server) {
            std::fprintf(stderr, "%s\n", PostgresServer::unavailable().toUtf8().constData());
            return QString();
        }
        const QString database = server->newDatabase();
        server->copySqlite(file, database);
        if (engine == QLatin1String("odbc-pg-keyed"))
            server->exec(database, {QStringLiteral("ALTER TABLE [QSO-TAB] ADD COLUMN [QSO-ID] serial PRIMARY KEY")});
        return QStringLiteral("odbc:") + server->connectionString(database);
    }
#endif
    sqlite3* db = nullptr;
    sqlite3_open(file.toLocal8Bit().constData(), &db);
    const auto exec = [db](const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
            std::fprintf(stderr, "%s: %s\n", sql.toUtf8().constData(), error);
        sqlite3_free(error);
    };
    if (engine == QLatin1String("odbc-keyed")) {
        QString columns;
        for (const ColumnSpec& c : CQSO2006SRC::columnSpecs())
            columns += c.name + (c.type == ColumnType::Text ? QStringLiteral(" TEXT, ") : QStringLiteral(" INTEGER, "));
        exec(QStringLiteral("BEGIN"));
        exec(QStringLiteral("ALTER TABLE [QSO-TAB] RENAME TO [QSO-OLD]"));
        exec(QStringLiteral("CREATE TABLE [QSO-TAB] (%1[QSO-ID] INTEGER PRIMARY KEY)").arg(columns));
        exec(QStringLiteral("INSERT INTO [QSO-TAB] SELECT *, rowid FROM [QSO-OLD] ORDER BY rowid"));
        exec(QStringLiteral("DROP TABLE [QSO-OLD]"));
        exec(QStringLiteral("COMMIT"));
    } else if (engine == QLatin1String("odbc-index")) {
        exec(QStringLiteral("CREATE INDEX [QSO-CALL-INDEX] ON [QSO-TAB] ([QSO-CALL])"));
        OdbcConnection::limitLocators(OdbcConnection::Locator::Index);
    }
    sqlite3_close(db);
    return QStringLiteral("odbc:DRIVER=SQLite3;Database=") + file;
}
