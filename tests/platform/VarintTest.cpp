#include "platform/Varint.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {
struct VarintCase
{
    const char* name;
    std::uint64_t value;
    QByteArray bytes;
};

// The case by its name in test listings (not its bytes).
void PrintTo(const VarintCase& c, std::ostream* os)
{
    *os << c.name;
}

class VarintBytes : public ::testing::TestWithParam<VarintCase> {};

// The bytes of each number, at every point where one more byte is needed: what the undo
// journals on disk hold must read the same in every later version.
TEST_P(VarintBytes, WrittenAndReadBack)
{
    const VarintCase& c = GetParam();
    EXPECT_EQ(Varint::size(c.value), std::size_t(c.bytes.size()));

    char out[Varint::kMaxBytes + 1] = {};
    const char* end = Varint::put(out, c.value);
    EXPECT_EQ(QByteArray(out, end - out), c.bytes);

    QByteArray appended("x");
    Varint::append(appended, c.value);
    EXPECT_EQ(appended, "x" + c.bytes);
    std::string text;
    Varint::append(text, c.value);
    EXPECT_EQ(QByteArray::fromStdString(text), c.bytes);

    const char* in = c.bytes.constData();
    EXPECT_EQ(Varint::get(in), c.value);
    EXPECT_EQ(in, c.bytes.constData() + c.bytes.size());

    in = c.bytes.constData();
    std::uint64_t read = 12345;
    EXPECT_TRUE(Varint::get(in, c.bytes.constData() + c.bytes.size(), read));
    EXPECT_EQ(read, c.value);
    EXPECT_EQ(in, c.bytes.constData() + c.bytes.size());

    // Cut short by one byte, the number is not whole.
    in = c.bytes.constData();
    EXPECT_FALSE(Varint::get(in, c.bytes.constData() + c.bytes.size() - 1, read));
}

INSTANTIATE_TEST_SUITE_P(
    Values, VarintBytes,
    ::testing::Values(VarintCase{"Zero", 0, QByteArray(1, '\0')},
                      VarintCase{"OneByteLargest", 127, "\x7f"},
                      VarintCase{"TwoBytesSmallest", 128, "\x80\x01"},
                      VarintCase{"ThreeHundred", 300, "\xac\x02"},
                      VarintCase{"TwoBytesLargest", 16383, "\xff\x7f"},
                      VarintCase{"ThreeBytesSmallest", 16384, QByteArray("\x80\x80\x01", 3)},
                      VarintCase{"FourGiB", std::uint64_t(1) << 32, QByteArray("\x80\x80\x80\x80\x10", 5)},
                      VarintCase{"Largest", std::numeric_limits<std::uint64_t>::max(),
                                 "\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01"}),
    [](const ::testing::TestParamInfo<VarintCase>& info) { return std::string(info.param.name); });

TEST(Varint, DamagedBytesAreNoNumber)
{
    std::uint64_t n = 0;
    // Nothing at all.
    const char* none = "";
    const char* in = none;
    EXPECT_FALSE(Varint::get(in, none, n));
    // Eleven bytes that all say "more follows": no number runs on beyond ten.
    const QByteArray endless(11, '\xff');
    in = endless.constData();
    EXPECT_FALSE(Varint::get(in, endless.constData() + endless.size(), n));
    EXPECT_LE(in, endless.constData() + Varint::kMaxBytes);
    // A number followed by more bytes stops at its own end.
    const QByteArray two("\x05\x06", 2);
    in = two.constData();
    EXPECT_TRUE(Varint::get(in, two.constData() + two.size(), n));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(in, two.constData() + 1);
}
} // namespace
