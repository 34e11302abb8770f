#pragma once

#include "QsoIndex.h"
#include "logdb/Connection.h"
#include "TextPool.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Connection;
class RowUpdate;

// The columns of a logged QSO that the import reads and may write.
struct LoggedQso
{
    QString oprCall;  // [QSO-OPRCALL], only read
    QString confirm;  // [QSO-CONFIRM]
    QString lotwRec;  // [QSO-LOTWREC]
    QString cqZone;   // [QSO-CQ-ZONE]
    QString ituZone;  // [QSO-ITU-ZONE]
    QString state;    // [QSO-STATE]
    QString county;   // [QSO-COUNTY]
    QString iota;     // [QSO-IOTA]
    QString grid;     // [QSO-GRID]
    qint32 award = 0; // [QSO-AWARD]
};

// The log's QSOs as an import holds them: read by one pass over [QSO-TAB] (inside the run's
// transaction, so that no other program changes them meanwhile), searched through the index,
// changed in memory record by record, and written back at the end row by row in table order,
// each changed row by one UPDATE of the columns that changed. The import never writes the
// search columns, so the index stays true for the whole run.
class ImportQsoSet
{
public:
    // The columns the import writes, as bits of a change mask.
    enum Column : unsigned {
        Confirm = 1u << 0,
        LotwRec = 1u << 1,
        CqZone = 1u << 2,
        ItuZone = 1u << 3,
        State = 1u << 4,
        County = 1u << 5,
        Iota = 1u << 6,
        Grid = 1u << 7,
        Award = 1u << 8,
    };
    static constexpr int kColumns = 9;

    ImportQsoSet();
    ~ImportQsoSet();
    ImportQsoSet(const ImportQsoSet&) = delete;
    ImportQsoSet& operator=(const ImportQsoSet&) = delete;

    // Reads every row of the log's QSO table; pump runs now and then. Throws CDbException.
    void load(Connection& log, const std::function<void()>& pump = {});
    void clear();

    const QsoIndex& index() const { return m_index; }
    qint64 size() const { return qint64(m_changed.size()); }

    // The row's values as the run has left them so far.
    void read(qint64 entry, LoggedQso& qso) const;
    // Keeps new values of the row; changed: the columns that now differ from what the log
    // holds for it (added to those of earlier changes).
    void change(qint64 entry, const LoggedQso& qso, unsigned changed);
    // Rows with changes not yet written.
    qint64 changedRows() const { return m_changedRows; }

    // Writes the changed columns of one row at once and keeps the values; throws CDbException
    // when the log refuses them (the values kept are then those before).
    void write(Connection& log, qint64 entry, const LoggedQso& qso, unsigned changed);
    // Writes every changed row, in table order, one UPDATE a row. False when the log refused
    // a row and the transaction goes on (every row written before stays written): entry and
    // reason name it. Throws CDbException when the transaction itself was lost or the log is
    // held by another program.
    bool writeChanges(Connection& log, const std::function<void()>& pump, qint64& refused, QString& reason);

    // The columns the import writes, in the order journal() gives their values.
    static std::vector<ColumnSpec> writtenColumns();
    // Hands every row the run changed to add(key, before, after), with the values of
    // writtenColumns() as the log held them when the run read them and as the run left them,
    // encoded for the undo journal; pump runs now and then.
    void journal(const std::function<void(const RowKey&, QByteArrayView, QByteArrayView, QByteArrayView)>& add,
                 const std::function<void()>& pump = {}) const;
    // Rows the run changed.
    qint64 touchedRows() const { return m_touched; }
    // Rows written together with the row a record confirmed: its twins, equal in every column
    // (only where rows are known by their values).
    qint64 twinsWritten() const { return m_twins; }

private:
    static constexpr int kTexts = 9; // the texts of LoggedQso
    void keep(qint64 entry, const LoggedQso& qso);
    std::string_view encode(const std::string_view (&texts)[kTexts], qint32 award);
    RowUpdate& update(Connection& log, unsigned mask);
    void run(Connection& log, qint64 entry, unsigned mask);

    QsoIndex m_index; // with each row's values as its payload
    std::vector<std::uint16_t> m_changed;
    std::vector<std::uint16_t> m_nulls; // the written columns a row held as null, by bit
    // The values each changed row held when it was read (its first payload), kept for the
    // undo journal: offsets into m_originals, kNoOriginal for rows not changed.
    static constexpr std::uint64_t kNoOriginal = ~std::uint64_t(0);
    std::vector<std::uint64_t> m_originalAt;
    std::string m_originals;
    qint64 m_touched = 0;
    qint64 m_twins = 0;
    std::string m_scratch;
    qint64 m_changedRows = 0;
    std::vector<std::unique_ptr<RowUpdate>> m_updates; // by change mask, made on first use
    Connection* m_updatesFor = nullptr;
};
