#pragma once

#include "platform/Varint.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

// Short byte texts kept one after another in blocks of 1 MiB, so that the pool grows without
// ever copying what it already holds (a log of a million rows keeps tens of MiB here). A
// record of several texts is written into one block; each text is preceded by its length.
class TextPool
{
public:
    using Ref = std::uint32_t;

    // Room for a record of size bytes; the record is known by ref from now on.
    char* reserve(std::size_t size, Ref& ref);
    const char* at(Ref ref) const { return m_blocks[ref >> kShift].get() + (ref & kMask); }
    void clear();

    // The bytes a text takes in a record: its length, then the text.
    static std::size_t recordSize(std::size_t textSize) { return Varint::size(textSize) + textSize; }
    // Writes a text at out; returns the position after it.
    static char* put(char* out, std::string_view text)
    {
        out = Varint::put(out, text.size());
        if (!text.empty())
            std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }
    // Reads the text at in and moves in past it.
    static std::string_view get(const char*& in)
    {
        const auto n = std::size_t(Varint::get(in));
        const std::string_view text(in, n);
        in += n;
        return text;
    }

private:
    static constexpr unsigned kShift = 20;
    static constexpr std::size_t kBlock = std::size_t(1) << kShift;
    static constexpr Ref kMask = Ref(kBlock - 1);
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = kBlock; // bytes used in the last block
};
