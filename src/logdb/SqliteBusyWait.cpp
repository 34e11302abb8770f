#include "SqliteBusyWait.h"

#include <algorithm>
#include <sqlite3.h>

namespace {
// The pauses between two tries, growing as SQLite's own busy timeout does; the last repeats.
constexpr int kPauses[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
// A wait shorter than this (another program committing) passes without a word.
constexpr int kNoticeAfterMs = 200;
} // namespace

SqliteBusyWait::SqliteBusyWait(int budgetMs) : m_budgetMs(budgetMs) {}

void SqliteBusyWait::install(sqlite3* db)
{
    sqlite3_busy_handler(db, &SqliteBusyWait::handle, this);
}

void SqliteBusyWait::reset()
{
    m_waitedMs = 0;
    m_noticed = false;
    m_exhausted = false;
}

int SqliteBusyWait::handle(void* self, int count)
{
    auto* wait = static_cast<SqliteBusyWait*>(self);
    if (wait->m_exhausted)
        return 0;
    const int pauses = int(std::size(kPauses));
    const int pause = std::min(kPauses[std::min(count, pauses - 1)], wait->m_budgetMs - wait->m_waitedMs);
    if (pause <= 0) {
        wait->m_exhausted = true;
        return 0;
    }
    if (!wait->m_noticed && wait->m_waitedMs >= kNoticeAfterMs) {
        wait->m_noticed = true;
        if (wait->m_notice)
            wait->m_notice();
    }
    sqlite3_sleep(pause);
    wait->m_waitedMs += pause;
    return 1;
}
