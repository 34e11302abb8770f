#include "demo/DemoData.h"
#include "logdb/CDxb96CountySet.h"
#include "logdb/CPP2006SRC.h"
#include "logdb/CQSO2006SRC.h"
#include "logdb/Connection.h"
#include "platform/Errors.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

enum class Engine { Sqlite, Odbc };
// The engine by its name in test listings.
void PrintTo(Engine engine, std::ostream* os)
{
    *os << (engine == Engine::Sqlite ? "Sqlite" : "Odbc");
}

// One suite, run once through SQLite's C API and once through ODBC on the same kind of file.
class RecordsetTest : public ::testing::TestWithParam<Engine>
{
protected:
    void SetUp() override
    {
        if (GetParam() == Engine::Odbc && !CheckEngineAvailable(odbcPath(QStringLiteral("x"))).isEmpty())
            GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
        file = dir.file(QStringLiteral("log.sqlite"));
        DemoData::writeLog(file, 0, 1);
        SqliteFixture::exec(file, {
            QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-DATE],[QSO-TIME],[QSO-CALL],[QSO-NAME],[QSO-QSLS],[QSO-MODE],[QSO-BAND],[QSO-VALID],[QSO-AWARD],[QSO-OPRCALL]) "
                           "VALUES ('20240101','120000','DL1ABC','HANS','0','2','6',1,5,'K1QVN')"),
            QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-DATE],[QSO-TIME],[QSO-CALL],[QSO-NAME],[QSO-QSLS],[QSO-MODE],[QSO-BAND],[QSO-VALID],[QSO-AWARD],[QSO-OPRCALL]) "
                           "VALUES ('20240101','090000','DL1ABC','HANS','1','2','6',1,0,'K1QVN')"),
            QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-DATE],[QSO-TIME],[QSO-CALL],[QSO-NAME],[QSO-QSLS]) "
                           "VALUES ('20240102','100000','EI2O''B','O''BRIEN','2')"),
            // A row with nulls in text and long columns.
            QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-CALL]) VALUES ('G4NUL')"),
        });
    }

    QString odbcPath(const QString& f) const { return QStringLiteral("odbc:DRIVER=SQLite3;Database=") + f; }
    QString logPath() const { return GetParam() == Engine::Sqlite ? file : odbcPath(file); }

    TestDir dir;
    QString file;
};

TEST_P(RecordsetTest, WalksTheWholeTableInTableOrder)
{
    CQSO2006SRC qso(logPath());
    qso.open();
    QStringList calls;
    for (; !qso.isEOF(); qso.moveNext())
        calls.append(qso.qsoCall + QLatin1Char('/') + qso.qsoTime);
    EXPECT_EQ(calls, (QStringList{QStringLiteral("DL1ABC/120000"), QStringLiteral("DL1ABC/090000"),
                                  QStringLiteral("EI2O'B/100000"), QStringLiteral("G4NUL/")}));
    EXPECT_THROW(qso.moveNext(), CDbException);
}

// A released recordset keeps its row but holds nothing of the database: another connection
// commits a write at once, and the recordset walks the table again from its first row.
TEST_P(RecordsetTest, ReleasedRecordsetKeepsItsRowAndHoldsNoLock)
{
    CQSO2006SRC qso(logPath());
    qso.open();
    ASSERT_EQ(qso.qsoCall, QStringLiteral("DL1ABC"));
    const auto writeElsewhere = [this] {
        // A reader left on the table makes this commit fail at once (no waiting).
        SqliteFixture::exec(file, {QStringLiteral("PRAGMA busy_timeout = 0"),
                                   QStringLiteral("UPDATE [QSO-TAB] SET [QSO-NOTE] = 'x' WHERE [QSO-CALL] = 'G4NUL'")});
    };
    if (GetParam() == Engine::Sqlite) {
        EXPECT_THROW(writeElsewhere(), std::runtime_error); // the open query holds the table
    }
    qso.release();
    EXPECT_TRUE(qso.isOpen());
    EXPECT_FALSE(qso.isEOF());
    EXPECT_EQ(qso.qsoCall, QStringLiteral("DL1ABC"));
    EXPECT_EQ(qso.qsoTime, QStringLiteral("120000"));
    EXPECT_NO_THROW(writeElsewhere());
    EXPECT_THROW(qso.moveNext(), CDbException);
    qso.moveFirst();
    int rows = 0;
    for (; !qso.isEOF(); qso.moveNext())
        ++rows;
    EXPECT_EQ(rows, 4);
}

TEST_P(RecordsetTest, FilterSortAndRequery)
{
    CQSO2006SRC qso(logPath());
    qso.open();
    qso.m_strFilter = QStringLiteral("([QSO-CALL]=?)");
    qso.m_filterValues = {QStringLiteral("DL1ABC")};
    qso.m_strSort = QStringLiteral("[QSO-TIME]");
    qso.requery();
    ASSERT_FALSE(qso.isEOF());
    EXPECT_FALSE(qso.isBOF());
    EXPECT_EQ(qso.qsoTime, QStringLiteral("090000"));
    EXPECT_EQ(qso.qsoQsls, QStringLiteral("1"));
    qso.moveNext();
    EXPECT_EQ(qso.qsoTime, QStringLiteral("120000"));
    EXPECT_EQ(qso.qsoAward, 5);
    EXPECT_EQ(qso.qsoValid, 1);
    qso.moveNext();
    EXPECT_TRUE(qso.isEOF());
}

TEST_P(RecordsetTest, NoMatchIsBofAndEof)
{
    CQSO2006SRC qso(logPath());
    qso.m_strFilter = QStringLiteral("([QSO-CALL]='NOBODY')");
    qso.open();
    EXPECT_TRUE(qso.isBOF());
    EXPECT_TRUE(qso.isEOF());
    EXPECT_TRUE(qso.qsoCall.isEmpty());
    EXPECT_THROW(qso.edit(), CDbException);
}

TEST_P(RecordsetTest, NullColumnsReadEmptyAndZero)
{
    CQSO2006SRC qso(logPath());
    qso.m_strFilter = QStringLiteral("([QSO-CALL]='G4NUL')");
    qso.open();
    ASSERT_FALSE(qso.isEOF());
    EXPECT_EQ(qso.qsoDate, QString());
    EXPECT_EQ(qso.qsoLotwRec, QString());
    EXPECT_EQ(qso.qsoAward, 0);
    EXPECT_EQ(qso.qsoNumber, 0);
    EXPECT_EQ(qso.fieldValue(2).toString(), QStringLiteral("G4NUL"));
}

TEST_P(RecordsetTest, UpdateWritesOnlyMarkedColumnsOfThatRow)
{
    {
        CQSO2006SRC qso(logPath());
        qso.m_strFilter = QStringLiteral("([QSO-TIME]='090000')");
        qso.open();
        ASSERT_FALSE(qso.isEOF());
        qso.edit();
        qso.qsoQsls = QStringLiteral("3");
        qso.qsoName = QStringLiteral("CHANGED-BUT-NOT-MARKED");
        qso.qsoAward = 9;
        qso.setFieldDirty(&qso.qsoQsls);
        qso.setFieldDirty(&qso.qsoAward);
        qso.update();
    }
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT [QSO-TIME],[QSO-QSLS],[QSO-NAME],[QSO-AWARD] FROM [QSO-TAB] WHERE [QSO-CALL]='DL1ABC' ORDER BY rowid")),
              (QStringList{QStringLiteral("120000|0|HANS|5"), QStringLiteral("090000|3|HANS|9")}));
}

// A column marked changed is written as not null: an emptied text becomes an empty text, and
// the row is still found by its key for the next update.
TEST_P(RecordsetTest, EmptiedTextIsWrittenEmptyNotNull)
{
    SqliteFixture::exec(file, {QStringLiteral("UPDATE [QSO-TAB] SET [QSO-NOTE]='' WHERE [QSO-CALL]='G4NUL'")});
    CQSO2006SRC qso(logPath());
    qso.m_strFilter = QStringLiteral("([QSO-CALL]='G4NUL')");
    qso.open();
    ASSERT_FALSE(qso.isEOF());
    qso.edit();
    qso.qsoName.clear();
    qso.setFieldDirty(&qso.qsoName);
    qso.qsoQsls = QStringLiteral("2");
    qso.setFieldDirty(&qso.qsoQsls);
    qso.update();
    qso.edit();
    qso.qsoConfirm = QStringLiteral("3");
    qso.setFieldDirty(&qso.qsoConfirm);
    qso.update();
    qso.close();
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT quote([QSO-NAME]), quote([QSO-NOTE]), [QSO-QSLS], [QSO-CONFIRM] "
                                                        "FROM [QSO-TAB] WHERE [QSO-CALL]='G4NUL'")),
              QStringList{QStringLiteral("''|''|2|3")});
}

// A bound value is matched as the text it is: quotes, SQL and NUL bytes in it change nothing of
// the statement.
TEST_P(RecordsetTest, BoundValuesMatchLiterallyAndChangeNothingElse)
{
    CQSO2006SRC qso(logPath());
    qso.m_strFilter = QStringLiteral("([QSO-NAME]=?)");
    qso.m_filterValues = {QStringLiteral("O'BRIEN")};
    qso.open();
    ASSERT_FALSE(qso.isEOF());
    EXPECT_EQ(qso.qsoCall, QStringLiteral("EI2O'B"));
    qso.moveNext();
    EXPECT_TRUE(qso.isEOF());

    for (const QString& value : {QStringLiteral("x' OR '1'='1"), QStringLiteral("DL1ABC' --"), QStringLiteral("?")}) {
        qso.m_strFilter = QStringLiteral("([QSO-CALL]=?)");
        qso.m_filterValues = {value};
        qso.requery();
        EXPECT_TRUE(qso.isEOF()) << value.toStdString();
    }
    // A NUL inside the value is part of it: the text before it is not enough to match. ODBC
    // drivers would cut it there: the engine refuses it instead.
    for (const QString& value : {QString::fromLatin1("DL1ABC\0' OR 1=1 --", 18),
                                 QStringLiteral("DL1ABC") + QChar(0) + QStringLiteral("X")}) {
        qso.m_filterValues = {value};
        if (GetParam() == Engine::Sqlite) {
            qso.requery();
            EXPECT_TRUE(qso.isEOF());
        } else {
            EXPECT_THROW(qso.requery(), CDbException);
        }
    }
    // The number of values must be the number of places.
    qso.m_filterValues = {};
    EXPECT_THROW(qso.requery(), CDbException);
}

TEST_P(RecordsetTest, MissingColumnFailsWithEngineText)
{
    SqliteFixture::exec(file, {QStringLiteral("ALTER TABLE [QSO-TAB] DROP COLUMN [QSO-SATMODE]")});
    CQSO2006SRC qso(logPath());
    try {
        qso.open();
        FAIL() << "open succeeded without the column";
    } catch (const CDbException& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("QSO-SATMODE"))) << e.description().toStdString();
    }
}

TEST_P(RecordsetTest, MoveToKeyRereadsTheRow)
{
    CQSO2006SRC qso(logPath());
    qso.open();
    qso.moveNext();
    const RowKey key = qso.currentKey();
    qso.close();
    // A rowid survives a change of the row's values; a key made of the values does not.
    const bool keyedByRowid = GetParam() == Engine::Sqlite;
    if (keyedByRowid)
        SqliteFixture::exec(file, {QStringLiteral("UPDATE [QSO-TAB] SET [QSO-NAME]='FRESH' WHERE [QSO-TIME]='090000'")});
    ASSERT_TRUE(qso.moveToKey(key));
    EXPECT_EQ(qso.qsoTime, QStringLiteral("090000"));
    EXPECT_EQ(qso.qsoName, keyedByRowid ? QStringLiteral("FRESH") : QStringLiteral("HANS"));
    qso.edit();
    qso.qsoConfirm = QStringLiteral("2");
    qso.setFieldDirty(&qso.qsoConfirm);
    qso.update();
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT [QSO-CONFIRM] FROM [QSO-TAB] WHERE [QSO-TIME]='090000'")),
              QStringList{QStringLiteral("2")});
}

TEST_P(RecordsetTest, RollbackUndoesUpdates)
{
    CQSO2006SRC qso(logPath());
    qso.open();
    qso.database().beginTransaction();
    EXPECT_TRUE(qso.database().inTransaction());
    qso.edit();
    qso.qsoQsls = QStringLiteral("2");
    qso.setFieldDirty(&qso.qsoQsls);
    qso.update();
    qso.database().rollback();
    qso.close();
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT [QSO-QSLS] FROM [QSO-TAB] WHERE [QSO-TIME]='120000'")),
              QStringList{QStringLiteral("0")});
}

TEST_P(RecordsetTest, ReferenceTablesExchangeTheirColumns)
{
    const QString refFile = dir.file(QStringLiteral("ref.sqlite"));
    DemoData::writeRefdata(refFile);
    const QString ref = GetParam() == Engine::Sqlite ? refFile : odbcPath(refFile);
    CPP2006SRC prefix(ref);
    prefix.m_strFilter = QStringLiteral("([PREFIX]='DL')");
    prefix.open();
    ASSERT_FALSE(prefix.isEOF());
    EXPECT_EQ(prefix.arrlId, QStringLiteral("230"));
    EXPECT_TRUE(prefix.qslBureau);
    EXPECT_FALSE(prefix.delStatus);

    CDxb96CountySet county(ref);
    county.m_strFilter = QStringLiteral("(([CNTY-ST-ABV]='AK') AND ([CNTY-NAME]='CENTRAL'))");
    county.m_strSort = QStringLiteral("[CNTY-ST-ABV], [CNTY-NAME]");
    county.open();
    EXPECT_FALSE(county.isEOF());
    EXPECT_EQ(county.countyName, QStringLiteral("CENTRAL"));
}

struct VersionCase
{
    const char* statement; // null: no [VERSION] table
    bool passes;
};

TEST_P(RecordsetTest, VersionCheck)
{
    const VersionCase cases[] = {
        {"INSERT INTO [VERSION] VALUES ('6')", true},  {"INSERT INTO [VERSION] VALUES ('6 ')", true},
        {"INSERT INTO [VERSION] VALUES (6)", true},    {"INSERT INTO [VERSION] VALUES ('5')", false},
        {"INSERT INTO [VERSION] VALUES ('7')", false}, {"INSERT INTO [VERSION] VALUES ('')", false},
        {"INSERT INTO [VERSION] VALUES ('60')", false}, {"INSERT INTO [VERSION] VALUES (NULL)", false},
        {"SELECT 1", false}, // table without rows
        {nullptr, false},
    };
    int n = 0;
    for (const VersionCase& c : cases) {
        const QString f = dir.file(QStringLiteral("v%1.sqlite").arg(n++));
        DemoData::writeLog(f, 0, 1);
        SqliteFixture::exec(f, {QStringLiteral("DELETE FROM [VERSION]")});
        if (c.statement)
            SqliteFixture::exec(f, {QString::fromLatin1(c.statement)});
        else
            SqliteFixture::exec(f, {QStringLiteral("DROP TABLE [VERSION]")});
        auto db = Connection::open(GetParam() == Engine::Sqlite ? f : odbcPath(f));
        EXPECT_EQ(CheckLogVersion(*db), c.passes) << (c.statement ? c.statement : "no table");
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordsetTest, ::testing::Values(Engine::Sqlite, Engine::Odbc),
                         [](const auto& info) { return info.param == Engine::Sqlite ? "Sqlite" : "Odbc"; });

// Opening what is not a usable database.
TEST(Connection, MissingFileIsAnErrorAndCreatesNothing)
{
    TestDir dir;
    // The log path as given, and the file it names.
    const QString absent = dir.file(QStringLiteral("absent.sqlite"));
    const std::pair<QString, QString> cases[] = {
        {absent, absent},
        {dir.file(QStringLiteral("absent.db")), dir.file(QStringLiteral("absent.db"))},
        {dir.file(QStringLiteral("absent.mdb")), dir.file(QStringLiteral("absent.mdb"))},
        // The SQLite ODBC driver would make an empty database of a missing file.
        {QStringLiteral("odbc:DRIVER=SQLite3;Database=") + absent, absent},
        {QStringLiteral("odbc:Driver={SQLite3}; database = {") + absent + QStringLiteral("};Timeout=100"), absent},
        {QStringLiteral("odbc:DRIVER=SQLite3;Database=") + dir.file(QStringLiteral("log-without-suffix")),
         dir.file(QStringLiteral("log-without-suffix"))},
        {QStringLiteral("odbc:DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=") + dir.file(QStringLiteral("absent.mdb")),
         dir.file(QStringLiteral("absent.mdb"))},
    };
    for (const auto& [path, file] : cases) {
        try {
            Connection::open(path);
            ADD_FAILURE() << path.toStdString() << " opened";
        } catch (const CDbException& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("does not exist"))) << e.description().toStdString();
        }
        EXPECT_FALSE(QFile::exists(file)) << path.toStdString();
    }
}

TEST(Connection, FolderIsNotADatabase)
{
    TestDir dir;
    for (const char* name : {"folder.sqlite", "folder.mdb"}) {
        const QString folder = dir.file(QString::fromLatin1(name));
        ASSERT_TRUE(QDir().mkpath(folder));
        for (const QString& path : {folder, QStringLiteral("odbc:DRIVER=SQLite3;Database=") + folder}) {
            try {
                Connection::open(path);
                ADD_FAILURE() << path.toStdString() << " opened";
            } catch (const CDbException& e) {
                EXPECT_TRUE(e.description().contains(QStringLiteral("is not a database file"))) << e.description().toStdString();
            }
        }
        EXPECT_TRUE(QDir(folder).isEmpty()) << name;
    }
}

#ifndef Q_OS_WIN
// A database that cannot be written opens and reads (the reference database is only read),
// and its first write transaction is refused, not row by row in the middle of an operation. Run in a child process that gives up the super-user's rights when it has them,
// since those write a read-only file all the same.
TEST(ConnectionDeathTest, ReadOnlyLogReadsButRefusesToWrite)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case
    {
        const char* what;
        QFile::Permissions file;
        QFile::Permissions folder;
    };
    const QFile::Permissions readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions writable = readable | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    const QFile::Permissions traversable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const Case cases[] = {
        {"the file is read-only", readable, writable | traversable},
        {"its folder is read-only", writable, readable | traversable},
    };
    for (const Case& c : cases) {
        TestDir dir;
        if (geteuid() == 0) {
            // The child gives up the super-user's rights: it must still reach the folder.
            for (QDir up(dir.path()); up.cdUp();) {
                if (!(QFileInfo(up.path()).permissions() & QFile::ExeOther))
                    GTEST_SKIP() << up.path().toStdString() << " is closed to other users";
                if (up.isRoot())
                    break;
            }
        }
        const QString folder = dir.file(QStringLiteral("logs"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString f = folder + QStringLiteral("/log.sqlite");
        DemoData::writeLog(f, 3, 7);
        const QByteArray before = dir.read(QStringLiteral("logs/log.sqlite"));
        ASSERT_TRUE(QFile::setPermissions(dir.path(), readable | traversable));
        ASSERT_TRUE(QFile::setPermissions(f, c.file));
        ASSERT_TRUE(QFile::setPermissions(folder, c.folder));
        EXPECT_EXIT(
            {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    _exit(5);
                std::shared_ptr<Connection> db;
                try {
                    db = Connection::open(f);
                    CQSO2006SRC qsos(f, db);
                    qsos.open();
                    if (qsos.isEOF())
                        _exit(7);
                } catch (const CDbException& e) {
                    std::fprintf(stderr, "%s\n", e.what());
                    _exit(8);
                }
                try {
                    db->beginTransaction();
                    _exit(4);
                } catch (const CDbException& e) {
                    std::fprintf(stderr, "%s\n", e.what());
                    _exit(e.description().contains(QString::fromLatin1(c.what)) ? 3 : 6);
                }
            },
            ::testing::ExitedWithCode(3), c.what);
        QFile::setPermissions(folder, writable | traversable);
        QFile::setPermissions(dir.path(), writable | traversable);
        EXPECT_EQ(dir.read(QStringLiteral("logs/log.sqlite")), before) << c.what;
    }
}
#endif

TEST(Connection, NotADatabaseIsAnErrorAndStaysUnchanged)
{
    TestDir dir;
    const QByteArray junk("This is a text file, not a log.\r\n");
    dir.write(QStringLiteral("junk.sqlite"), junk);
    EXPECT_THROW(Connection::open(dir.file(QStringLiteral("junk.sqlite"))), CDbException);
    EXPECT_EQ(dir.read(QStringLiteral("junk.sqlite")), junk);
}

TEST(Connection, RecordsetsOfOneDatabaseShareTheConnection)
{
    TestDir dir;
    const QString f = dir.file(QStringLiteral("log.sqlite"));
    DemoData::writeLog(f, 3, 7);
    CQSO2006SRC reader(f);
    CQSO2006SRC writer(f);
    reader.open(); // a reader in the middle of the table must not block the writer's commit
    writer.open();
    writer.database().beginTransaction();
    writer.edit();
    writer.qsoQsls = QStringLiteral("9");
    writer.setFieldDirty(&writer.qsoQsls);
    writer.update();
    EXPECT_NO_THROW(writer.database().commit());
    EXPECT_EQ(&reader.database(), &writer.database());
}

TEST(Connection, EngineCheck)
{
    EXPECT_EQ(CheckEngineAvailable(QStringLiteral("/x/log.sqlite")), QString());
    const QString access = CheckEngineAvailable(QStringLiteral("/x/Dxbase.mdb"));
#ifndef Q_OS_WIN
    EXPECT_TRUE(access.contains(QStringLiteral("Microsoft Access Driver"))) << access.toStdString();
    {
        // A driver registered under the Access driver's name is not the Access driver here.
        TestDir dir;
        dir.write(QStringLiteral("odbcinst.ini"), "[Microsoft Access Driver (*.mdb, *.accdb)]\nDriver=libmdbodbc.so\n");
        const QByteArray saved = qgetenv("ODBCSYSINI");
        qputenv("ODBCSYSINI", QFile::encodeName(dir.path()));
        const QString registered = CheckEngineAvailable(QStringLiteral("/x/Dxbase.accdb"));
        if (saved.isNull())
            qunsetenv("ODBCSYSINI");
        else
            qputenv("ODBCSYSINI", saved);
        EXPECT_TRUE(registered.contains(QStringLiteral("Windows only"))) << registered.toStdString();
    }
#endif
    const QString unknownDriver = CheckEngineAvailable(QStringLiteral("odbc:DRIVER={No Such Driver};Database=x"));
    EXPECT_TRUE(unknownDriver.contains(QStringLiteral("No Such Driver"))) << unknownDriver.toStdString();
#ifndef Q_OS_WIN
    // The SQLite3 ODBC driver the suite runs the ODBC engine with.
    EXPECT_EQ(CheckEngineAvailable(QStringLiteral("odbc:DRIVER=SQLite3;Database=x")), QString());
#endif
}

}

namespace {
// How rows are known through ODBC: by the table's primary key, or by all their values.
class OdbcKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CheckEngineAvailable(QStringLiteral("odbc:DRIVER=SQLite3;Database=x")).isEmpty())
            GTEST_SKIP() << "the SQLite3 ODBC driver is not installed";
    }

    // Edits the current row: one text column set and marked changed, then written.
    static void setAndUpdate(CQSO2006SRC& qso, QString& column, const QString& value)
    {
        qso.edit();
        column = value;
        qso.setFieldDirty(&column);
        qso.update();
    }
};

// A table without a primary key knows a row by the driver's row identifier: of two rows with
// the same values only the one being edited changes.
TEST_F(OdbcKeys, RowIdentifierTellsTwinsApart)
{
    TestDir dir;
    const QString f = dir.file(QStringLiteral("twins.sqlite"));
    DemoData::writeLog(f, 0, 1);
    SqliteFixture::exec(f, {QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-QSLS]) VALUES ('W1AW','0')"),
                            QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-QSLS]) VALUES ('W1AW','0')")});
    CQSO2006SRC qso(QStringLiteral("odbc:DRIVER=SQLite3;Database=") + f);
    qso.open();
    qso.moveNext();
    setAndUpdate(qso, qso.qsoQsls, QStringLiteral("2"));
    qso.close();
    EXPECT_EQ(SqliteFixture::query(f, QStringLiteral("SELECT [QSO-QSLS] FROM [QSO-TAB] ORDER BY rowid")),
              (QStringList{QStringLiteral("0"), QStringLiteral("2")}));
}

// A table with a primary key knows a row by it: of two rows with the same values only the one
// being edited changes.
TEST_F(OdbcKeys, PrimaryKeyTellsTwinsApart)
{
    TestDir dir;
    const QString f = dir.file(QStringLiteral("keyed.sqlite"));
    DemoData::writeLog(f, 0, 1);
    SqliteFixture::exec(f, {QStringLiteral("ALTER TABLE [QSO-TAB] RENAME TO [QSO-OLD]"),
                            QStringLiteral("CREATE TABLE [QSO-TAB] ([QSO-ID] INTEGER PRIMARY KEY, [QSO-X] TEXT)")});
    QStringList columns;
    for (const ColumnSpec& c : CQSO2006SRC::columnSpecs())
        columns.append(QStringLiteral("ALTER TABLE [QSO-TAB] ADD COLUMN %1 %2")
                           .arg(c.name, c.type == ColumnType::Text ? QStringLiteral("TEXT") : QStringLiteral("INTEGER")));
    SqliteFixture::exec(f, columns);
    SqliteFixture::exec(f, {QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-ID],[QSO-CALL],[QSO-QSLS]) VALUES (7,'W1AW','0')"),
                            QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-ID],[QSO-CALL],[QSO-QSLS]) VALUES (3,'W1AW','0')")});
    CQSO2006SRC qso(QStringLiteral("odbc:DRIVER=SQLite3;Database=") + f);
    qso.m_strSort = QStringLiteral("[QSO-ID]");
    qso.open();
    qso.moveNext(); // the row with key 7
    setAndUpdate(qso, qso.qsoQsls, QStringLiteral("2"));
    setAndUpdate(qso, qso.qsoConfirm, QStringLiteral("3"));
    qso.close();
    EXPECT_EQ(SqliteFixture::query(f, QStringLiteral("SELECT [QSO-ID], [QSO-QSLS], [QSO-CONFIRM] FROM [QSO-TAB] ORDER BY [QSO-ID]")),
              (QStringList{QStringLiteral("3|0|<null>"), QStringLiteral("7|2|3")}));
}
}

namespace {
// One text policy for both engines: log texts are read as the text they are (SQLite keeps
// UTF-8), written back the same, and a filter value outside Latin-1 finds its row.
TEST_P(RecordsetTest, TextsOutsideLatin1ReadAndWriteTheSameOnBothEngines)
{
    const QString name = QString::fromUtf8("J\xc3\xb6rg \xc5\xbb\xc3\xb3\xc5\x82w \xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0");
    SqliteFixture::exec(file, {QStringLiteral("UPDATE [QSO-TAB] SET [QSO-NAME]='%1', [QSO-QTH]='x' WHERE [QSO-TIME]='090000'")
                                   .arg(name)});
    CQSO2006SRC qso(logPath());
    qso.m_strFilter = QStringLiteral("([QSO-NAME]=?)");
    qso.m_filterValues = {name};
    qso.open();
    ASSERT_FALSE(qso.isEOF());
    EXPECT_EQ(qso.qsoName, name);
    EXPECT_EQ(qso.qsoTime, QStringLiteral("090000"));

    const QString qth = QString::fromUtf8("\xd0\x9b\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xbd\xd0\xb3\xd1\x80\xd0\xb0\xd0\xb4 \xc3\x85\xc3\x96\xc3\x9c");
    qso.edit();
    qso.setFieldDirty(&qso.qsoQth);
    qso.qsoQth = qth;
    qso.update();
    qso.close();
    // The bytes in the file are UTF-8, whichever engine wrote them.
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT hex([QSO-QTH]) FROM [QSO-TAB] WHERE [QSO-TIME]='090000'")),
              QStringList{QString::fromLatin1(qth.toUtf8().toHex().toUpper())});
}
} // namespace

namespace {

// The keys of the rows of [QSO-TAB], in table order.
std::vector<RowKey> rowKeys(Connection& db)
{
    std::vector<RowKey> keys;
    const std::unique_ptr<Cursor> cursor =
        db.select(QsoTable::name(), CQSO2006SRC::columnSpecs(), QString(), QString());
    while (cursor->next())
        keys.push_back(cursor->key());
    return keys;
}

} // namespace

// A stretch of rows read one after another is written only where each row still holds what
// was read: a row another program changed meanwhile is named and left alone, and a row it
// added inside the stretch's range is not touched. Both engines give the same answers.
TEST_P(RecordsetTest, AdjacentRowsAreWrittenOnlyWhereTheyStillHoldWhatWasRead)
{
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    const QVariantList two{QStringLiteral("2")}, zero{QStringLiteral("0")};
    const QString column = QStringLiteral("SELECT [QSO-CALL] || '=' || [QSO-QSLS] FROM [QSO-TAB] ORDER BY rowid");
    struct Case
    {
        const char* name;
        std::vector<int> rowids;   // the rows read
        const char* meanwhile;     // what another program does before the write
        bool reversed;             // the keys handed over last row first
        std::vector<size_t> notWritten;
        std::vector<const char*> after; // call=[QSO-QSLS] of every row
    };
    const Case cases[] = {
        {"all as read", {1, 2, 3, 4, 5, 6}, "", false, {}, {"R1=2", "R2=2", "R3=2", "R4=2", "R5=2", "R6=2"}},
        {"one changed", {1, 2, 3, 4, 5, 6}, "UPDATE [QSO-TAB] SET [QSO-QSLS]='1' WHERE rowid=3", false, {2},
         {"R1=2", "R2=2", "R3=1", "R4=2", "R5=2", "R6=2"}},
        {"first and last deleted", {1, 2, 3, 4, 5, 6}, "DELETE FROM [QSO-TAB] WHERE rowid IN (1,6)", false, {0, 5},
         {"R2=2", "R3=2", "R4=2", "R5=2"}},
        {"one added inside", {1, 2, 3, 5, 6},
         "INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS]) VALUES (4,'NEW','0')", false, {},
         {"R1=2", "R2=2", "R3=2", "NEW=0", "R5=2", "R6=2"}},
        // As many rows written by a statement over the range as were read: one added, one changed.
        {"one added, one changed", {1, 2, 3, 5, 6},
         "INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS]) VALUES (4,'NEW','0'); "
         "UPDATE [QSO-TAB] SET [QSO-QSLS]='1' WHERE rowid=2", false, {1},
         {"R1=2", "R2=1", "R3=2", "NEW=0", "R5=2", "R6=2"}},
        {"last row first", {1, 2, 3, 4}, "UPDATE [QSO-TAB] SET [QSO-QSLS]='3' WHERE rowid=4", true, {0},
         {"R1=2", "R2=2", "R3=2", "R4=3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList setUp{QStringLiteral("DELETE FROM [QSO-TAB]")};
        for (int rowid : c.rowids)
            setUp.append(QStringLiteral("INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS]) VALUES (%1,'R%1','0')").arg(rowid));
        SqliteFixture::exec(file, setUp);
        {
            const std::shared_ptr<Connection> db = Connection::open(logPath());
            std::vector<RowKey> keys = rowKeys(*db);
            ASSERT_EQ(keys.size(), c.rowids.size());
            if (*c.meanwhile)
                SqliteFixture::exec(file, QString::fromLatin1(c.meanwhile).split(QStringLiteral("; ")));
            if (c.reversed)
                std::reverse(keys.begin(), keys.end());
            std::vector<const RowKey*> stretch;
            for (const RowKey& key : keys)
                stretch.push_back(&key);
            db->beginTransaction();
            const auto update = db->prepareUpdateIfUnchanged(QsoTable::name(), qsls, qsls);
            EXPECT_EQ(update->runAdjacent(stretch, two, zero), c.notWritten);
            db->commit();
        }
        QStringList after;
        for (const char* row : c.after)
            after.append(QString::fromLatin1(row));
        EXPECT_EQ(SqliteFixture::query(file, column), after);
    }
}

// A stretch the engine refuses part of leaves all of it as it was, within the transaction.
TEST_P(RecordsetTest, RefusedStretchLeavesItsRowsAsTheyWere)
{
    SqliteFixture::exec(file, {QStringLiteral("DELETE FROM [QSO-TAB]"),
                               QStringLiteral("INSERT INTO [QSO-TAB] ([QSO-CALL],[QSO-QSLS]) VALUES ('A1','0'),('BAD','0'),('A3','0')"),
                               QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON [QSO-TAB] WHEN OLD.[QSO-CALL] = 'BAD' "
                                              "BEGIN SELECT RAISE(ABORT, 'refused'); END")});
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    {
        const std::shared_ptr<Connection> db = Connection::open(logPath());
        const std::vector<RowKey> keys = rowKeys(*db);
        std::vector<const RowKey*> stretch;
        for (const RowKey& key : keys)
            stretch.push_back(&key);
        db->beginTransaction();
        const auto update = db->prepareUpdateIfUnchanged(QsoTable::name(), qsls, qsls);
        EXPECT_THROW(update->runAdjacent(stretch, {QStringLiteral("2")}, {QStringLiteral("0")}), CDbException);
        ASSERT_TRUE(db->inTransaction());
        db->rollback();
    }
    EXPECT_EQ(SqliteFixture::query(file, QStringLiteral("SELECT [QSO-QSLS] FROM [QSO-TAB] ORDER BY rowid")),
              (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
}

// Many rows handed over together, each with expected values of its own (what the row must still
// be, as an undo gives them): each is written only where it holds its own, whatever another
// program did to it or to a row between them meanwhile. Both engines give the same answers.
TEST_P(RecordsetTest, RowsWithExpectedValuesOfTheirOwnAreWrittenOnlyWhereEachHoldsItsOwn)
{
    const std::vector<ColumnSpec> qsls = {QsoTable::column(QsoColumn::Qsls)};
    const std::vector<ColumnSpec> conditions = {QsoTable::column(QsoColumn::Qsls),
                                                QsoTable::column(QsoColumn::Call)};
    const QString column = QStringLiteral("SELECT [QSO-CALL] || '=' || [QSO-QSLS] FROM [QSO-TAB] ORDER BY rowid");
    struct Case
    {
        const char* name;
        std::vector<int> rowids; // the rows read, each holding its call R<rowid> and "2"
        const char* meanwhile;   // what another program does before the write
        std::vector<qint64> written;
        std::vector<const char*> after; // call=[QSO-QSLS] of every row
    };
    const Case cases[] = {
        {"all as read", {1, 2, 3, 4, 5, 6}, "", {1, 1, 1, 1, 1, 1}, {"R1=0", "R2=0", "R3=0", "R4=0", "R5=0", "R6=0"}},
        {"one holds another QSO now", {1, 2, 3, 4, 5, 6}, "UPDATE [QSO-TAB] SET [QSO-CALL]='X3' WHERE rowid=3",
         {1, 1, 0, 1, 1, 1}, {"R1=0", "R2=0", "X3=2", "R4=0", "R5=0", "R6=0"}},
        {"one changed in the written column", {1, 2, 3, 4, 5, 6}, "UPDATE [QSO-TAB] SET [QSO-QSLS]='3' WHERE rowid=1",
         {0, 1, 1, 1, 1, 1}, {"R1=3", "R2=0", "R3=0", "R4=0", "R5=0", "R6=0"}},
        {"a row of the same value added between them", {1, 2, 3, 5, 6},
         "INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS]) VALUES (4,'NEW','2')", {1, 1, 1, 1, 1},
         {"R1=0", "R2=0", "R3=0", "NEW=2", "R5=0", "R6=0"}},
        {"the last one gone", {1, 2, 3, 4, 5, 6}, "DELETE FROM [QSO-TAB] WHERE rowid=6", {1, 1, 1, 1, 1, 0},
         {"R1=0", "R2=0", "R3=0", "R4=0", "R5=0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList setUp{QStringLiteral("DELETE FROM [QSO-TAB]")};
        for (int rowid : c.rowids)
            setUp.append(QStringLiteral("INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS]) VALUES (%1,'R%1','2')").arg(rowid));
        SqliteFixture::exec(file, setUp);
        {
            const std::shared_ptr<Connection> db = Connection::open(logPath());
            const std::vector<RowKey> keys = rowKeys(*db);
            ASSERT_EQ(keys.size(), c.rowids.size());
            if (*c.meanwhile)
                SqliteFixture::exec(file, {QString::fromLatin1(c.meanwhile)});
            std::vector<const RowKey*> rows;
            std::vector<QVariantList> expected;
            for (size_t i = 0; i < keys.size(); ++i) {
                rows.push_back(&keys[i]);
                expected.push_back({QStringLiteral("2"), QStringLiteral("R%1").arg(c.rowids[i])});
            }
            db->beginTransaction();
            const auto update = db->prepareUpdateIfUnchanged(QsoTable::name(), qsls, conditions);
            EXPECT_EQ(update->runEachExpecting(rows, {QStringLiteral("0")}, expected), c.written);
            db->commit();
        }
        QStringList after;
        for (const char* row : c.after)
            after.append(QString::fromLatin1(row));
        EXPECT_EQ(SqliteFixture::query(file, column), after);
    }
}

// Many rows handed over together, each putting back columns of its own (an undo of an import,
// which changed different columns in different rows): rows of two sets of columns one after
// another, each written only where it still holds its own expected values; a column another
// set writes is no condition of a row that does not write it. Both engines give the same
// answers.
TEST_P(RecordsetTest, RowsOfDifferentColumnsEachGetTheirOwnWhereTheyStillHoldWhatIsExpected)
{
    const std::vector<ColumnSpec> confirmWritten = {QsoTable::column(QsoColumn::Qsls),
                                                    QsoTable::column(QsoColumn::Confirm)};
    const std::vector<ColumnSpec> confirmConditions = {QsoTable::column(QsoColumn::Qsls),
                                                       QsoTable::column(QsoColumn::Confirm),
                                                       QsoTable::column(QsoColumn::Call)};
    const std::vector<ColumnSpec> noteWritten = {QsoTable::column(QsoColumn::Note)};
    const std::vector<ColumnSpec> noteConditions = {QsoTable::column(QsoColumn::Note), QsoTable::column(QsoColumn::Call)};
    const QString column = QStringLiteral(
        "SELECT [QSO-CALL] || '=' || [QSO-QSLS] || [QSO-CONFIRM] || [QSO-NOTE] FROM [QSO-TAB] ORDER BY rowid");
    struct Case
    {
        const char* name;
        const char* meanwhile; // what another program does before the write
        std::vector<qint64> written;
        std::vector<const char*> after; // call=[QSO-QSLS][QSO-CONFIRM][QSO-NOTE] of every row
    };
    // Rows 1 to 8 hold R<n>, "2", "L" and "T"; odd rows get back "0" and "C<n>", even rows
    // the note "N<n>".
    const Case cases[] = {
        {"all as read", "", {1, 1, 1, 1, 1, 1, 1, 1},
         {"R1=0C1T", "R2=2LN2", "R3=0C3T", "R4=2LN4", "R5=0C5T", "R6=2LN6", "R7=0C7T", "R8=2LN8"}},
        {"one holds another QSO now", "UPDATE [QSO-TAB] SET [QSO-CALL]='X4' WHERE rowid=4", {1, 1, 1, 0, 1, 1, 1, 1},
         {"R1=0C1T", "R2=2LN2", "R3=0C3T", "X4=2LT", "R5=0C5T", "R6=2LN6", "R7=0C7T", "R8=2LN8"}},
        {"one changed in a column it writes", "UPDATE [QSO-TAB] SET [QSO-CONFIRM]='M' WHERE rowid=3",
         {1, 1, 0, 1, 1, 1, 1, 1},
         {"R1=0C1T", "R2=2LN2", "R3=2MT", "R4=2LN4", "R5=0C5T", "R6=2LN6", "R7=0C7T", "R8=2LN8"}},
        {"one changed in a column only the other rows write", "UPDATE [QSO-TAB] SET [QSO-CONFIRM]='M' WHERE rowid=6",
         {1, 1, 1, 1, 1, 1, 1, 1},
         {"R1=0C1T", "R2=2LN2", "R3=0C3T", "R4=2LN4", "R5=0C5T", "R6=2MN6", "R7=0C7T", "R8=2LN8"}},
        {"one gone", "DELETE FROM [QSO-TAB] WHERE rowid=5", {1, 1, 1, 1, 0, 1, 1, 1},
         {"R1=0C1T", "R2=2LN2", "R3=0C3T", "R4=2LN4", "R6=2LN6", "R7=0C7T", "R8=2LN8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList setUp{QStringLiteral("DELETE FROM [QSO-TAB]")};
        for (int rowid = 1; rowid <= 8; ++rowid)
            setUp.append(QStringLiteral("INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS],[QSO-CONFIRM],[QSO-NOTE]) "
                                        "VALUES (%1,'R%1','2','L','T')")
                             .arg(rowid));
        SqliteFixture::exec(file, setUp);
        {
            const std::shared_ptr<Connection> db = Connection::open(logPath());
            const std::vector<RowKey> keys = rowKeys(*db);
            ASSERT_EQ(keys.size(), 8u);
            if (*c.meanwhile)
                SqliteFixture::exec(file, {QString::fromLatin1(c.meanwhile)});
            std::vector<QVariantList> values(keys.size()), expected(keys.size());
            std::vector<RowChange> changes;
            for (size_t i = 0; i < keys.size(); ++i) {
                const QString call = QStringLiteral("R%1").arg(i + 1);
                const bool confirm = i % 2 == 0;
                if (confirm) {
                    values[i] = {QStringLiteral("0"), QStringLiteral("C%1").arg(i + 1)};
                    expected[i] = {QStringLiteral("2"), QStringLiteral("L"), call};
                    changes.push_back({&keys[i], &confirmWritten, &values[i], &confirmConditions, &expected[i]});
                } else {
                    values[i] = {QStringLiteral("N%1").arg(i + 1)};
                    expected[i] = {QStringLiteral("T"), call};
                    changes.push_back({&keys[i], &noteWritten, &values[i], &noteConditions, &expected[i]});
                }
            }
            db->beginTransaction();
            ConditionalUpdates updates(*db, QsoTable::name());
            EXPECT_EQ(db->updateEachIfUnchanged(updates, changes), c.written);
            db->commit();
        }
        QStringList after;
        for (const char* row : c.after)
            after.append(QString::fromLatin1(row));
        EXPECT_EQ(SqliteFixture::query(file, column), after);
    }
}

// Many rows handed over together, each with values and expected values of its own (an undo
// putting back what each row held): each row gets its own values, and only where it still holds
// its own expected values. Both engines give the same answers.
TEST_P(RecordsetTest, RowsWithValuesOfTheirOwnGetTheirOwnWhereTheyStillHoldWhatIsExpected)
{
    const std::vector<ColumnSpec> written = {QsoTable::column(QsoColumn::Qsls),
                                             QsoTable::column(QsoColumn::Confirm)};
    const std::vector<ColumnSpec> conditions = {QsoTable::column(QsoColumn::Qsls),
                                                QsoTable::column(QsoColumn::Confirm),
                                                QsoTable::column(QsoColumn::Call)};
    const QString column =
        QStringLiteral("SELECT [QSO-CALL] || '=' || [QSO-QSLS] || [QSO-CONFIRM] FROM [QSO-TAB] ORDER BY rowid");
    struct Case
    {
        const char* name;
        const char* meanwhile; // what another program does before the write
        std::vector<qint64> written;
        std::vector<const char*> after; // call=[QSO-QSLS][QSO-CONFIRM] of every row
    };
    // Rows 1 to 6 hold R<n>, "2" and "L"; row n gets back "0" and the confirmation "C<n>".
    const Case cases[] = {
        {"all as read", "", {1, 1, 1, 1, 1, 1}, {"R1=0C1", "R2=0C2", "R3=0C3", "R4=0C4", "R5=0C5", "R6=0C6"}},
        {"one holds another QSO now", "UPDATE [QSO-TAB] SET [QSO-CALL]='X4' WHERE rowid=4", {1, 1, 1, 0, 1, 1},
         {"R1=0C1", "R2=0C2", "R3=0C3", "X4=2L", "R5=0C5", "R6=0C6"}},
        {"one changed in a written column", "UPDATE [QSO-TAB] SET [QSO-CONFIRM]='M' WHERE rowid=2", {1, 0, 1, 1, 1, 1},
         {"R1=0C1", "R2=2M", "R3=0C3", "R4=0C4", "R5=0C5", "R6=0C6"}},
        {"one gone", "DELETE FROM [QSO-TAB] WHERE rowid=5", {1, 1, 1, 1, 0, 1},
         {"R1=0C1", "R2=0C2", "R3=0C3", "R4=0C4", "R6=0C6"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList setUp{QStringLiteral("DELETE FROM [QSO-TAB]")};
        for (int rowid = 1; rowid <= 6; ++rowid)
            setUp.append(QStringLiteral("INSERT INTO [QSO-TAB] (rowid,[QSO-CALL],[QSO-QSLS],[QSO-CONFIRM]) "
                                        "VALUES (%1,'R%1','2','L')")
                             .arg(rowid));
        SqliteFixture::exec(file, setUp);
        {
            const std::shared_ptr<Connection> db = Connection::open(logPath());
            const std::vector<RowKey> keys = rowKeys(*db);
            ASSERT_EQ(keys.size(), 6u);
            if (*c.meanwhile)
                SqliteFixture::exec(file, {QString::fromLatin1(c.meanwhile)});
            std::vector<const RowKey*> rows;
            std::vector<QVariantList> values;
            std::vector<QVariantList> expected;
            for (size_t i = 0; i < keys.size(); ++i) {
                rows.push_back(&keys[i]);
                values.push_back({QStringLiteral("0"), QStringLiteral("C%1").arg(i + 1)});
                expected.push_back({QStringLiteral("2"), QStringLiteral("L"), QStringLiteral("R%1").arg(i + 1)});
            }
            db->beginTransaction();
            const auto update = db->prepareUpdateIfUnchanged(QsoTable::name(), written, conditions);
            EXPECT_EQ(update->runEachOwn(rows, values, expected), c.written);
            db->commit();
        }
        QStringList after;
        for (const char* row : c.after)
            after.append(QString::fromLatin1(row));
        EXPECT_EQ(SqliteFixture::query(file, column), after);
    }
}
