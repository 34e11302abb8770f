#include "Gunzip.h"

#include <QIODevice>

#include <array>
#include <cstring>

// A damaged stream (or a sink that asked to stop, with no reason): ends the reading.
class Gunzip::Damaged
{
public:
    explicit Damaged(QString reason) : text(std::move(reason)) {}
    QString text;
};

// A canonical Huffman code as deflate describes one: the number of codes of each length, the
// symbols in code order, and a table that decodes codes of up to kFastBits bits at one look.
struct Gunzip::Huffman
{
    static constexpr int kMaxBits = 15;
    static constexpr int kFastBits = 9;
    std::array<quint16, kMaxBits + 1> count{};
    std::array<quint16, 288> symbol{};
    // symbol << 4 | length, by the next kFastBits bits of the stream; 0 when the code is longer.
    std::array<quint16, 1 << kFastBits> fast{};

    // Builds the code from the code lengths of n symbols. False when the lengths describe more
    // codes than there are (an incomplete code is allowed: a code never used is never met).
    bool build(const quint8* lengths, int n)
    {
        count.fill(0);
        fast.fill(0);
        for (int s = 0; s < n; ++s)
            ++count[lengths[s]];
        if (count[0] == n)
            return true; // no codes at all: decoding anything with it fails
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left <<= 1;
            left -= count[len];
            if (left < 0)
                return false;
        }
        std::array<quint16, kMaxBits + 2> offset{};
        for (int len = 1; len <= kMaxBits; ++len)
            offset[len + 1] = quint16(offset[len] + count[len]);
        for (int s = 0; s < n; ++s) {
            if (lengths[s] != 0)
                symbol[offset[lengths[s]]++] = quint16(s);
        }
        // The short codes, bit-reversed (the stream holds a code's first bit lowest), fill
        // every table entry that begins with them.
        int code = 0;
        int index = 0;
        for (int len = 1; len <= kFastBits; ++len) {
            for (int i = 0; i < count[len]; ++i) {
                int reversed = 0;
                for (int b = 0; b < len; ++b)
                    reversed |= ((code + i) >> b & 1) << (len - 1 - b);
                const quint16 entry = quint16(symbol[index + i] << 4 | len);
                for (int k = reversed; k < (1 << kFastBits); k += 1 << len)
                    fast[k] = entry;
            }
            index += count[len];
            code = (code + count[len]) << 1;
        }
        return true;
    }
};

namespace {

constexpr qsizetype kHistory = 32768;      // the farthest a deflate copy reaches back
constexpr qsizetype kWindow = 256 * 1024;  // unpacked bytes gathered before they are handed on
constexpr qint64 kInputChunk = 64 * 1024;

const std::array<quint32, 256>& crcTable()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

quint32 updateCrc(quint32 crc, const char* data, qsizetype size)
{
    const auto& table = crcTable();
    crc = ~crc;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

constexpr std::array<quint16, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<quint8, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<quint16, 30> kDistanceBase = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<quint8, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

} // namespace

void Gunzip::fill()
{
    while (m_bitCount <= 56) {
        if (m_inAt == m_in.size()) {
            if (m_inputEnded)
                return;
            m_in = m_input->read(kInputChunk);
            m_inAt = 0;
            if (m_in.isEmpty()) {
                m_inputEnded = true;
                return;
            }
        }
        m_bitBuffer |= quint64(static_cast<unsigned char>(m_in[m_inAt++])) << m_bitCount;
        m_bitCount += 8;
    }
}

unsigned Gunzip::bits(int count)
{
    if (count == 0)
        return 0;
    if (m_bitCount < count) {
        fill();
        if (m_bitCount < count)
            throw Damaged(QStringLiteral("it is cut short"));
    }
    const unsigned value = unsigned(m_bitBuffer & ((quint64(1) << count) - 1));
    m_bitBuffer >>= count;
    m_bitCount -= count;
    return value;
}

unsigned char Gunzip::byte()
{
    return static_cast<unsigned char>(bits(8));
}

int Gunzip::decode(const Huffman& table)
{
    if (m_bitCount < Huffman::kMaxBits)
        fill();
    const quint16 entry = table.fast[m_bitBuffer & ((1u << Huffman::kFastBits) - 1)];
    const int length = entry & 15;
    if (entry != 0 && length <= m_bitCount) {
        m_bitBuffer >>= length;
        m_bitCount -= length;
        return entry >> 4;
    }
    // A longer code, read one bit at a time.
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= Huffman::kMaxBits; ++len) {
        code |= int(bits(1));
        const int count = table.count[len];
        if (code - count < first)
            return table.symbol[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    throw Damaged(QStringLiteral("it holds a code that means nothing"));
}

void Gunzip::put(unsigned char value)
{
    if (m_windowUsed == m_window.size())
        flush(false);
    m_window[m_windowUsed++] = char(value);
}

void Gunzip::copy(unsigned distance, unsigned length)
{
    const qint64 produced = m_total + (m_windowUsed - m_handedOn);
    if (qint64(distance) > produced)
        throw Damaged(QStringLiteral("it refers to bytes before its beginning"));
    for (unsigned i = 0; i < length; ++i)
        put(static_cast<unsigned char>(m_window[m_windowUsed - distance]));
}

// Hands on what was unpacked since the last time; unless all, keeps the last 32 KiB at the
// window's beginning for the copies still to come.
void Gunzip::flush(bool all)
{
    const qsizetype fresh = m_windowUsed - m_handedOn;
    if (fresh > 0) {
        const char* data = m_window.constData() + m_handedOn;
        m_crc = updateCrc(m_crc, data, fresh);
        m_total += fresh;
        if (!m_sinkStopped && !(*m_sink)(QByteArrayView(data, fresh))) {
            m_sinkStopped = true;
            throw Damaged(QString());
        }
    }
    if (all) {
        m_handedOn = m_windowUsed;
        return;
    }
    const qsizetype keep = std::min(kHistory, m_windowUsed);
    std::memmove(m_window.data(), m_window.constData() + m_windowUsed - keep, size_t(keep));
    m_windowUsed = keep;
    m_handedOn = keep;
}

void Gunzip::storedBlock()
{
    // The rest of the current byte is skipped; the length and its complement follow.
    bits(m_bitCount % 8);
    const unsigned length = bits(16);
    const unsigned complement = bits(16);
    if ((length ^ 0xFFFFu) != complement)
        throw Damaged(QStringLiteral("a stored block's length is damaged"));
    for (unsigned i = 0; i < length; ++i)
        put(byte());
}

void Gunzip::codedBlock(const Huffman& lengths, const Huffman& distances)
{
    for (;;) {
        int symbol = decode(lengths);
        if (symbol < 256) {
            put(static_cast<unsigned char>(symbol));
            continue;
        }
        if (symbol == 256)
            return;
        symbol -= 257;
        if (symbol >= 29)
            throw Damaged(QStringLiteral("it holds a length code that means nothing"));
        const unsigned length = kLengthBase[size_t(symbol)] + bits(kLengthExtra[size_t(symbol)]);
        const int d = decode(distances);
        if (d >= 30)
            throw Damaged(QStringLiteral("it holds a distance code that means nothing"));
        copy(kDistanceBase[size_t(d)] + bits(kDistanceExtra[size_t(d)]), length);
    }
}

void Gunzip::dynamicTables(Huffman& lengths, Huffman& distances)
{
    static constexpr std::array<quint8, 19> order = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    const int literalCount = int(bits(5)) + 257;
    const int distanceCount = int(bits(5)) + 1;
    const int codeCount = int(bits(4)) + 4;
    if (literalCount > 286 || distanceCount > 30)
        throw Damaged(QStringLiteral("a block declares too many codes"));
    std::array<quint8, 320> length{};
    for (int i = 0; i < codeCount; ++i)
        length[order[size_t(i)]] = quint8(bits(3));
    Huffman codeLengths;
    if (!codeLengths.build(length.data(), 19))
        throw Damaged(QStringLiteral("a block's code lengths are damaged"));
    length.fill(0);
    int at = 0;
    while (at < literalCount + distanceCount) {
        const int symbol = decode(codeLengths);
        if (symbol < 16) {
            length[size_t(at++)] = quint8(symbol);
            continue;
        }
        int repeat = 0;
        quint8 value = 0;
        if (symbol == 16) {
            if (at == 0)
                throw Damaged(QStringLiteral("a block repeats a code length before the first"));
            value = length[size_t(at - 1)];
            repeat = 3 + int(bits(2));
        } else if (symbol == 17) {
            repeat = 3 + int(bits(3));
        } else {
            repeat = 11 + int(bits(7));
        }
        if (at + repeat > literalCount + distanceCount)
            throw Damaged(QStringLiteral("a block declares more code lengths than codes"));
        while (repeat-- > 0)
            length[size_t(at++)] = value;
    }
    if (length[256] == 0)
        throw Damaged(QStringLiteral("a block has no end code"));
    if (!lengths.build(length.data(), literalCount) || !distances.build(length.data() + literalCount, distanceCount))
        throw Damaged(QStringLiteral("a block's codes are damaged"));
}

void Gunzip::header()
{
    if (byte() != 0x1F || byte() != 0x8B)
        throw Damaged(QStringLiteral("it is not a gzip file"));
    if (byte() != 8)
        throw Damaged(QStringLiteral("it is packed by a method other than deflate"));
    const unsigned flags = byte();
    for (int i = 0; i < 6; ++i)
        byte(); // time, extra flags, system
    if (flags & 4) {
        unsigned extra = byte();
        extra |= unsigned(byte()) << 8;
        while (extra-- > 0)
            byte();
    }
    if (flags & 8) {
        while (byte() != 0) {
        }
    }
    if (flags & 16) {
        while (byte() != 0) {
        }
    }
    if (flags & 2) {
        byte();
        byte();
    }
}

void Gunzip::trailer()
{
    bits(m_bitCount % 8);
    quint32 crc = 0, size = 0;
    for (int i = 0; i < 4; ++i)
        crc |= quint32(byte()) << (8 * i);
    for (int i = 0; i < 4; ++i)
        size |= quint32(byte()) << (8 * i);
    if (crc != m_crc)
        throw Damaged(QStringLiteral("its check sum does not match what it holds"));
    if (size != quint32(m_total))
        throw Damaged(QStringLiteral("its length does not match what it holds"));
}

bool Gunzip::unpack(QIODevice& input, const Sink& sink)
{
    m_input = &input;
    m_sink = &sink;
    m_in.clear();
    m_inAt = 0;
    m_inputEnded = false;
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_window = QByteArray(kWindow, Qt::Uninitialized);
    m_windowUsed = 0;
    m_handedOn = 0;
    m_sinkStopped = false;
    m_total = 0;
    m_problem.clear();
    try {
        fill();
        if (m_bitCount == 0)
            throw Damaged(QStringLiteral("it is empty"));
        // One member after another, as gzip allows.
        do {
            header();
            m_crc = 0;
            const qint64 before = m_total;
            bool last = false;
            Huffman lengths, distances;
            while (!last) {
                last = bits(1) != 0;
                switch (bits(2)) {
                case 0:
                    storedBlock();
                    break;
                case 1: {
                    static const std::pair<Huffman, Huffman> fixed = [] {
                        std::array<quint8, 288> l{};
                        for (int i = 0; i < 288; ++i)
                            l[size_t(i)] = quint8(i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8);
                        std::array<quint8, 30> d{};
                        d.fill(5);
                        std::pair<Huffman, Huffman> codes;
                        codes.first.build(l.data(), 288);
                        codes.second.build(d.data(), 30);
                        return codes;
                    }();
                    codedBlock(fixed.first, fixed.second);
                    break;
                }
                case 2:
                    dynamicTables(lengths, distances);
                    codedBlock(lengths, distances);
                    break;
                default:
                    throw Damaged(QStringLiteral("it holds a block of an unknown kind"));
                }
            }
            flush(true);
            // The member's check values cover only its own bytes.
            const qint64 all = m_total;
            m_total -= before;
            trailer();
            m_total = all;
            fill();
        } while (m_bitCount > 0);
    } catch (const Damaged& damaged) {
        m_problem = damaged.text;
        return false;
    }
    return true;
}
