#include "MonitorModel.h"

int MonitorModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_published);
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_published)
        return QVariant();
    return line(index.row());
}

QString MonitorModel::line(qsizetype index) const
{
    // Every block but the last is full, so the block of a line is a division away.
    const qsizetype firstBlockLines = m_blocks.empty() ? 0 : qsizetype(m_blocks.front().ends.size());
    qsizetype blockIndex = 0;
    qsizetype within = index;
    if (index >= firstBlockLines) {
        blockIndex = 1 + (index - firstBlockLines) / kBlockLines;
        within = (index - firstBlockLines) % kBlockLines;
    }
    const Block& block = m_blocks[size_t(blockIndex)];
    const quint32 begin = within == 0 ? 0 : block.ends[size_t(within - 1)];
    const quint32 end = block.ends[size_t(within)];
    return QString::fromUtf8(block.text.constData() + begin, qsizetype(end - begin));
}

MonitorModel::Block& MonitorModel::blockForLine()
{
    if (m_count >= kMaxLines)
        dropOldestBlock();
    if (m_blocks.empty() || qsizetype(m_blocks.back().ends.size()) >= kBlockLines) {
        m_blocks.emplace_back();
        m_blocks.back().ends.reserve(size_t(kBlockLines));
        m_blocks.back().text.reserve(kBlockBytes);
    }
    return m_blocks.back();
}

void MonitorModel::appendUtf8Lines(QByteArrayView lines)
{
    while (!lines.isEmpty()) {
        const qsizetype end = lines.indexOf(QByteArrayView("\r\n"));
        const QByteArrayView line = end < 0 ? lines : lines.first(end);
        Block& block = blockForLine();
        block.text.append(line);
        block.ends.push_back(quint32(block.text.size()));
        ++m_count;
        lines = end < 0 ? QByteArrayView() : lines.sliced(end + 2);
    }
}

bool MonitorModel::append(const QString& line)
{
    Block& block = blockForLine();
    // Encoded straight into the block: room for the longest encoding, then cut to what it took.
    const qsizetype at = block.text.size();
    block.text.resize(at + 3 * line.size());
    char* const end = m_encoder.appendToBuffer(block.text.data() + at, line);
    block.text.truncate(end - block.text.constData());
    block.ends.push_back(quint32(block.text.size()));
    ++m_count;
    return true;
}

void MonitorModel::dropOldestBlock()
{
    publish();
    const int rows = int(m_blocks.front().ends.size());
    beginRemoveRows(QModelIndex(), 0, rows - 1);
    m_blocks.pop_front();
    m_count -= rows;
    m_published -= rows;
    endRemoveRows();
}

int MonitorModel::publish()
{
    const int waiting = int(m_count - m_published);
    if (waiting == 0)
        return 0;
    beginInsertRows(QModelIndex(), int(m_published), int(m_count) - 1);
    m_published = m_count;
    endInsertRows();
    return waiting;
}

void MonitorModel::clear()
{
    beginResetModel();
    m_blocks.clear();
    m_count = 0;
    m_published = 0;
    endResetModel();
}
