#pragma once

#include <cstddef>
#include <cstdint>

// Unsigned numbers seven bits a byte, the lowest bits first, every byte but the last with its
// high bit set: 0..127 take one byte, 300 takes AC 02, the largest 64-bit number ten bytes.
// The lengths of the import's texts, the numbers the report's reading thread hands over and
// the lengths and integers of the undo journal are written so.
namespace Varint {

inline constexpr std::size_t kMaxBytes = 10;

// The bytes n takes.
constexpr std::size_t size(std::uint64_t n)
{
    std::size_t bytes = 1;
    while (n >= 0x80) {
        n >>= 7;
        ++bytes;
    }
    return bytes;
}

// Writes n at out (room for size(n) bytes); returns the position after it.
inline char* put(char* out, std::uint64_t n)
{
    while (n >= 0x80) {
        *out++ = char(0x80 | (n & 0x7f));
        n >>= 7;
    }
    *out++ = char(n);
    return out;
}

// Appends n to a byte container (std::string, QByteArray).
template <class Bytes>
void append(Bytes& out, std::uint64_t n)
{
    char bytes[kMaxBytes];
    const char* end = put(bytes, n);
    out.append(bytes, static_cast<decltype(out.size())>(end - bytes));
}

// Reads a number this program wrote itself (in memory: it is whole) and moves in past it.
inline std::uint64_t get(const char*& in)
{
    std::uint64_t n = 0;
    int shift = 0;
    unsigned char byte;
    do {
        byte = static_cast<unsigned char>(*in++);
        n |= std::uint64_t(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    return n;
}

// Reads a number from bytes that may be damaged (a file): false when they end before the
// number does or it runs on beyond ten bytes. in moves past what was read.
inline bool get(const char*& in, const char* end, std::uint64_t& n)
{
    n = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (in >= end)
            return false;
        const auto byte = static_cast<unsigned char>(*in++);
        n |= std::uint64_t(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

} // namespace Varint
