#pragma once

#include <QString>
#include <QStringList>

// Runs SQL statements on an SQLite file directly, beside the program's own engine, to set up
// fixtures and to look at the database state after an operation.
namespace SqliteFixture {
// Runs each statement; throws std::runtime_error on failure.
void exec(const QString& path, const QStringList& statements);
// The rows of a query, each row's columns joined by "|" (null as "<null>").
QStringList query(const QString& path, const QString& sql);
}
