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

// Upload lines that come as the upload file's bytes are the same lines as ones appended as
// texts: cut at CR LF only, empty lines kept, a last line without its CR LF kept, and the
// oldest lines dropped when the monitor is full, across calls.
TEST(MonitorModel, Utf8LinesAreTheLinesOfTheirText)
{
    MonitorModel model;
    model.append(QStringLiteral("before"));
    const QString text = QStringLiteral("<CALL:5>K1ABC\r\n<NAME:14>\u0414\u043c\u0438\u0442\u0440\u0438\u0439\r\n"
                                        "a lone \r stays\r\n\r\n<EOR>");
    model.appendUtf8Lines(text.toUtf8());
    model.appendUtf8Lines(QByteArrayView());
    QStringList lines;
    for (qsizetype i = 0; i < model.lineCount(); ++i)
        lines.append(model.line(i));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("before"), QStringLiteral("<CALL:5>K1ABC"),
                                  QStringLiteral("<NAME:14>\u0414\u043c\u0438\u0442\u0440\u0438\u0439"),
                                  QStringLiteral("a lone \r stays"), QString(), QStringLiteral("<EOR>")}));

    model.clear();
    QByteArray many;
    for (qsizetype i = 0; i < MonitorModel::kMaxLines + 7; ++i)
        many += QByteArray::number(i) + "\r\n";
    model.appendUtf8Lines(many);
    model.publish();
    EXPECT_LE(model.lineCount(), MonitorModel::kMaxLines);
    EXPECT_EQ(model.rowCount(), int(model.lineCount()));
    EXPECT_EQ(model.line(model.lineCount() - 1), QString::number(MonitorModel::kMaxLines + 6));
    EXPECT_EQ(model.line(0), QString::number(MonitorModel::kMaxLines + 7 - model.lineCount()));
}

}
