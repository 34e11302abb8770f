#include "MonitorModel.h"

#include <gtest/gtest.h>

namespace {

TEST(MonitorModel, LinesComeBackInOrderAcrossBlocks)
{
    MonitorModel model;
    const qsizetype n = MonitorModel::kBlockLines * 2 + 5;
    for (qsizetype i = 0; i < n; ++i)
        model.append(QStringLiteral("line %1").arg(i));
    model.append(QString()); // an empty line stays a line
    model.append(QStringLiteral("caf\u00e9 \u00b0")); // single-byte text round trip
    // Any text comes back as it went in, a lone surrogate aside, which does not reach the next line.
    model.append(QStringLiteral("UA3ABC \u0414\u043c\u0438\u0442\u0440\u0438\u0439 \U0001F4E1"));
    model.append(QString(QChar(0xD83D)));
    model.append(QStringLiteral("next"));
    ASSERT_EQ(model.lineCount(), n + 5);
    EXPECT_EQ(model.line(n + 2), QStringLiteral("UA3ABC \u0414\u043c\u0438\u0442\u0440\u0438\u0439 \U0001F4E1"));
    EXPECT_EQ(model.line(n + 4), QStringLiteral("next"));
    ASSERT_EQ(model.lineCount(), n + 5);
    EXPECT_EQ(model.rowCount(), 0); // nothing shown before publish
    EXPECT_EQ(model.publish(), int(n + 5));
    for (qsizetype i : {qsizetype(0), MonitorModel::kBlockLines - 1, MonitorModel::kBlockLines, n - 1})
        EXPECT_EQ(model.data(model.index(int(i))).toString(), QStringLiteral("line %1").arg(i));
    EXPECT_EQ(model.line(n), QString());
    EXPECT_EQ(model.line(n + 1), QStringLiteral("caf\u00e9 \u00b0"));
}

TEST(MonitorModel, AFullMonitorDropsItsOldestLinesAndKeepsTheNewest)
{
    MonitorModel model;
    const qsizetype total = MonitorModel::kMaxLines + 10;
    for (qsizetype i = 0; i < total; ++i)
        model.append(QString::number(i));
    model.publish();
    EXPECT_LE(model.lineCount(), MonitorModel::kMaxLines);
    EXPECT_EQ(model.rowCount(), int(model.lineCount()));
    EXPECT_EQ(model.line(model.lineCount() - 1), QString::number(total - 1));
    EXPECT_EQ(model.line(0), QString::number(total - model.lineCount()));
    model.clear();
    EXPECT_EQ(model.lineCount(), 0);
    EXPECT_EQ(model.rowCount(), 0);
}

}
