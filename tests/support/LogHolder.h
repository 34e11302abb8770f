#pragma once

#include <QString>

struct sqlite3;

// Another program that holds a SQLite log: a reader (a read transaction, which keeps writers
// from committing) or a writer (an exclusive transaction, which keeps everyone out), until it
// lets go or goes.
class LogHolder
{
public:
    enum class Kind { Reader, Writer };
    LogHolder(const QString& path, Kind kind);
    ~LogHolder();
    LogHolder(const LogHolder&) = delete;
    LogHolder& operator=(const LogHolder&) = delete;

    bool holding() const { return m_holding; }
    void release();

private:
    sqlite3* m_db = nullptr;
    bool m_holding = false;
};
