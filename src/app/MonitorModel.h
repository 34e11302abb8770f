#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <deque>
#include <vector>

// The lines of one event monitor. Lines are only ever appended (or all removed). An appended
// line waits until publish() hands all waiting lines to the views in one insertion, so that a
// run appending a line per record does not make the view lay itself out once per line.
//
// Lines are kept as UTF-8 in large blocks, a few bytes of bookkeeping each, so an upload of a
// big log (twenty lines a QSO) stays small in memory. The monitor holds at most
// kMaxLines lines: beyond that the oldest block of lines is dropped, so the newest lines, the
// end of a run among them, are always there to read.
class MonitorModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr qsizetype kMaxLines = 2'000'000;
    static constexpr qsizetype kBlockLines = 65'536;
    // Room a block takes at once for its lines' text (it grows beyond when it must).
    static constexpr qsizetype kBlockBytes = 1 << 20;

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Appends a line (dropping the oldest block when the monitor is full); always true.
    bool append(const QString& line);
    // Appends UTF-8 lines, each ended by CR LF (bytes after the last CR LF are a line too).
    void appendUtf8Lines(QByteArrayView lines);
    // Shows the waiting lines; returns how many there were.
    int publish();
    bool hasWaiting() const { return m_count > m_published; }
    void clear();

    // Every line held, shown or waiting.
    qsizetype lineCount() const { return m_count; }
    QString line(qsizetype index) const;

private:
    struct Block
    {
        QByteArray text;            // the lines' bytes, one after another
        std::vector<quint32> ends;  // where each line ends in text
    };
    void dropOldestBlock();
    // The block the next line goes to, with room for it in the monitor.
    Block& blockForLine();

    std::deque<Block> m_blocks;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
    qsizetype m_count = 0;
    qsizetype m_published = 0; // lines the views know of: the first m_published
};
