#include "download/TextPool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
constexpr std::size_t kBlock = std::size_t(1) << 20; // the pool's block size

// Puts one record of the given texts into the pool; returns its ref.
TextPool::Ref Add(TextPool& pool, const std::vector<std::string>& texts)
{
    std::size_t size = 0;
    for (const std::string& text : texts)
        size += TextPool::recordSize(text.size());
    TextPool::Ref ref = 0;
    char* out = pool.reserve(size, ref);
    char* const start = out;
    for (const std::string& text : texts)
        out = TextPool::put(out, text);
    EXPECT_EQ(std::size_t(out - start), size);
    return ref;
}

std::vector<std::string> Read(const TextPool& pool, TextPool::Ref ref, std::size_t count)
{
    std::vector<std::string> texts;
    const char* in = pool.at(ref);
    for (std::size_t i = 0; i < count; ++i)
        texts.emplace_back(TextPool::get(in));
    return texts;
}

// The lengths where the length of a text takes one more byte, and the empty text.
TEST(TextPool, TextsOfEveryLengthClassComeBackWhole)
{
    TextPool pool;
    std::vector<std::vector<std::string>> records;
    for (std::size_t length : {0u, 1u, 127u, 128u, 16383u, 16384u, 70000u}) {
        std::string text(length, 'a');
        for (std::size_t i = 0; i < length; ++i)
            text[i] = char('a' + i % 26);
        records.push_back({text, std::string(), std::string("\0\xff\x80", 3)});
    }
    std::vector<TextPool::Ref> refs;
    for (const auto& record : records)
        refs.push_back(Add(pool, record));
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(Read(pool, refs[i], 3), records[i]) << "record " << i;
}

TEST(TextPool, RecordSizeCountsTheLengthBytes)
{
    EXPECT_EQ(TextPool::recordSize(0), 1u);
    EXPECT_EQ(TextPool::recordSize(127), 128u);
    EXPECT_EQ(TextPool::recordSize(128), 130u);
    EXPECT_EQ(TextPool::recordSize(16384), 16387u);
}

// Records that fill a block exactly, one that doesn't fit in what is left, and one larger than
// a block: each keeps its bytes while the pool grows past it, and none overlaps another.
TEST(TextPool, RecordsAtBlockBoundariesKeepTheirBytes)
{
    TextPool pool;
    std::vector<std::vector<std::string>> records;
    std::vector<TextPool::Ref> refs;
    auto add = [&](std::size_t textSize, char fill) {
        records.push_back({std::string(textSize, fill)});
        refs.push_back(Add(pool, records.back()));
    };
    // Two records of half a block each (the length takes 3 bytes): the second ends the block.
    const std::size_t half = kBlock / 2 - Varint::size(kBlock / 2);
    add(half, 'a');
    add(half, 'b');
    EXPECT_EQ(refs[0], 0u);
    EXPECT_EQ(refs[1], TextPool::Ref(kBlock / 2));
    // The next starts the second block.
    add(10, 'c');
    EXPECT_EQ(refs[2], TextPool::Ref(kBlock));
    // Nearly a whole block does not fit behind it: a third block.
    add(kBlock - 5, 'd');
    EXPECT_EQ(refs[3], TextPool::Ref(2 * kBlock));
    // Larger than a block: a block of its own, and the next record starts a new one.
    add(3 * kBlock, 'e');
    EXPECT_EQ(refs[4], TextPool::Ref(3 * kBlock));
    add(1, 'f');
    EXPECT_EQ(refs[5], TextPool::Ref(4 * kBlock));
    // A record of exactly a block fills a fresh block.
    add(kBlock - Varint::size(kBlock), 'g');
    EXPECT_EQ(refs[6], TextPool::Ref(5 * kBlock));
    add(0, 'h');
    EXPECT_EQ(refs[7], TextPool::Ref(6 * kBlock));

    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_TRUE(Read(pool, refs[i], 1) == records[i]) << "record " << i;
}

TEST(TextPool, ClearStartsAgainFromTheFirstBlock)
{
    TextPool pool;
    Add(pool, {"K1ABC"});
    Add(pool, {std::string(kBlock, 'x')});
    pool.clear();
    const TextPool::Ref ref = Add(pool, {"W1AW", ""});
    EXPECT_EQ(ref, 0u);
    EXPECT_EQ(Read(pool, ref, 2), (std::vector<std::string>{"W1AW", ""}));
}
} // namespace
