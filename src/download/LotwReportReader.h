#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

class QIODevice;

// Reads a LoTW report line by line in constant memory, whatever the length of its lines:
// the empty check, the header, and the record lines cut into tag chunks. A line is the text
// up to LF (a CR before it counts as white space). Chunks longer than kMaxChunk bytes are
// passed cut to their first kMaxChunk bytes; no value this program uses is that long.
class LotwReportReader
{
public:
    static constexpr qsizetype kMaxChunk = 65536;

    explicit LotwReportReader(QIODevice& device);

    // Reads the whole report. beforeLine runs before each line is looked at, chunk for each
    // tag chunk of the record lines in order. Returns false when the report has no line that
    // is not empty (a line of zero length is empty, a line of blanks is not).
    //
    // The first line that is not empty is never parsed: one beginning with "<" is skipped;
    // any other starts the header, which runs up to and including the first line holding
    // "<EOH>" or "<eoh>" (without one, there are no record lines). Every record line has its
    // white space removed at both ends; what is left is cut at each "<" into chunks.
    // Throws CFileException when the device fails.
    bool read(const std::function<void()>& beforeLine, const std::function<void(QByteArrayView)>& chunk);

private:
    bool fill();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_eof = false;
};
