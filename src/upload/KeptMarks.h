#pragma once

#include "logdb/Connection.h"
#include "logdb/PackedRowKey.h"

#include <QDateTime>
#include <QString>
#include <vector>

// One QSO of an upload file that is to be marked as sent: its row, its place in the walk of
// the log (rows one after another are marked together), the value its [QSO-QSLS] held ("1"
// becomes "3", else "0" becomes "2") and a digest of the values the record was made from, so
// that a row another program changed since is left alone. The key is kept packed: an upload
// of a log known by its values keeps every value of every row it will mark.
struct UploadMark
{
    PackedRowKey key;
    long row = 0;
    bool wasOne = false;
    quint64 digest = 0;
};

// The marks of an upload that LoTW took but that the log could not take (another program held
// it): kept in the data folder until the next upload writes them, before it selects anything,
// so that no QSO is sent twice.
class KeptMarks
{
public:
    explicit KeptMarks(const QString& dataFolder);

    // The file that holds them.
    QString path() const { return m_path; }
    bool exist() const;
    // Writes them for the log at logPath (replacing any kept before). False with error set.
    bool save(const QString& logPath, const std::vector<UploadMark>& marks, QString& error) const;
    // Reads them. False with problem set when the file is damaged or was made for another log
    // (then it is left in place for the operator to look at).
    bool load(const QString& logPath, std::vector<UploadMark>& marks, QDateTime& made, QString& problem) const;
    bool remove() const;

private:
    QString m_path;
};
