#include "options/FieldFile.h"

#include <QBuffer>
#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <limits>

namespace {
QByteArray bytes(const char* s, int n) { return QByteArray(s, n); }

struct NumberLineCase
{
    const char* name; // the test's name
    QByteArray input;
    bool ok;
    long long value;
    QByteArray rest; // what is left after the line
};

// The case by its name in test listings (not its bytes).
void PrintTo(const NumberLineCase& c, std::ostream* os)
{
    *os << c.name;
}

class NumberLine : public ::testing::TestWithParam<NumberLineCase> {};

TEST_P(NumberLine, ReadsLikeScanfPercentI)
{
    const NumberLineCase& c = GetParam();
    QBuffer buffer;
    buffer.setData(c.input);
    buffer.open(QIODevice::ReadOnly);
    long long value = -12345;
    const bool ok = ReadInteger(buffer, value);
    EXPECT_EQ(ok, c.ok);
    if (ok) {
        EXPECT_EQ(value, c.value);
        SkipWhiteSpace(buffer);
        EXPECT_EQ(buffer.readAll(), c.rest);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, NumberLine,
    ::testing::Values(NumberLineCase{"Decimal", "1\r\nabc", true, 1, "abc"},
                      NumberLineCase{"BlanksAroundAndBlankLinesAfter", "  42 \r\n\r\n \tX", true, 42, "X"},
                      NumberLineCase{"HexLowerX", "0x1F\r\n", true, 31, ""},
                      NumberLineCase{"HexUpperX", "0X1f\n", true, 31, ""},
                      NumberLineCase{"Octal", "017\r\n", true, 15, ""},
                      NumberLineCase{"OctalStopsAtNine", "019", true, 1, "9"}, // octal stops at 9
                      NumberLineCase{"HexWithoutDigitsIsZero", "0xg", true, 0, "xg"},
                      NumberLineCase{"Negative", "-7:", true, -7, ":"},
                      NumberLineCase{"PlusSign", "+3", true, 3, ""},
                      NumberLineCase{"DecimalBeyondLargestIsLargest", "99999999999999999999999", true, std::numeric_limits<long long>::max(), ""},
                      NumberLineCase{"HexBeyondLargestIsLargest", "0xffffffffffffffffffff", true, std::numeric_limits<long long>::max(), ""},
                      NumberLineCase{"NegativeHexLargest", "-0x7fffffffffffffff", true, -std::numeric_limits<long long>::max(), ""},
                      NumberLineCase{"Empty", "", false, 0, ""},
                      NumberLineCase{"LineEndOnly", "\r\n", false, 0, ""},
                      NumberLineCase{"SignOnly", "-", false, 0, ""},
                      NumberLineCase{"Letters", "abc\x05", false, 0, ""}),
    [](const ::testing::TestParamInfo<NumberLineCase>& info) { return std::string(info.param.name); });

QBuffer* reader(const QByteArray& data)
{
    auto* buffer = new QBuffer;
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}
}

TEST(Field, ReadsEveryByteUpToTheEndMark)
{
    std::unique_ptr<QBuffer> in(reader(bytes(" a\r\nb \x05\x05last\x05", 13)));
    QString text = QStringLiteral("old");
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text, QStringLiteral(" a\r\nb "));
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text, QString());
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text, QStringLiteral("last"));
    text = QStringLiteral("kept");
    EXPECT_FALSE(ReadField(*in, text));
    EXPECT_EQ(text, QStringLiteral("kept"));
}

TEST(Field, WithoutEndMarkFailsAndKeepsText)
{
    std::unique_ptr<QBuffer> in(reader("no end mark"));
    QString text = QStringLiteral("kept");
    EXPECT_FALSE(ReadField(*in, text));
    EXPECT_EQ(text, QStringLiteral("kept"));
}

TEST(Field, LongestFieldLoadsOneMoreByteFails)
{
    const QByteArray longest(kMaxFieldLength, 'x');
    std::unique_ptr<QBuffer> in(reader(longest + '\x05'));
    QString text;
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text.size(), kMaxFieldLength);

    std::unique_ptr<QBuffer> tooLong(reader(longest + "y\x05"));
    text = QStringLiteral("kept");
    EXPECT_FALSE(ReadField(*tooLong, text));
    EXPECT_EQ(text, QStringLiteral("kept"));
}

#ifndef Q_OS_WIN
// Fields hold text in the system's 8-bit encoding (UTF-8 here); bytes that are not valid in it
// (a field an earlier version wrote in Latin-1) are read one character a byte.
TEST(Field, SystemEncodingWithAByteForByteFallback)
{
    std::unique_ptr<QBuffer> in(reader("\xe9\xff\x05/home/op/\xc5\xbb\xc3\xb3\xc5\x82w/log.db\x05"));
    QString text;
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text, QString::fromLatin1("\xe9\xff"));
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text, QString::fromUtf8("/home/op/\xc5\xbb\xc3\xb3\xc5\x82w/log.db"));
    EXPECT_EQ(FieldBytes(text), QByteArray("/home/op/\xc5\xbb\xc3\xb3\xc5\x82w/log.db"));
    const QString cyrillic = QString::fromUtf8("\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0");
    EXPECT_EQ(FieldText(FieldBytes(cyrillic)), cyrillic);
    // UTF-8 holds every character.
    EXPECT_EQ(CharactersOutsideFieldEncoding(cyrillic), QString());
}

// A text longer than a field is cut on a character's boundary: never half a character.
TEST(Field, CutOnACharactersBoundary)
{
    const QString text = QString(kMaxFieldLength - 1, QLatin1Char('a')) + QString::fromUtf8("\xc3\xbc\xc3\xbc");
    const QByteArray bytes = FieldBytes(text);
    EXPECT_EQ(bytes.size(), kMaxFieldLength - 1);
    EXPECT_EQ(FieldText(bytes), QString(kMaxFieldLength - 1, QLatin1Char('a')));
    const QString emoji = QString(kMaxFieldLength - 2, QLatin1Char('b')) + QString::fromUtf8("\xf0\x9f\x93\xa1");
    EXPECT_EQ(FieldBytes(emoji).size(), kMaxFieldLength - 2);
}
#else
// On Windows fields hold text in the ANSI code page, as the original program wrote them. The
// cases are those of the Western European code page, 1252, where some bytes are not Latin-1's.
class AnsiCodePage1252 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (GetACP() != 1252)
            GTEST_SKIP() << "the cases are written for the ANSI code page 1252; this system has " << GetACP();
    }
};

TEST_F(AnsiCodePage1252, FieldsAreReadAndWrittenInTheCodePage)
{
    // 0x8A, 0x9E and 0x80 are "Š", "ž" and "€" there (control characters in Latin-1).
    std::unique_ptr<QBuffer> in(reader("C:\\Logs\\\x8a\x9e\x80\xe9.mdb\x05"));
    QString text;
    ASSERT_TRUE(ReadField(*in, text));
    EXPECT_EQ(text, QString::fromUtf8("C:\\Logs\\\xc5\xa0\xc5\xbe\xe2\x82\xac\xc3\xa9.mdb"));
    EXPECT_EQ(FieldBytes(text), QByteArray("C:\\Logs\\\x8a\x9e\x80\xe9.mdb"));
    EXPECT_EQ(CharactersOutsideFieldEncoding(text), QString());
}

// Characters the code page lacks are named, each once, and a field with them is not written
// at all: never "?" or a look-alike ("Z" for "Ż") in their place.
TEST_F(AnsiCodePage1252, ACharacterTheCodePageLacksIsRefusedNeverWrittenAsAnother)
{
    const QString path = QString::fromUtf8("C:\\\xc5\xbb\xc3\xb3\xc5\x82w\\\xd0\x9b\xd0\xbe\xd0\xb3\xd0\xbe\xd0\xb2.mdb");
    EXPECT_EQ(CharactersOutsideFieldEncoding(path), QString::fromUtf8("\xc5\xbb\xc5\x82\xd0\x9b\xd0\xbe\xd0\xb3\xd0\xb2"));
    // A character outside the Basic Multilingual Plane, as its pair of surrogates.
    EXPECT_EQ(CharactersOutsideFieldEncoding(QString::fromUtf8("a\xf0\x9f\x93\xa1" "b")), QString::fromUtf8("\xf0\x9f\x93\xa1"));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    EXPECT_FALSE(WriteField(out, path));
    EXPECT_TRUE(out.data().isEmpty());
    EXPECT_EQ(FieldEncodingName(), QStringLiteral("the ANSI code page 1252"));
}

// A text longer than a field is cut to the field's length; in a single-byte code page every
// character is one byte.
TEST_F(AnsiCodePage1252, CutToTheFieldsLength)
{
    const QString text = QString(kMaxFieldLength - 1, QLatin1Char('a')) + QString::fromUtf8("\xc3\xbc\xc3\xbc");
    const QByteArray bytes = FieldBytes(text);
    EXPECT_EQ(bytes, QByteArray(kMaxFieldLength - 1, 'a') + "\xfc");
    EXPECT_EQ(FieldText(bytes), text.left(kMaxFieldLength));
}
#endif

TEST(Field, WritesTextThenEndMarkAndNeverAnInnerEndMark)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteField(out, QStringLiteral("a\r\nb")));
    ASSERT_TRUE(WriteField(out, QString()));
    ASSERT_TRUE(WriteField(out, QString::fromLatin1("x\x05y")));
    ASSERT_TRUE(WriteField(out, QString(kMaxFieldLength + 10, QLatin1Char('z'))));
    QByteArray expected = QByteArray("a\r\nb\x05\x05xy\x05") + QByteArray(kMaxFieldLength, 'z') + '\x05';
    EXPECT_EQ(out.data(), expected);
}

TEST(Field, WriteToClosedDeviceFails)
{
    QBuffer out;
    EXPECT_FALSE(WriteField(out, QStringLiteral("x")));
    EXPECT_FALSE(WriteNumberLine(out, 1));
}
