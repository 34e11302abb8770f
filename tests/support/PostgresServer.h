#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A PostgreSQL server of a test's own, in a temporary folder and reached through its Unix
// socket alone, with the ODBC driver that connects to it (Debian's psqlODBC). It is a second
// ODBC driver beside SQLite's, and one that writes rows where they stand in a keyset-driven
// cursor, also in a table without a key.
class PostgresServer
{
public:
    // Why no server can be run here; empty where one can.
    static QString unavailable();

    // Starts the server; throws std::runtime_error saying why it could not.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // An ODBC connection string to database (without the engine's "odbc:").
    QString connectionString(const QString& database) const;
    void createDatabase(const QString& database) const;
    // A database of its own for a test: its name.
    QString newDatabase();
    // Runs statements in database through the server's own client, as another program
    // would; names may be written in brackets. Throws where one fails.
    void exec(const QString& database, const QStringList& statements) const;
    // The rows of a query, the columns of each joined by '|'.
    QStringList query(const QString& database, const QString& sql) const;
    // Every table of a SQLite file made again in database, with its rows.
    void copySqlite(const QString& file, const QString& database) const;

private:
    QString run(const QString& database, const QString& sql) const;

    QTemporaryDir m_dir;
    QString m_bin; // the server's programs
    QString m_data;
    bool m_started = false;
    int m_databases = 0;
};

// One server for a whole test program, started when a test first asks for it and stopped at
// the program's end; null where none can be run here (PostgresServer::unavailable says why).
// Throws where one should run and does not start.
PostgresServer* SharedPostgresServer();
