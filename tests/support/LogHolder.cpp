#include "LogHolder.h"

#include <sqlite3.h>

LogHolder::LogHolder(const QString& path, Kind kind)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return;
    if (kind == Kind::Reader)
        m_holding = sqlite3_exec(m_db, "BEGIN; SELECT count(*) FROM [QSO-TAB];", nullptr, nullptr, nullptr) == SQLITE_OK;
    else
        m_holding = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

LogHolder::~LogHolder()
{
    release();
    sqlite3_close(m_db);
}

void LogHolder::release()
{
    if (m_holding)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_holding = false;
}
