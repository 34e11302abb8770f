#pragma once

#include "logdb/Connection.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <QVariantList>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The values of one row's journal columns, in column order, as the journal keeps them.
class UndoValues
{
public:
    void clear() { m_bytes.clear(); }
    void null() { m_bytes.append('N'); }
    // A column the run does not change in this row (given before and after alike).
    void absent() { m_bytes.append('A'); }
    void text(QByteArrayView utf8);
    void text(const QString& text) { this->text(QByteArrayView(text.toUtf8())); }
    void integer(qint64 value);
    void value(const QVariant& value);
    QByteArrayView bytes() const { return m_bytes; }
    // The values of encoded bytes, read as the columns' types (present false for an absent
    // column); false when they are damaged.
    static bool decode(QByteArrayView bytes, const std::vector<ColumnSpec>& columns, QVariantList& values,
                       std::vector<bool>& present);

private:
    QByteArray m_bytes;
};

// What a run that writes the log is about to change, kept before it changes it: one file per
// run in the data folder's "undo" folder (an SQLite file, whatever the log's engine), holding
// the log's path and a fingerprint of its table, the columns the run writes and, for every row
// it writes, the row's key with those columns' values before and after. The file is complete
// on disk before the log's transaction commits, so a kill never leaves a change without its
// before-image; the last kUndoRunsKept files are kept.
class UndoJournal
{
public:
    static constexpr int kUndoRunsKept = 10;

    enum class State { Written, Done, Undone };

    // Starts the journal of a run. kind names the run ("upload", "import"). Throws
    // CFileException when the file cannot be made (a full disk): the run must then not write
    // the log.
    static std::unique_ptr<UndoJournal> begin(const QString& dataFolder, const QString& kind, const QString& logPath,
                                              Connection& log, const std::vector<ColumnSpec>& columns);
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // One row the run writes: its values of the journal's columns before and after.
    void add(const RowKey& key, const QVariantList& before, const QVariantList& after);
    // The same with the values already encoded (UndoValues), for runs that hold their rows as
    // bytes. A row known by its values must be given by the key it has after the run.
    void addEncoded(const RowKey& key, QByteArrayView before, QByteArrayView after);
    // Puts every row added on disk; call before the log's transaction commits. Throws
    // CFileException on failure.
    void seal();
    // After the log committed: the run is complete; rows the run found changed and did not
    // write are taken out (their places in the order they were added, from 0).
    void finish(const std::vector<size_t>& notWritten = {});
    // After the log's transaction was rolled back: the journal is removed.
    void discard();

    const QString& path() const { return m_path; }
    qint64 rows() const { return m_rows; }

    // The fingerprint of a log's table: a digest of the columns and of the first rows' calls,
    // dates and times in table order, which tells a replaced log from the one a run wrote.
    static QString fingerprint(Connection& log);

private:
    UndoJournal() = default;
    void make(const QString& logPath, Connection& log, const std::vector<ColumnSpec>& columns, const QString& kind);
    void exec(const char* sql);
    void fail(const QString& what);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_path;
    int m_columns = 0;
    QStringList m_names;
    UndoValues m_before;
    UndoValues m_after;
    qint64 m_rows = 0;
    bool m_open = false; // inside the write transaction
};

// One kept run, as the undo command lists it.
struct UndoEntry
{
    QString path;
    QString kind;
    QDateTime time;
    QString logPath;
    QString fingerprint;
    qint64 rows = 0;
    UndoJournal::State state = UndoJournal::State::Written;
    QString problem; // why the file cannot be used (damaged), empty when it can
    // For an upload: when LoTW was found to hold every QSO it marked (invalid: not yet).
    QDateTime verified;
};

// Reads the rows of a kept run in the order they were added: each row's key and the values
// of the run's columns before and after it (columns receives the columns). False with the
// cause in problem when the file is damaged or cannot be read.
bool ReadUndoRows(const UndoEntry& entry, std::vector<ColumnSpec>& columns,
                  const std::function<void(const RowKey& key, const QVariantList& before, const QVariantList& after)>& row,
                  QString& problem);

// Notes that LoTW holds every QSO a kept upload marked; false when the file can't be written.
bool SetUndoRunVerified(const UndoEntry& entry, const QDateTime& when);

// The kept runs of a data folder, newest first.
std::vector<UndoEntry> ListUndoRuns(const QString& dataFolder);

// What an undo came to.
struct UndoResult
{
    qint64 restored = 0;
    qint64 leftAlone = 0;       // rows changed since by someone else: listed, not touched
    QStringList leftAloneLines; // "CALL DATE TIME" of those rows (the first hundred)
    QString locatorNote;        // how the engine found the rows, where it had a choice
    qint64 twins = 0;           // rows restored together with a twin (equal in every column)
};

// Takes a kept run back: restores exactly its columns of exactly its rows, in one transaction,
// only where a row still holds what the run wrote. Refuses (throws CDbException with the
// reason) a damaged file, one already undone, and one of another log or of a log that was
// replaced. progress, when given, is called every few thousand rows.
UndoResult UndoRunAt(const UndoEntry& entry, const QString& logPath, const std::function<void()>& progress = {});
