#include "PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <stdexcept>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The server's programs: the newest of Debian's versions, else those on the PATH.
QString serverPrograms()
{
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : found) {
        const QString bin = versions.filePath(version + QStringLiteral("/bin"));
        if (QFileInfo(bin + QStringLiteral("/initdb")).isExecutable() && QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable())
            return bin;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}

bool driverInstalled()
{
    QProcess p;
    p.start(QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")});
    if (!p.waitForFinished(10000))
        return false;
    return QString::fromLocal8Bit(p.readAllStandardOutput()).contains(QStringLiteral("[PostgreSQL Unicode]"));
}

// The server refuses to run as root: there it runs as the system's postgres user.
bool asRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return geteuid() == 0;
#endif
}

QString runProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    if (asRoot() && !program.endsWith(QStringLiteral("/psql"))) {
        p.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} + arguments);
    } else {
        p.start(program, arguments);
    }
    if (!p.waitForStarted(10000))
        throw std::runtime_error("cannot start " + program.toStdString());
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error((program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
                                  + QString::fromLocal8Bit(p.readAllStandardError()))
                                     .toStdString());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// [name] as "name": the statements of the tests are written as the program writes its own.
QString quoted(QString sql)
{
    return sql.replace(QLatin1Char('['), QLatin1Char('"')).replace(QLatin1Char(']'), QLatin1Char('"'));
}

// A value of a SQLite row in COPY's text format: \N for null, the separators escaped.
QByteArray copyText(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL: return QByteArrayLiteral("\\N");
    case SQLITE_INTEGER: return QByteArray::number(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT: return QByteArray::number(sqlite3_column_double(stmt, column), 'g', 17);
    default: break;
    }
    const QByteArray text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)), sqlite3_column_bytes(stmt, column));
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace

QString PostgresServer::unavailable()
{
#ifdef Q_OS_WIN
    return QStringLiteral("no PostgreSQL server is run on Windows");
#else
    if (serverPrograms().isEmpty())
        return QStringLiteral("PostgreSQL's server is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("psql")).isEmpty())
        return QStringLiteral("PostgreSQL's client psql is not installed");
    if (!driverInstalled())
        return QStringLiteral("the PostgreSQL ODBC driver is not installed");
    if (asRoot() && !getpwnam("postgres"))
        return QStringLiteral("there is no postgres user to run the server as");
    return QString();
#endif
}

PostgresServer::PostgresServer() : m_dir(QDir::tempPath() + QStringLiteral("/qv-pg-XXXXXX"))
{
#ifdef Q_OS_WIN
    throw std::runtime_error("no PostgreSQL server is run on Windows");
#else
    if (!m_dir.isValid())
        throw std::runtime_error("cannot make a folder for the PostgreSQL server");
    m_bin = serverPrograms();
    m_data = m_dir.filePath(QStringLiteral("data"));
    if (asRoot()) {
        const passwd* user = getpwnam("postgres");
        if (!user)
            throw std::runtime_error("there is no postgres user to run the server as");
        const QByteArray dir = QFile::encodeName(m_dir.path());
        if (chmod(dir.constData(), 0755) != 0 || chown(dir.constData(), user->pw_uid, user->pw_gid) != 0)
            throw std::runtime_error("cannot give the server's folder to the postgres user");
    }
    runProgram(m_bin + QStringLiteral("/initdb"),
               {QStringLiteral("-D"), m_data, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"),
                QStringLiteral("quorvane"), QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync"),
                QStringLiteral("--locale=C")});
    runProgram(m_bin + QStringLiteral("/pg_ctl"),
               {QStringLiteral("-D"), m_data, QStringLiteral("-l"), m_dir.filePath(QStringLiteral("server.log")),
                QStringLiteral("-w"), QStringLiteral("-o"),
                QStringLiteral("-k %1 -c listen_addresses='' -c fsync=off -c full_page_writes=off").arg(m_dir.path()),
                QStringLiteral("start")});
    m_started = true;
#endif
}

PostgresServer::~PostgresServer()
{
    if (!m_started)
        return;
    try {
        runProgram(m_bin + QStringLiteral("/pg_ctl"),
                   {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"),
                    QStringLiteral("stop")});
    } catch (const std::exception&) {
        // The folder goes with the test all the same.
    }
}

QString PostgresServer::connectionString(const QString& database) const
{
    return QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=5432;Database=%2;Username=quorvane;"
                          "UpdatableCursors=3")
        .arg(m_dir.path(), database);
}

void PostgresServer::createDatabase(const QString& database) const
{
    run(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(database));
}

QString PostgresServer::newDatabase()
{
    const QString name = QStringLiteral("log%1").arg(++m_databases);
    createDatabase(name);
    return name;
}

PostgresServer* SharedPostgresServer()
{
    static std::unique_ptr<PostgresServer> server;
    if (!server && PostgresServer::unavailable().isEmpty())
        server = std::make_unique<PostgresServer>();
    return server.get();
}

QString PostgresServer::run(const QString& database, const QString& sql) const
{
    return runProgram(QStandardPaths::findExecutable(QStringLiteral("psql")),
                      {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"), QStringLiteral("quorvane"),
                       QStringLiteral("-d"), database, QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                       QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                       QStringLiteral("-f"), QStringLiteral("-")},
                      sql.toUtf8() + '\n');
}

void PostgresServer::exec(const QString& database, const QStringList& statements) const
{
    QString script;
    for (const QString& statement : statements)
        script += quoted(statement) + QStringLiteral(";\n");
    run(database, script);
}

QStringList PostgresServer::query(const QString& database, const QString& sql) const
{
    QStringList rows = run(database, quoted(sql) + QLatin1Char(';')).split(QLatin1Char('\n'));
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

void PostgresServer::copySqlite(const QString& file, const QString& database) const
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + file.toStdString());
    }
    const auto rows = [&](const QString& sql, const std::function<void(sqlite3_stmt*)>& each) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("cannot read the SQLite file: ") + sqlite3_errmsg(db));
        while (sqlite3_step(stmt) == SQLITE_ROW)
            each(stmt);
        sqlite3_finalize(stmt);
    };
    // The tables' definitions, then each table's rows in COPY's text format: a script for the
    // server's client, written to a file as it is made (a large log's rows are many).
    QFile script(m_dir.filePath(QStringLiteral("copy-%1.sql").arg(database)));
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + script.fileName().toStdString());
    try {
        QStringList tables;
        rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
             [&](sqlite3_stmt* s) { tables.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)))); });
        for (const QString& table : tables) {
            QStringList columns;
            rows(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table), [&](sqlite3_stmt* s) {
                const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
                const QString type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 2))).toUpper();
                columns.append(QStringLiteral("\"%1\" %2").arg(name, type.contains(QStringLiteral("INT")) ? QStringLiteral("integer")
                                                                                                             : QStringLiteral("text")));
            });
            script.write(QStringLiteral("CREATE TABLE \"%1\" (%2);\nCOPY \"%1\" FROM STDIN;\n")
                             .arg(table, columns.join(QStringLiteral(", ")))
                             .toUtf8());
            QByteArray line;
            rows(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table), [&](sqlite3_stmt* s) {
                line.clear();
                for (int i = 0; i < sqlite3_column_count(s); ++i) {
                    if (i > 0)
                        line += '\t';
                    line += copyText(s, i);
                }
                line += '\n';
                script.write(line);
            });
            script.write("\\.\n");
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    if (!script.flush())
        throw std::runtime_error("cannot write " + script.fileName().toStdString());
    script.close();
    runProgram(QStandardPaths::findExecutable(QStringLiteral("psql")),
               {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"), QStringLiteral("quorvane"), QStringLiteral("-d"),
                database, QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-f"), script.fileName()});
    script.remove();
}
