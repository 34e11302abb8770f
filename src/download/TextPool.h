#pragma once

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
    static std::size_t recordSize(std::size_t textSize) { return lengthSize(textSize) + textSize; }
    // Writes a text at out; returns the position after it.
    static char* put(char* out, std::string_view text)
    {
        std::size_t n = text.size();
        while (n >= 0x80) {
            *out++ = char(0x80 | (n & 0x7f));
            n >>= 7;
        }
        *out++ = char(n);
        if (!text.empty())
            std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }
    // Reads the text at in and moves in past it.
    static std::string_view get(const char*& in)
    {
        std::size_t n = 0;
        int shift = 0;
        unsigned char byte;
        do {
            byte = static_cast<unsigned char>(*in++);
            n |= std::size_t(byte & 0x7f) << shift;
            shift += 7;
        } while (byte & 0x80);
        const std::string_view text(in, n);
        in += n;
        return text;
    }

private:
    static std::size_t lengthSize(std::size_t n)
    {
        std::size_t bytes = 1;
        while (n >= 0x80) {
            n >>= 7;
            ++bytes;
        }
        return bytes;
    }

    static constexpr unsigned kShift = 20;
    static constexpr std::size_t kBlock = std::size_t(1) << kShift;
    static constexpr Ref kMask = Ref(kBlock - 1);
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = kBlock; // bytes used in the last block
};
