#include "demo/DemoData.h"
#include "logdb/CPP2006SRC.h"
#include "logdb/CQSO2006SRC.h"
#include "logdb/Connection.h"
#include "support/SqliteFixture.h"
#include "support/TempDir.h"

#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

class DemoDataTest : public ::testing::Test
{
protected:
    TestDir dir;
    QString log = dir.file(QStringLiteral("log.sqlite"));
    QString ref = dir.file(QStringLiteral("ref.sqlite"));
    QString report = dir.file(QStringLiteral("lotwreport.adi"));
};

TEST_F(DemoDataTest, LogHasEveryColumnAndVersionSix)
{
    DemoData::writeLog(log, 300, 42);
    auto db = Connection::open(log);
    EXPECT_TRUE(CheckLogVersion(*db));
    CQSO2006SRC qso(log);
    qso.open(); // fails if any of the 41 columns is missing
    int rows = 0;
    QSet<QString> qsls;
    for (; !qso.isEOF(); qso.moveNext(), ++rows) {
        EXPECT_EQ(qso.qsoDate.size(), 8);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{6}$")).match(qso.qsoTime).hasMatch()) << qso.qsoTime.toStdString();
        EXPECT_GE(qso.qsoBand.toInt(), 0);
        EXPECT_LE(qso.qsoMode.toInt(), 7);
        qsls.insert(qso.qsoQsls);
    }
    EXPECT_EQ(rows, 300);
    EXPECT_TRUE(qsls.contains(QStringLiteral("0")) && qsls.contains(QStringLiteral("2")));
}

TEST_F(DemoDataTest, SameSeedSameData)
{
    const DemoData::Qso a = DemoData::qso(1234, 9);
    const DemoData::Qso b = DemoData::qso(1234, 9);
    EXPECT_EQ(a.call, b.call);
    EXPECT_EQ(a.time, b.time);
    EXPECT_NE(DemoData::qso(1234, 10).call + DemoData::qso(1234, 10).time, a.call + a.time);
}

TEST_F(DemoDataTest, EveryLoggedPrefixIsInTheReferenceDatabase)
{
    DemoData::writeLog(log, 500, 3);
    DemoData::writeRefdata(ref);
    int count = 0;
    DemoData::prefixes(&count);
    EXPECT_GE(count, 60);
    QSet<QString> known;
    CPP2006SRC prefix(ref);
    prefix.open();
    for (; !prefix.isEOF(); prefix.moveNext())
        known.insert(prefix.prefix);
    CQSO2006SRC qso(log);
    qso.open();
    for (; !qso.isEOF(); qso.moveNext())
        EXPECT_TRUE(known.contains(qso.qsoPrefix)) << qso.qsoPrefix.toStdString();
    EXPECT_EQ(SqliteFixture::query(ref, QStringLiteral("SELECT count(*) FROM [COUNTY-TAB] WHERE [CNTY-ST-ABV]='AK'")),
              QStringList{QStringLiteral("4")});
}

TEST_F(DemoDataTest, ReportConfirmsLoggedQsosAndCountsItsRecords)
{
    DemoData::writeLog(log, 600, 5);
    const qint64 records = DemoData::writeReport(report, 600, 5, 2);
    const QString text = QString::fromLatin1(dir.read(QStringLiteral("lotwreport.adi")));
    EXPECT_TRUE(text.startsWith(QStringLiteral("ARRL Logbook of the World Status Report\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\r\n<eoh>\r\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("<APP_LoTW_EOF>\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("<eor>\r\n\r\n")), records);
    EXPECT_TRUE(text.contains(QStringLiteral("<APP_LoTW_NUMREC:%1>%2\r\n").arg(QString::number(records).size()).arg(records)));

    // Every record but the two planted misfits names a logged call on that date.
    const QStringList logged = SqliteFixture::query(log, QStringLiteral("SELECT [QSO-CALL] || ' ' || [QSO-DATE] FROM [QSO-TAB]"));
    const QSet<QString> loggedSet(logged.begin(), logged.end());
    static const QRegularExpression re(QStringLiteral("<CALL:\\d+>([^\\r]*)\\r\\n(?:.*\\r\\n)*?<QSO_DATE:8>(\\d{8})"));
    int found = 0, missing = 0;
    for (auto it = re.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        (loggedSet.contains(m.captured(1) + QLatin1Char(' ') + m.captured(2)) ? found : missing)++;
    }
    EXPECT_EQ(found + missing, records);
    EXPECT_EQ(missing, 1); // the QSO that was never logged
}

}
