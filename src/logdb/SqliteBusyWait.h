#pragma once

#include <functional>

struct sqlite3;

// How an SQLite handle waits for a database another program holds, a reader or a writer: the
// handle asks again and again within one budget of waiting (Connection::kBusyWaitMs by
// default) and then gives up. The budget is spent across statements until reset(): the steps
// of one transaction share it, so that a run kept from writing by a long reader does not wait
// again and again, statement after statement, until the reader has gone. Once the wait grew
// longer than a moment, the notice (if any) is called, once per budget.
class SqliteBusyWait
{
public:
    explicit SqliteBusyWait(int budgetMs);
    SqliteBusyWait(const SqliteBusyWait&) = delete;
    SqliteBusyWait& operator=(const SqliteBusyWait&) = delete;

    // Makes this the handle's busy handler; the handle must not outlive it.
    void install(sqlite3* db);
    // A new budget (and a new notice).
    void reset();
    // Whether the budget is spent: every further wait gives up at once. A statement that went
    // on without the lock it waited for (SQLite then keeps the changes in memory) succeeds, so
    // the caller asks this to end a run that can't write.
    bool exhausted() const { return m_exhausted; }
    void setNotice(std::function<void()> notice) { m_notice = std::move(notice); }

private:
    static int handle(void* self, int count);

    int m_budgetMs;
    int m_waitedMs = 0;
    bool m_noticed = false;
    bool m_exhausted = false;
    std::function<void()> m_notice;
};
