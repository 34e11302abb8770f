#include "LotwReportReader.h"

#include "platform/Errors.h"

#include <QFileDevice>
#include <QIODevice>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
constexpr qsizetype kBlock = 256 * 1024;

bool IsSpaceByte(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// The bytes that end a run of chunk text: the next tag and the line ends.
struct ChunkStops
{
    bool stop[256] = {};
    constexpr ChunkStops()
    {
        stop[static_cast<unsigned char>('<')] = true;
        stop[static_cast<unsigned char>('\n')] = true;
        stop[static_cast<unsigned char>('\r')] = true;
    }
};
constexpr ChunkStops kChunkStops;

// The first byte of [p, stop) that ends a run of chunk text, or stop. Sixteen bytes at a time
// where the processor can compare them so.
const char* FindChunkStop(const char* p, const char* stop)
{
#ifdef __SSE2__
    const __m128i tag = _mm_set1_epi8('<');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    while (stop - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, tag), _mm_cmpeq_epi8(bytes, lf)),
                                          _mm_cmpeq_epi8(bytes, cr));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0)
            return p + __builtin_ctz(unsigned(mask));
        p += 16;
    }
#endif
    while (p < stop && !kChunkStops.stop[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

char UpperByte(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Finds a tag in a stream of bytes, one byte at a time. The pattern begins with "<" and holds
// no other "<", so a failed match can only start again at a "<".
class TagMatcher
{
public:
    // anyCase: the pattern is written in upper case and matches in any letter case.
    constexpr TagMatcher(QByteArrayView pattern, bool anyCase) : m_pattern(pattern), m_anyCase(anyCase) {}

    // True when c completes the pattern.
    bool feed(char c)
    {
        const char byte = m_anyCase ? UpperByte(c) : c;
        m_matched = byte == m_pattern[m_matched] ? m_matched + 1 : (c == '<' ? 1 : 0);
        if (m_matched < m_pattern.size())
            return false;
        m_matched = 0;
        return true;
    }
    void reset() { m_matched = 0; }

private:
    QByteArrayView m_pattern;
    bool m_anyCase;
    qsizetype m_matched = 0;
};

// Whether a chunk, less trailing white space, is the tag name (upper case, with its ">").
bool IsTag(QByteArrayView chunk, QByteArrayView name)
{
    qsizetype end = chunk.size();
    while (end > 0 && IsSpaceByte(chunk[end - 1]))
        --end;
    if (end != name.size())
        return false;
    for (qsizetype i = 0; i < end; ++i) {
        if (UpperByte(chunk[i]) != name[i])
            return false;
    }
    return true;
}

// The value of a tag chunk ("NAME:LEN>value ...") when its name, in any letter case, is the
// upper-case name given: the declared length of it when the chunk holds that many bytes,
// otherwise all of it, without white space at either end.
bool TagValue(QByteArrayView chunk, QByteArrayView name, QByteArray& value)
{
    const qsizetype colon = chunk.indexOf(':');
    const qsizetype close = chunk.indexOf('>');
    if (close < 0 || (colon >= 0 && colon < close ? colon : close) != name.size())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (UpperByte(chunk[i]) != name[i])
            return false;
    }
    QByteArrayView text = chunk.sliced(close + 1);
    if (colon >= 0 && colon < close) {
        qsizetype length = 0;
        qsizetype i = colon + 1;
        for (; i < close && chunk[i] >= '0' && chunk[i] <= '9' && length < (1 << 20); ++i)
            length = length * 10 + (chunk[i] - '0');
        if (i > colon + 1 && (chunk[i] == ':' || chunk[i] == '>') && length <= text.size())
            text = text.first(length);
    }
    while (!text.isEmpty() && IsSpaceByte(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && IsSpaceByte(text.back()))
        text.chop(1);
    value = text.first(qMin(text.size(), LotwReportReader::kCursorBytes)).toByteArray();
    return true;
}

void NoteCursor(QByteArrayView chunk, ReportShape& shape)
{
    if (TagValue(chunk, "APP_LOTW_LASTQSL", shape.lastQsl))
        shape.lastQslGiven = true;
}

// The header fields of a header line: each "<" starts a tag chunk.
void NoteHeaderLine(QByteArrayView line, ReportShape& shape)
{
    qsizetype at = line.indexOf('<');
    while (at >= 0) {
        const qsizetype next = line.indexOf('<', at + 1);
        NoteCursor(line.sliced(at + 1, (next < 0 ? line.size() : next) - at - 1), shape);
        at = next;
    }
}

void NoteStructureTag(QByteArrayView chunk, ReportShape& shape)
{
    if (chunk.isEmpty())
        return;
    const char first = UpperByte(chunk[0]);
    if (first == 'E' && IsTag(chunk, "EOH>"))
        shape.endOfHeader = true;
    else if (first == 'A' && IsTag(chunk, "APP_LOTW_EOF>"))
        shape.endOfFileTag = true;
    else if (first == 'A')
        NoteCursor(chunk, shape);
}

[[noreturn]] void ThrowReadError(const QIODevice& device)
{
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    throw CFileException(QStringLiteral("An error occurred while reading %1: %2")
                             .arg(file ? file->fileName() : QStringLiteral("the LoTW report"), device.errorString()));
}
} // namespace

LotwReportReader::LotwReportReader(QIODevice& device) : m_device(device)
{
    m_buffer.resize(kBlock);
}

// The slow way of fill(): reads the next block, or passes over an LF that completes a CR LF
// line end.
bool LotwReportReader::refill()
{
    for (;;) {
        if (m_pos < m_end) {
            if (!m_skipLf)
                return true;
            m_skipLf = false;
            if (m_buffer.at(m_pos) != '\n')
                return true;
            ++m_pos;
            continue;
        }
        if (m_eof)
            return false;
        const qint64 got = m_device.read(m_buffer.data(), kBlock);
        if (got < 0)
            ThrowReadError(m_device);
        m_pos = 0;
        m_end = got;
        if (got == 0)
            m_eof = true;
    }
}

ReportShape LotwReportReader::read(const std::function<void()>& beforeLine,
                                   const std::function<void(QByteArrayView)>& chunk)
{
    const char* data = m_buffer.constData();
    ReportShape shape;

    // Empty check: lines of zero length are skipped.
    for (;;) {
        if (!fill())
            return shape;
        beforeLine();
        const char c = data[m_pos];
        if (!IsLineEnd(c))
            break;
        ++m_pos;
        m_skipLf = c == '\r';
    }
    shape.nonEmpty = true;

    // Header: the first line that is not empty is consumed unparsed. One that begins with "<"
    // is all of it; any other begins a header that ends with the line holding "<EOH>" or
    // "<eoh>". The lines are still looked through for the tags that tell what the file is.
    {
        const bool tagLine = data[m_pos] == '<';
        TagMatcher upperEoh("<EOH>", false);
        TagMatcher lowerEoh("<eoh>", false);
        TagMatcher endOfFile("<APP_LOTW_EOF>", true);
        TagMatcher endOfRecord("<EOR>", true);
        bool firstLine = true;
        bool found = false;
        // The line as far as a header field can reach; LoTW's cursor is among them.
        constexpr qsizetype kHeaderLine = 512;
        QByteArray line;
        for (;;) {
            if (!fill())
                return shape; // the header never ended: no record lines
            const char c = data[m_pos++];
            if (IsLineEnd(c)) {
                m_skipLf = c == '\r';
                firstLine = false;
                NoteHeaderLine(line, shape);
                line.clear();
                if (tagLine || found)
                    break;
                upperEoh.reset();
                lowerEoh.reset();
                endOfFile.reset();
                endOfRecord.reset();
                if (!fill())
                    return shape;
                beforeLine();
                continue;
            }
            if (line.size() < kHeaderLine)
                line.append(c);
            if (firstLine) {
                if (shape.firstLine.size() < kFirstLineBytes)
                    shape.firstLine.append(c);
                else
                    shape.firstLineCut = true;
            }
            if (found)
                continue;
            // Both spellings see every byte.
            const bool upper = upperEoh.feed(c);
            const bool lower = lowerEoh.feed(c);
            if (upper || lower) {
                found = true;
                shape.endOfHeader = true;
            }
            if (endOfFile.feed(c))
                shape.endOfFileTag = true;
            if (endOfRecord.feed(c))
                shape.recordEndInHeader = true;
        }
    }

    // Record lines. A chunk that lies wholly in the buffer is passed where it is; one that
    // runs over the end of a block is put together here (cleared, never released, between
    // chunks).
    std::string current;
    current.reserve(1024);
    QByteArrayView inBuffer;
    bool whole = false;
    auto pass = [&] {
        const QByteArrayView text = whole ? inBuffer : QByteArrayView(current.data(), qsizetype(current.size()));
        NoteStructureTag(text, shape);
        chunk(text);
        current.clear();
        whole = false;
    };
    while (fill()) {
        beforeLine();
        // Leading white space; a line of nothing else is skipped.
        bool lineEnded = false;
        for (;;) {
            if (!fill()) {
                lineEnded = true;
                break;
            }
            const char c = data[m_pos];
            if (IsLineEnd(c)) {
                ++m_pos;
                m_skipLf = c == '\r';
                lineEnded = true;
                break;
            }
            if (!IsSpaceByte(c))
                break;
            ++m_pos;
        }
        if (lineEnded)
            continue;
        if (data[m_pos] == '<')
            ++m_pos;
        current.clear();
        for (;;) {
            if (!fill())
                break;
            // Copy the run of bytes up to the next '<' or line end in one go.
            const char* begin = data + m_pos;
            const char* stop = data + m_end;
            const char* p = FindChunkStop(begin, stop);
            const qsizetype run = p - begin;
            if (current.empty() && p != stop) {
                inBuffer = QByteArrayView(begin, qMin(run, kMaxChunk));
                whole = true;
            } else {
                const qsizetype room = kMaxChunk - qsizetype(current.size());
                if (room > 0)
                    current.append(begin, size_t(qMin(run, room)));
            }
            m_pos += run;
            if (p == stop)
                continue;
            ++m_pos;
            if (IsLineEnd(*p)) {
                m_skipLf = *p == '\r';
                break;
            }
            pass();
        }
        pass();
    }
    return shape;
}

bool MentionsPassword(QIODevice& device, qint64 limit)
{
    if (!device.seek(0))
        ThrowReadError(device);
    static constexpr QByteArrayView kWord = "PASSWORD";
    QByteArray block(kBlock, Qt::Uninitialized);
    qsizetype matched = 0;
    qint64 left = limit;
    while (left > 0) {
        const qint64 got = device.read(block.data(), qMin<qint64>(left, kBlock));
        if (got < 0)
            ThrowReadError(device);
        if (got == 0)
            break;
        left -= got;
        for (qint64 i = 0; i < got; ++i) {
            const char c = UpperByte(block.at(i));
            // The word repeats no letter of its start, so a failed match starts again at 'P'.
            matched = c == kWord[matched] ? matched + 1 : (c == 'P' ? 1 : 0);
            if (matched == kWord.size())
                return true;
        }
    }
    return false;
}
