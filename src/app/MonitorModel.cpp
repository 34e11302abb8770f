#include "MonitorModel.h"

#include <limits>

int MonitorModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_published);
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_published)
        return QVariant();
    return m_lines[size_t(index.row())];
}

bool MonitorModel::append(const QString& line)
{
    if (m_lines.size() >= size_t(std::numeric_limits<int>::max() - 1))
        return false;
    m_lines.push_back(line);
    return true;
}

int MonitorModel::publish()
{
    const int waiting = int(qsizetype(m_lines.size()) - m_published);
    if (waiting == 0)
        return 0;
    beginInsertRows(QModelIndex(), int(m_published), int(m_lines.size()) - 1);
    m_published = qsizetype(m_lines.size());
    endInsertRows();
    return waiting;
}

void MonitorModel::clear()
{
    beginResetModel();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_published = 0;
    endResetModel();
}
