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
// the log's path, the columns the run writes and, for every row it writes, the row's key, what
// the row is (its call, date, time, band and mode) and those columns' values before and after.
// The file is complete on disk before the log's transaction commits, so a kill never leaves a
// change without its before-image; the last kUndoRunsKept files are kept.
//
// Whether the log took a run is recorded in the same file: "written" while the log's commit is
// still to come, "done" once it came. A file a kill left "written" is settled by the next run
// (SettleUndoRuns), from what the log's rows hold: the run's after-images (the log took it) or
// its before-images (it never did: "not taken", nothing to undo). An undo is recorded the same
// way: "undoing" before the log commits it, "undone" after.
class UndoJournal
{
public:
    static constexpr int kUndoRunsKept = 10;

    enum class State { Written, Done, Undone, Undoing, NotTaken };

    // The columns that tell which QSO a row holds: its call, date, time, band and mode. A run
    // never changes them.
    static const std::vector<ColumnSpec>& identityColumns();

    // Starts the journal of a run. kind names the run ("upload", "import"). Throws
    // CFileException when the file cannot be made (a full disk): the run must then not write
    // the log.
    static std::unique_ptr<UndoJournal> begin(const QString& dataFolder, const QString& kind, const QString& logPath,
                                              const std::vector<ColumnSpec>& columns);
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // One row the run writes: its values of the journal's columns before and after, and what
    // the row is (the texts of identityColumns(), in their order; empty when not known).
    void add(const RowKey& key, const QVariantList& before, const QVariantList& after,
             const QStringList& identity = {});
    // The same with the values already encoded (UndoValues), for runs that hold their rows as
    // bytes. A row known by its values must be given by the key it has after the run.
    void addEncoded(const RowKey& key, QByteArrayView before, QByteArrayView after, QByteArrayView identity = {});
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

private:
    UndoJournal() = default;
    void make(const QString& logPath, const std::vector<ColumnSpec>& columns, const QString& kind);
    void exec(const char* sql);
    void fail(const QString& what);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QString m_path;
    int m_columns = 0;
    QStringList m_names;
    UndoValues m_before;
    UndoValues m_after;
    UndoValues m_identity;
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
    qint64 rows = 0;
    UndoJournal::State state = UndoJournal::State::Written;
    QString problem; // why the file cannot be used (damaged), empty when it can
    // For an upload: when LoTW was found to hold every QSO it marked (invalid: not yet).
    QDateTime verified;

    // Whether the log holds the run's changes for an undo to take back (state Done).
    bool canBeUndone() const { return problem.isEmpty() && state == UndoJournal::State::Done; }
};

// How a kept run's state reads for the operator: "can be undone", "undone", "interrupted,
// nothing to undo", ...
QString UndoStateText(const UndoEntry& entry);

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

// Settles the kept runs a kill or a failure left between their record and the log's commit
// ("written", "undoing"): what their rows hold in the log tells whether the log took them, and
// that is recorded. Call while holding the data folder's run lock, before a run writes the
// log (a later run could otherwise make a run the log never took look taken). Returns a line
// for each run settled, and for each that could not be (its log could not be read; it is
// tried again next time).
QStringList SettleUndoRuns(const QString& dataFolder);

// What an undo came to.
struct UndoResult
{
    qint64 restored = 0;
    // Rows another program changed or deleted since: listed, not touched.
    qint64 leftAlone = 0;
    QStringList leftAloneLines; // "CALL DATE TIME", with what became of the row (the first hundred)
    // Rows that held what they held before the run already (another program put it back).
    qint64 asBefore = 0;
    // Set when the log took the undo but the kept run could not be marked undone: it is
    // recognised as undone at the next start.
    QString recordProblem;
    QString locatorNote; // how the engine found the rows, where it had a choice
    qint64 twins = 0;    // rows restored together with a twin (equal in every column)
};

// The monitor lines that tell what an undo of entry came to.
QStringList UndoResultLines(const UndoEntry& entry, const UndoResult& result);

// Takes a kept run back: restores exactly its columns of exactly its rows, in one transaction,
// only where a row is still the QSO the run wrote and holds what it wrote there. Refuses
// (throws CDbException with the reason, having changed nothing) a damaged file, a run the log
// never took, one already undone, one of another log, and a log most of whose rows are other
// QSOs or hold what they held before the run (another log, or a copy of the log from before
// the run). The kept run is marked "undoing" before the log commits and "undone" after, so an
// undo is recorded whole however it ends. progress, when given, is called every few thousand
// rows; waitNotice when another program holds the log and the undo waits for it.
UndoResult UndoRunAt(const UndoEntry& entry, const QString& logPath, const std::function<void()>& progress = {},
                     const std::function<void()>& waitNotice = {});
