#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>

class QIODevice;

// Unpacks a gzip stream (a deflate stream inside gzip's header and trailer), as TQSL writes
// its signed files. What it unpacks is handed to a sink in pieces, so that a file of any size
// is read in constant memory; the sink returns false to end the reading early. The trailer's
// CRC-32 and length are checked: a stream that is damaged, cut short or not gzip at all ends
// with the reason.
class Gunzip
{
public:
    using Sink = std::function<bool(QByteArrayView piece)>;

    // Reads the whole stream from input. True when it unpacked completely and its check
    // values hold; false with problem() set otherwise (or when the sink asked to stop, then
    // with an empty problem).
    bool unpack(QIODevice& input, const Sink& sink);

    const QString& problem() const { return m_problem; }
    // Bytes unpacked so far.
    qint64 unpackedSize() const { return m_total; }

private:
    struct Huffman;
    class Damaged;

    void fill();
    unsigned bits(int count);
    int decode(const Huffman& table);
    void storedBlock();
    void codedBlock(const Huffman& lengths, const Huffman& distances);
    void dynamicTables(Huffman& lengths, Huffman& distances);
    void put(unsigned char byte);
    void copy(unsigned distance, unsigned length);
    void flush(bool all);
    void header();
    void trailer();
    unsigned char byte();

    QIODevice* m_input = nullptr;
    QByteArray m_in;
    qsizetype m_inAt = 0;
    bool m_inputEnded = false;
    quint64 m_bitBuffer = 0;
    int m_bitCount = 0;

    QByteArray m_window; // what was unpacked and not yet handed on, plus the last 32 KiB
    qsizetype m_windowUsed = 0;
    qsizetype m_handedOn = 0; // bytes of the window already handed to the sink
    const Sink* m_sink = nullptr;
    bool m_sinkStopped = false;
    quint32 m_crc = 0;
    qint64 m_total = 0;
    QString m_problem;
};
