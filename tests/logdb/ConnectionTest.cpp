#include "demo/DemoData.h"
#include "logdb/QsoTable.h"
#include "logdb/Connection.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// The recordsets of one thread share its connection to a log; another thread (a run on its
// worker thread while the window holds the log open for its checks) never gets that one, and
// a connection let go of is opened anew.
TEST(Connection, EachThreadHasItsOwn)
{
    TestDir dir;
    const QString log = dir.file(QStringLiteral("log.sqlite"));
    DemoData::writeLog(log, 20, 3);

    std::shared_ptr<Connection> window = Connection::open(log);
    EXPECT_EQ(Connection::open(log), window);

    Connection* first = nullptr;
    Connection* again = nullptr;
    qint64 rows = -1;
    std::thread run([&] {
        const std::shared_ptr<Connection> own = Connection::open(log);
        first = own.get();
        again = Connection::open(log).get();
        rows = own->countRows(QsoTable::name());
    });
    run.join();
    EXPECT_NE(first, window.get());
    EXPECT_EQ(again, first);
    EXPECT_EQ(rows, 20);

    window.reset();
    const std::shared_ptr<Connection> reopened = Connection::open(log);
    EXPECT_EQ(reopened->countRows(QsoTable::name()), 20);
}

} // namespace
