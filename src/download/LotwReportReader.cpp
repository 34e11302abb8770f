#include "LotwReportReader.h"

#include "platform/Errors.h"

#include <QFileDevice>
#include <QIODevice>
#include <string>

namespace {
constexpr qsizetype kBlock = 256 * 1024;

bool IsSpaceByte(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
} // namespace

LotwReportReader::LotwReportReader(QIODevice& device) : m_device(device)
{
    m_buffer.resize(kBlock);
}

// Makes at least one byte available; false at the end of the report.
bool LotwReportReader::fill()
{
    if (m_pos < m_end)
        return true;
    if (m_eof)
        return false;
    const qint64 got = m_device.read(m_buffer.data(), kBlock);
    if (got < 0) {
        const auto* file = qobject_cast<const QFileDevice*>(&m_device);
        throw CFileException(QStringLiteral("An error occurred while reading %1: %2")
                                 .arg(file ? file->fileName() : QStringLiteral("the LoTW report"),
                                      m_device.errorString()));
    }
    m_pos = 0;
    m_end = got;
    if (got == 0)
        m_eof = true;
    return got > 0;
}

bool LotwReportReader::read(const std::function<void()>& beforeLine,
                            const std::function<void(QByteArrayView)>& chunk)
{
    const char* data = m_buffer.constData();

    // Empty check: lines of zero length (LF or CR LF alone) are skipped.
    bool startsWithCr = false;
    for (;;) {
        if (!fill())
            return false;
        beforeLine();
        if (data[m_pos] == '\n') {
            ++m_pos;
            continue;
        }
        if (data[m_pos] == '\r') {
            ++m_pos;
            if (!fill())
                return true; // a lone CR at the very end: a header line and nothing more
            if (data[m_pos] == '\n') {
                ++m_pos;
                continue;
            }
            startsWithCr = true; // a line starting with CR: not empty, not a tag line
            break;
        }
        break;
    }

    // Header: the first line that is not empty is consumed unparsed.
    if (!startsWithCr && data[m_pos] == '<') {
        while (fill()) {
            if (data[m_pos++] == '\n')
                break;
        }
    } else {
        static const char upper[] = "<EOH>";
        static const char lower[] = "<eoh>";
        int upperMatched = 0;
        int lowerMatched = 0;
        bool found = false;
        for (;;) {
            if (!fill())
                return true; // no end of header: no records
            const char c = data[m_pos++];
            if (c == '\n') {
                if (found)
                    break;
                upperMatched = lowerMatched = 0;
                if (!fill())
                    return true;
                beforeLine();
                continue;
            }
            if (found)
                continue;
            // Neither pattern repeats its first byte, so a failed match restarts at '<'.
            upperMatched = c == upper[upperMatched] ? upperMatched + 1 : (c == '<' ? 1 : 0);
            lowerMatched = c == lower[lowerMatched] ? lowerMatched + 1 : (c == '<' ? 1 : 0);
            if (upperMatched == 5 || lowerMatched == 5)
                found = true;
        }
    }

    // Record lines.
    // Cleared, never released, between chunks.
    std::string current;
    current.reserve(1024);
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
            if (c == '\n') {
                ++m_pos;
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
            // Copy the run of bytes up to the next '<' or LF in one go.
            const char* begin = data + m_pos;
            const char* stop = data + m_end;
            const char* p = begin;
            while (p < stop && *p != '<' && *p != '\n')
                ++p;
            const qsizetype run = p - begin;
            const qsizetype room = kMaxChunk - qsizetype(current.size());
            if (room > 0)
                current.append(begin, size_t(qMin(run, room)));
            m_pos += run;
            if (p == stop)
                continue;
            ++m_pos;
            if (*p == '\n')
                break;
            chunk(QByteArrayView(current.data(), qsizetype(current.size())));
            current.clear();
        }
        chunk(QByteArrayView(current.data(), qsizetype(current.size())));
    }
    return true;
}
