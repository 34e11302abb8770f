#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

class QIODevice;

// What the reader saw of a report's structure, so that the import can tell a LoTW report
// (even one without records) from a file that is none, such as the web page a browser saves
// when the LoTW login fails.
struct ReportShape
{
    // Some line is not empty (a line of zero length is empty, a line of blanks is not).
    bool nonEmpty = false;
    // An end-of-header tag was met: "<EOH>" or "<eoh>" in the header, or an end-of-header tag
    // in any letter case among the record lines.
    bool endOfHeader = false;
    // LoTW's closing tag "<APP_LoTW_EOF>" (any letter case) was met.
    bool endOfFileTag = false;
    // An end-of-record tag stood in the first line or in a header that never ended.
    bool recordEndInHeader = false;
    // The first line that is not empty, cut to its first kFirstLineBytes bytes.
    QByteArray firstLine;
    // The first line is longer than what firstLine holds.
    bool firstLineCut = false;
    // LoTW's cursor: the value of the header field APP_LoTW_LASTQSL (the date and time of the
    // newest QSL the report could hold), as given (at most kCursorBytes bytes); lastQslGiven
    // tells whether the field was there at all.
    QByteArray lastQsl;
    bool lastQslGiven = false;
};

// Reads a LoTW report line by line in constant memory, whatever the length of its lines:
// the empty check, the header, and the record lines cut into tag chunks. A line ends at LF,
// at CR LF or at a lone CR. Chunks longer than kMaxChunk bytes are passed cut to their first
// kMaxChunk bytes; no value this program uses is that long.
class LotwReportReader
{
public:
    static constexpr qsizetype kMaxChunk = 65536;
    static constexpr qsizetype kFirstLineBytes = 60;
    static constexpr qsizetype kCursorBytes = 64;

    explicit LotwReportReader(QIODevice& device);

    // Reads the whole report. beforeLine runs before each line is looked at, chunk for each
    // tag chunk of the record lines in order. nonEmpty of the result is false when the report
    // has no line that is not empty.
    //
    // The first line that is not empty is never parsed: one beginning with "<" is skipped;
    // any other starts the header, which runs up to and including the first line holding
    // "<EOH>" or "<eoh>" (without one, there are no record lines). Every record line has its
    // white space removed at both ends; what is left is cut at each "<" into chunks.
    // Throws CFileException when the device fails.
    ReportShape read(const std::function<void()>& beforeLine, const std::function<void(QByteArrayView)>& chunk);

private:
    // Makes at least one byte available; false at the end of the report.
    bool fill()
    {
        if (m_pos < m_end && !m_skipLf)
            return true;
        return refill();
    }
    bool refill();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
    bool m_skipLf = false; // a line just ended at CR: an LF right after it belongs to that end
};

// Whether the first `limit` bytes of the device, read from its start, mention a password (in
// any letter case): the page LoTW answers with when it refuses the login does. Throws
// CFileException when the device fails.
bool MentionsPassword(QIODevice& device, qint64 limit);
