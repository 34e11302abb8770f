#include "download/QsoIndex.h"
#include "QsoIndexBuild.h"

#include "Printing.h"

#include <gtest/gtest.h>

namespace {
QString L(const char* text)
{
    return QString::fromLatin1(text);
}

// Rows of call, date, time, mode, band and submode; a null column is given as nullptr (a
// submode left out is null).
class FakeCursor : public Cursor
{
public:
    struct Row
    {
        const char* values[6];
        qint64 rowid;
    };
    // utf8: the texts are UTF-8 (as an ODBC driver may deliver characters beyond Latin-1).
    explicit FakeCursor(std::vector<Row> rows, bool utf8 = false, bool byValues = false)
        : m_rows(std::move(rows)), m_utf8(utf8), m_byValues(byValues)
    {
    }
    bool next() override { return ++m_at < int(m_rows.size()); }
    QVariant value(int column) const override
    {
        const char* v = m_rows[m_at].values[column];
        return v ? QVariant(text(column)) : QVariant();
    }
    QString text(int column) const override
    {
        const char* v = m_rows[m_at].values[column];
        return v ? (m_utf8 ? QString::fromUtf8(v) : L(v)) : QString();
    }
    qint64 integer(int) const override { return 0; }
    RowKey key() const override
    {
        RowKey key;
        if (m_byValues)
            key.values = {QVariant(m_rows[m_at].rowid)};
        else
            key.rowid = m_rows[m_at].rowid;
        return key;
    }

private:
    std::vector<Row> m_rows;
    bool m_utf8;
    bool m_byValues;
    int m_at = -1;
};

struct Search
{
    const char* call;
    const char* time;
    qint64 rowid; // -1: not found
    const char* foundTime;
};

TEST(QsoIndex, SearchesAsTheRequeriesWould)
{
    FakeCursor cursor({
        {{"K1AB", "20110305", "123400", "2", "6"}, 10},
        {{"K1AB", "20110305", "123459", "2", "6"}, 11},
        {{"K1AB", "20110305", "123430", "2", "6"}, 12},
        {{"K1AB", "20110305", "123400", "2", "6"}, 13}, // same as row 10: the first wins
        {{"K2CD", "20110305", "123459", "2", "6"}, 20},
        {{"K3EF", "20110305", "123456", "2", "6"}, 30},
        {{"K3EF", "20110305", "123400", "2", "6"}, 31},
        {{"K4GH", "20110305", "1234", "2", "6"}, 40},    // not six characters: exact only
        {{"K4GH", "20110305", "12346A", "2", "6"}, 41},  // seconds not digits
        {{"K4GH", "20110305", "123460", "2", "6"}, 42},  // seconds above 59
        {{"K5IJ", "20110305", "", "2", "6"}, 50},
        {{"K6KL", "20110305", nullptr, "2", "6"}, 60},   // null time matches nothing
        {{"K6KL", nullptr, "123400", "2", "6"}, 61},     // null date matches nothing
        {{"k7mn", "20110305", "123400", "2", "6"}, 70},  // compared byte for byte
        {{"\xc5\x81" "8AB", "20110305", "123400", "2", "6"}, 80}, // U+0141: can't equal any report text
    }, true);
    QsoIndex index;
    BuildQsoIndex(index, cursor);
    EXPECT_EQ(index.size(), 12);
    EXPECT_FALSE(index.find(L("A8AB"), L("20110305"), L("123400"), L("2"), L("6")).found);

    const Search searches[] = {
        {"K1AB", "123456", 10, "123400"}, // found on the try with seconds 00
        {"K1AB", "123430", 12, "123430"}, // exact first
        {"K2CD", "123400", 20, "123459"}, // 1234 read as 123400, found at seconds 59
        {"K3EF", "123456", 30, "123456"}, // exact beats a lower second
        {"K3EF", "123500", -1, ""},       // another minute
        {"K4GH", "123400", -1, ""},
        {"K4GH", "1234", 40, "1234"},
        {"K5IJ", "", 50, ""},
        {"K6KL", "123400", -1, ""},
        {"K6KL", "", -1, ""},
        {"K7MN", "123400", -1, ""},
        {"K9ZZ", "123400", -1, ""},
    };
    for (const Search& s : searches) {
        const QsoIndex::Match match = index.find(L(s.call), L("20110305"), L(s.time), L("2"), L("6"));
        EXPECT_EQ(match.found, s.rowid >= 0) << s.call << " " << s.time;
        if (match.found) {
            EXPECT_EQ(match.key.rowid, s.rowid) << s.call << " " << s.time;
            EXPECT_EQ(match.time, L(s.foundTime)) << s.call << " " << s.time;
        }
    }
    EXPECT_FALSE(index.find(L("K1AB"), L("20110305"), L("123400"), L("2"), L("5")).found);
    EXPECT_FALSE(index.find(L("K1AB"), L("20110305"), L("123400"), L("3"), L("6")).found);
    EXPECT_FALSE(index.find(L("K1AB"), L("20110306"), L("123400"), L("2"), L("6")).found);
}

TEST(QsoIndex, ManyRowsAndKeysByValue)
{
    std::vector<std::string> texts;
    texts.reserve(20000);
    std::vector<FakeCursor::Row> rows;
    for (int i = 0; i < 20000; ++i) {
        texts.push_back("C" + std::to_string(i % 5000));
        rows.push_back({{texts.back().c_str(), "20200101", i < 10000 ? "000010" : "000005", "2", "6"}, i});
    }
    FakeCursor cursor(rows, false, true);
    QsoIndex index;
    BuildQsoIndex(index, cursor);
    EXPECT_EQ(index.size(), 20000);
    for (int c = 0; c < 5000; c += 499) {
        const QString call = QString::fromStdString("C" + std::to_string(c));
        const QsoIndex::Match exact = index.find(call, L("20200101"), L("000010"), L("2"), L("6"));
        ASSERT_TRUE(exact.found);
        EXPECT_EQ(exact.key.values, QVariantList{QVariant(qint64(c))});
        const QsoIndex::Match seconds = index.find(call, L("20200101"), L("000030"), L("2"), L("6"));
        ASSERT_TRUE(seconds.found);
        EXPECT_EQ(seconds.key.values, QVariantList{QVariant(qint64(c + 10000))});
        EXPECT_EQ(seconds.time, L("000005"));
    }
}

// All digital modes share the mode code 6: among rows of the same call, date, band and time
// (or minute), the one whose [QSO-SUBMODE] names the report's MODE or SUBMODE is taken.
TEST(QsoIndex, SubmodeChoosesAmongEqualRows)
{
    FakeCursor cursor({
        {{"DL1AB", "20240101", "101500", "6", "6", "HELL"}, 1},
        {{"DL1AB", "20240101", "101500", "6", "6", " thor "}, 2}, // blanks and case do not matter
        {{"DL1AB", "20240101", "101500", "6", "6", nullptr}, 3},
        {{"DL2CD", "20240101", "101510", "6", "6", "FT8"}, 10},
        {{"DL2CD", "20240101", "101530", "6", "6", "FT4"}, 11},
        {{"DL2CD", "20240101", "101540", "6", "6", "FT4"}, 12},
        {{"DL3EF", "20240101", "101500", "6", "6", "PSK31"}, 20},
        {{"DL3EF", "20240101", "101520", "6", "6", "THOR"}, 21},
        {{"DL4GH", "20240101", "101500", "6", "6", "THOR16"}, 30}, // the only row: taken whatever it names
        {{"DL5IJ", "20240101", "101500", "6", "6", "JT65"}, 40},
        {{"DL5IJ", "20240101", "101500", "6", "6", "\xc5\x81"}, 41}, // U+0141, beyond Latin-1: names nothing

    }, true);
    QsoIndex index;
    BuildQsoIndex(index, cursor);
    ASSERT_EQ(index.size(), 11);

    struct Case
    {
        const char* call;
        const char* time;
        const char* mode;
        const char* submode;
        qint64 rowid;
        const char* foundTime;
    };
    const Case cases[] = {
        {"DL1AB", "101500", "THOR", "", 2, "101500"},
        {"DL1AB", "101500", "HELL", "", 1, "101500"},
        {"DL1AB", "101500", "HELL", "FSKHELL", 1, "101500"}, // MODE names it
        {"DL1AB", "101500", "MFSK", "THOR", 2, "101500"},    // SUBMODE names it
        {"DL1AB", "101500", "PSK", "PSK31", 1, "101500"},    // none named: the first row, as before
        {"DL1AB", "101500", "", "", 1, "101500"},
        {"DL2CD", "1015", "MFSK", "FT4", 11, "101530"},      // the minute: the lowest seconds of the named rows
        {"DL2CD", "101540", "MFSK", "FT4", 12, "101540"},    // exact time among the named rows
        {"DL2CD", "101540", "MFSK", "FT8", 10, "101510"},    // a named row of the minute beats another exact one
        {"DL2CD", "1015", "MFSK", "JS8", 10, "101510"},
        {"DL3EF", "101500", "THOR", "THOR22", 21, "101520"},
        {"DL4GH", "101500", "MFSK", "FT8", 30, "101500"},
        {"DL5IJ", "101500", "A", "", 40, "101500"},
    };
    for (const Case& c : cases) {
        const QsoIndex::Match match = index.find(L(c.call), L("20240101"), L(c.time).size() == 4 ? L(c.time) + L("00") : L(c.time),
                                                 L("6"), L("6"), L(c.mode), L(c.submode));
        ASSERT_TRUE(match.found) << c.call << " " << c.mode << " " << c.submode;
        EXPECT_EQ(match.key.rowid, c.rowid) << c.call << " " << c.mode << " " << c.submode;
        EXPECT_EQ(match.time, L(c.foundTime)) << c.call << " " << c.mode << " " << c.submode;
    }
}

} // namespace

namespace {
// What the filtered requeries would find among rows of one call, date, mode and band (each
// row a time and a submode key, in table order), written out the simplest way.
struct Found
{
    int row = -1;
    QString time;
};
Found Requeries(const std::vector<std::pair<QString, QString>>& rows, const QString& time, const QString& modeName,
                const QString& submodeName)
{
    auto names = [&](const QString& submode) {
        return !submode.isEmpty() && ((!modeName.isEmpty() && submode == modeName)
                                      || (!submodeName.isEmpty() && submode == submodeName));
    };
    struct Best
    {
        int exact = -1;
        int bySeconds = -1;
        int seconds = 60;
    } any, named;
    for (int i = 0; i < int(rows.size()); ++i) {
        const QString& logged = rows[std::size_t(i)].first;
        const bool isNamed = names(rows[std::size_t(i)].second);
        if (logged == time) {
            if (any.exact < 0)
                any.exact = i;
            if (isNamed && named.exact < 0)
                named.exact = i;
            continue;
        }
        if (time.size() != 6 || logged.size() != 6 || logged.left(4) != time.left(4))
            continue;
        const QChar tens = logged.at(4), units = logged.at(5);
        if (tens < QLatin1Char('0') || tens > QLatin1Char('5') || units < QLatin1Char('0') || units > QLatin1Char('9'))
            continue;
        const int seconds = (tens.unicode() - '0') * 10 + (units.unicode() - '0');
        for (Best* best : {&any, &named}) {
            if ((best == &named && !isNamed) || seconds >= best->seconds)
                continue;
            best->seconds = seconds;
            best->bySeconds = i;
        }
    }
    const Best& best = named.exact >= 0 || named.bySeconds >= 0 ? named : any;
    Found found;
    found.row = best.exact >= 0 ? best.exact : best.bySeconds;
    if (found.row >= 0)
        found.time = best.exact >= 0 ? time : rows[std::size_t(found.row)].first;
    return found;
}

// A group of many rows (a log that holds the same QSO over and over) is searched through its
// sorted lists: the same answers as the rows one by one, for every kind of time and submode.
TEST(QsoIndex, LargeGroupsAnswerAsTheRowsOneByOne)
{
    quint32 seed = 12345;
    auto random = [&seed](int n) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % quint32(n));
    };
    const char* const submodes[] = {"", "FT8", "FT4", "PSK31", "THOR"};
    const char* const minutes[] = {"1015", "1016", "2359"};
    for (int size : {5, 31, 33, 200, 3000}) {
        SCOPED_TRACE(size);
        std::vector<std::pair<QString, QString>> rows;
        std::vector<std::string> texts;
        texts.reserve(std::size_t(size) * 2);
        std::vector<FakeCursor::Row> cursorRows;
        for (int i = 0; i < size; ++i) {
            QString time;
            switch (random(6)) {
            case 0: time = L(minutes[random(3)]); break;                                    // four characters
            case 1: time = L(minutes[random(3)]) + L("6") + QString::number(random(10)); break; // seconds above 59
            case 2: time = L(minutes[random(3)]) + L("0A"); break;                          // seconds not digits
            default:
                time = L(minutes[random(3)]) + QStringLiteral("%1").arg(random(60), 2, 10, QLatin1Char('0'));
            }
            const QString submode = L(submodes[random(5)]);
            rows.emplace_back(time, submode);
            texts.push_back(time.toStdString());
            texts.push_back(submode.toStdString());
        }
        for (int i = 0; i < size; ++i) {
            cursorRows.push_back({{"DL1AB", "20240101", texts[std::size_t(2 * i)].c_str(), "6", "6",
                                   texts[std::size_t(2 * i + 1)].c_str()},
                                  qint64(i + 1)});
        }
        FakeCursor cursor(cursorRows);
        QsoIndex index;
        BuildQsoIndex(index, cursor);
        ASSERT_EQ(index.size(), size);
        for (int q = 0; q < 400; ++q) {
            QString time = L(minutes[random(3)]);
            if (random(5) != 0)
                time += QStringLiteral("%1").arg(random(61), 2, 10, QLatin1Char('0'));
            const QString mode = random(2) ? L(submodes[random(5)]) : L("MFSK");
            const QString submode = random(2) ? L(submodes[random(5)]) : QString();
            const Found expected = Requeries(rows, time, mode, submode);
            const QsoIndex::Match match = index.find(L("DL1AB"), L("20240101"), time, L("6"), L("6"), mode, submode);
            ASSERT_EQ(match.found, expected.row >= 0) << time.toStdString() << " " << mode.toStdString() << " " << submode.toStdString();
            if (match.found) {
                EXPECT_EQ(match.key.rowid, expected.row + 1) << time.toStdString() << " " << mode.toStdString() << " "
                                                             << submode.toStdString();
                EXPECT_EQ(match.time, expected.time) << time.toStdString();
                EXPECT_EQ(match.entry, expected.row);
            }
        }
    }
}
} // namespace

namespace {
// Keys an engine gives for rows it knows by other means than a rowid come back from the index
// as they went in, value and type, whatever mix of them the rows have and after a row's key is
// replaced (integer keys are kept as plain numbers until a key of another kind comes).
TEST(QsoIndex, KeysComeBackAsTheyWentIn)
{
    const QVariant text = QVariant(L("DL1ABC"));
    const QVariant null = QVariant();
    struct Case
    {
        const char* name;
        std::vector<QVariantList> keys; // one per row, in the order added
        int replaced;                   // the row whose key is then replaced (-1: none)
        QVariantList replacement;
    };
    const Case cases[] = {
        {"integers", {{QVariant(qint64(7))}, {QVariant(qint64(-3))}, {QVariant(qint64(1) << 40)}}, -1, {}},
        {"an integer key replaced by another", {{QVariant(qint64(7))}, {QVariant(qint64(8))}}, 1, {QVariant(qint64(9))}},
        {"a key of values after integers", {{QVariant(qint64(7))}, {QVariant(qint64(8))}, {text, null, QVariant(qint64(2))}},
         -1, {}},
        {"an integer key replaced by values", {{QVariant(qint64(7))}, {QVariant(qint64(8))}}, 0, {text, null}},
        {"values first, then integers", {{text}, {QVariant(qint64(8))}, {QVariant(qint64(9))}}, 2, {QVariant(qint64(10))}},
        {"an integer of another type", {{QVariant(qint64(7))}, {QVariant(int(8))}}, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QsoIndex index;
        index.clear();
        std::vector<QVariantList> expected = c.keys;
        for (size_t i = 0; i < c.keys.size(); ++i) {
            RowKey key;
            key.names = {L("[QSO-ID]")};
            key.values = c.keys[i];
            const std::string call = "C" + std::to_string(i);
            const std::string_view texts[6] = {call, "20200101", "120000", "2", "6", ""};
            ASSERT_EQ(index.addLatin1(texts, key), qint64(i));
        }
        index.finish();
        if (c.replaced >= 0) {
            RowKey key;
            key.names = {L("[QSO-ID]")};
            key.values = c.replacement;
            index.setKey(c.replaced, key);
            expected[size_t(c.replaced)] = c.replacement;
        }
        EXPECT_TRUE(index.hasValueKeys());
        for (size_t i = 0; i < expected.size(); ++i) {
            const RowKey key = index.key(qint64(i));
            EXPECT_EQ(key.rowid, -1);
            EXPECT_EQ(key.names, QStringList{L("[QSO-ID]")});
            ASSERT_EQ(key.values.size(), expected[i].size()) << i;
            for (qsizetype v = 0; v < key.values.size(); ++v) {
                EXPECT_EQ(key.values.at(v), expected[i].at(v)) << i;
                EXPECT_EQ(key.values.at(v).typeId(), expected[i].at(v).typeId()) << i;
                EXPECT_EQ(key.values.at(v).isNull(), expected[i].at(v).isNull()) << i;
            }
        }
    }
}
} // namespace
