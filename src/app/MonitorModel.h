#pragma once

#include <QAbstractListModel>
#include <QString>
#include <vector>

// The lines of one event monitor. Lines are only ever appended (or all removed). An appended
// line waits until publish() hands all waiting lines to the views in one insertion, so that a
// run appending a line per record does not make the view lay itself out once per line.
class MonitorModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Appends a line; false when the monitor is full (the line is dropped).
    bool append(const QString& line);
    // Shows the waiting lines; returns how many there were.
    int publish();
    bool hasWaiting() const { return qsizetype(m_lines.size()) > m_published; }
    void clear();

    // Every line, shown or waiting.
    qsizetype lineCount() const { return qsizetype(m_lines.size()); }
    const QString& line(qsizetype index) const { return m_lines[size_t(index)]; }

private:
    std::vector<QString> m_lines;
    qsizetype m_published = 0; // lines the views know of: the first m_published
};
