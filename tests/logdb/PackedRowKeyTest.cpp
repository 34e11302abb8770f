// A row key kept packed gives back exactly the key it was made from.

#include "logdb/PackedRowKey.h"

#include <QDate>
#include <gtest/gtest.h>

namespace {

// Whether two keys are the same in every respect the engines look at: rowid, names, and each
// value's type, null state and contents.
void ExpectSameKey(const RowKey& got, const RowKey& want)
{
    EXPECT_EQ(got.rowid, want.rowid);
    EXPECT_EQ(got.names, want.names);
    ASSERT_EQ(got.values.size(), want.values.size());
    for (qsizetype i = 0; i < want.values.size(); ++i) {
        SCOPED_TRACE(i);
        const QVariant& g = got.values.at(i);
        const QVariant& w = want.values.at(i);
        EXPECT_EQ(g.isValid(), w.isValid());
        EXPECT_EQ(g.typeId(), w.typeId());
        EXPECT_EQ(g.isNull(), w.isNull());
        EXPECT_EQ(g, w);
        if (w.typeId() == QMetaType::QString) {
            EXPECT_EQ(g.toString().isNull(), w.toString().isNull());
            EXPECT_EQ(g.toString(), w.toString());
        }
    }
}

RowKey KeyOf(const QVariantList& values)
{
    RowKey key;
    for (qsizetype i = 0; i < values.size(); ++i)
        key.names.append(QStringLiteral("[C%1]").arg(i));
    key.values = values;
    return key;
}

TEST(PackedRowKeyTest, GivesBackEveryKindOfValueExactly)
{
    struct Case
    {
        const char* name;
        QVariant value;
    };
    QString loneSurrogate;
    loneSurrogate.append(QChar(0xd800));
    loneSurrogate.append(QLatin1Char('x'));
    const Case cases[] = {
        {"no value", QVariant()},
        {"a null text", QVariant(QString())},
        {"an empty text", QVariant(QStringLiteral(""))},
        {"ASCII", QVariant(QStringLiteral("DL1ABC"))},
        {"Latin-1 with its top character", QVariant(QString::fromUtf8("M\xc3\xbcnchen \xc3\xbf"))},
        {"beyond Latin-1", QVariant(QString::fromUtf8("\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0"))},
        {"a character beyond 16 bits", QVariant(QString::fromUtf8("a\xf0\x9f\x93\xbb"))},
        {"a lone surrogate", QVariant(loneSurrogate)},
        {"a text of 300 characters", QVariant(QString(300, QLatin1Char('w')))},
        {"a NUL character", QVariant(QString(QChar(0)) + QStringLiteral("a"))},
        {"a 64-bit integer", QVariant(qint64(-9007199254740993LL))},
        {"a 32-bit integer", QVariant(qint32(-7))},
        {"the largest 32-bit integer", QVariant(qint32(2147483647))},
        {"a real", QVariant(2.5)},
        {"a truth value", QVariant(true)},
        {"a date", QVariant(QDate(2024, 2, 29))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The value among others, first and last: the values around it must come back too.
        const RowKey key = KeyOf({c.value, QVariant(QStringLiteral("K1ABC")), QVariant(qint64(42)), c.value});
        const PackedRowKey packed(key);
        EXPECT_TRUE(packed.packed());
        ExpectSameKey(packed.unpack(), key);
    }
}

TEST(PackedRowKeyTest, KeysOfFewValuesAreKeptAsTheyAre)
{
    RowKey rowid;
    rowid.rowid = 17;
    RowKey primary = KeyOf({QVariant(qint64(5))});
    RowKey two = KeyOf({QVariant(QStringLiteral("A")), QVariant(qint32(1))});
    for (const RowKey* key : {&rowid, &primary, &two}) {
        const PackedRowKey packed(*key);
        EXPECT_FALSE(packed.packed());
        ExpectSameKey(packed.unpack(), *key);
    }
}

TEST(PackedRowKeyTest, AKeyOfEveryValueOfARowTakesAboutTheBytesOfItsTexts)
{
    QVariantList values;
    for (int i = 0; i < 41; ++i)
        values.append(i % 3 == 0 ? QVariant(QString()) : QVariant(QStringLiteral("VALUE%1").arg(i)));
    const RowKey key = KeyOf(values);
    const PackedRowKey packed(key);
    ExpectSameKey(packed.unpack(), key);
    EXPECT_EQ(PackedRowKey().unpack().values.size(), 0);
    // The count, a tag for each of the 41 values, and a length and a byte for each character of
    // each text.
    qsizetype texts = 0;
    for (const QVariant& v : values)
        texts += v.toString().isNull() ? 0 : 1 + v.toString().size();
    EXPECT_EQ(packed.packedSize(), 1 + 41 + texts);
}

} // namespace
