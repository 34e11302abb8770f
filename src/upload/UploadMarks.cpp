// The marks of an upload: the QSOs of the file become "sent" in the log.

#include "UploadMarks.h"

#include "UploadWalk.h"
#include "logdb/CQSO2006SRC.h"
#include "logdb/QsoTable.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "platform/ProblemLog.h"
#include "undo/UndoJournal.h"

#include <QHash>
#include <algorithm>
#include <atomic>
#include <functional>

namespace {

// A key's values as one text, for finding the key of a row read again.
QString keyText(const RowKey& key)
{
    QString text;
    for (const QVariant& v : key.values) {
        text += v.isNull() ? QStringLiteral("\x01") : v.toString();
        text += QChar(0x1f);
    }
    return text;
}

// The rows of a stretch that still hold what they held when the file was written, by their
// place in keys: the stretch is read again and each row's digest compared. identities receives
// what each row is (call, date, time, band, mode), for the kept run. pump runs now and then.
std::vector<bool> unchangedRows(Connection& db, const UploadWalkColumns& columns,
                                const std::vector<const RowKey*>& keys, const std::vector<quint64>& digests,
                                std::vector<QStringList>& identities, const std::function<void()>& pump = {})
{
    std::vector<bool> unchanged(keys.size(), false);
    identities.assign(keys.size(), QStringList());
    if (keys.empty())
        return unchanged;
    const std::unique_ptr<Cursor> cursor = db.selectStretch(QsoTable::name(), columns.specs, keys);
    UploadQsoValues values;
    QString qsls, state, county;
    qint64 valid = 0;
    if (keys.front()->rowid < 0) {
        // Keys of the engine's own come back in any order, rows of no key among them: each row
        // read is the first key of its values not met yet (twins are two keys of equal values).
        QHash<QString, std::vector<size_t>> waiting;
        for (size_t i = keys.size(); i-- > 0;)
            waiting[keyText(*keys[i])].push_back(i);
        qint64 read = 0;
        while (cursor->next()) {
            if (pump && (++read & 0xFFF) == 0)
                pump();
            auto it = waiting.find(keyText(cursor->key()));
            if (it == waiting.end() || it->empty())
                continue;
            const size_t found = it->back();
            it->pop_back();
            columns.readSelection(*cursor, qsls, values.oprCall, valid);
            columns.readRecord(*cursor, values, state, county);
            unchanged[found] = UploadRowDigest(values, qsls, valid) == digests[found];
            identities[found] = {values.call, values.date, values.time, values.band, values.mode};
        }
        return unchanged;
    }
    size_t at = 0;
    while (at < keys.size() && cursor->next()) {
        const RowKey key = cursor->key();
        // The rows come in the stretch's order; a row between them that is not one of them
        // (added since) matches none and is passed over.
        size_t found = at;
        while (found < keys.size() && !SameRow(*keys[found], key)) {
            if (key.rowid >= 0 && keys[found]->rowid > key.rowid) {
                found = keys.size();
                break;
            }
            ++found;
        }
        if (found == keys.size())
            continue;
        columns.readSelection(*cursor, qsls, values.oprCall, valid);
        columns.readRecord(*cursor, values, state, county);
        unchanged[found] = UploadRowDigest(values, qsls, valid) == digests[found];
        identities[found] = {values.call, values.date, values.time, values.band, values.mode};
        at = found + 1;
    }
    return unchanged;
}

} // namespace

namespace {
// The sent mark's values as the statements take them: "2" or "3" for a QSO that was due
// with "0" or "1".
const QVariant& sentValue(bool wasOne)
{
    static const QVariant two = SentMark::marked(false), three = SentMark::marked(true);
    return wasOne ? three : two;
}
const QVariant& dueValue(bool wasOne)
{
    static const QVariant zero = SentMark::due(false), one = SentMark::due(true);
    return wasOne ? one : zero;
}
const std::vector<ColumnSpec>& qslsColumn()
{
    static const std::vector<ColumnSpec> qsls = QsoTable::columns({QsoColumn::Qsls});
    return qsls;
}
} // namespace

// What one writing of marks works with, inside its transaction.
struct UploadMarks::Pass
{
    Connection& db;
    const UploadWalkColumns columns;
    std::unique_ptr<ConditionalUpdate> mark;
    UndoJournal* journal;
    // Places in places (not in the marks) of the rows not written.
    std::vector<size_t> notWritten;
};

UploadMarks::UploadMarks(CQSO2006SRC& qsos, const std::vector<UploadMark>& marks, ProblemLog& problems,
                         const QString& logPath, const QString& undoFolder)
    : m_qsos(qsos),
      m_marks(marks),
      m_problems(problems),
      m_monitor(problems.monitor()),
      m_logPath(logPath),
      m_undoFolder(undoFolder)
{
}

// Marks the QSOs of the file at the given places (in file order) as sent, in one transaction:
// "0" becomes "2" and "1" becomes "3", each only where the row still holds every value its
// record was made from. A row another program changed meanwhile keeps its value; its place is
// put in changed. What the marks change is kept for undo, on disk before the log commits. False
// with error when the log could not be written: nothing is then marked.
bool UploadMarks::markRows(const std::vector<size_t>& places, QString& error, std::vector<size_t>& changed)
{
    changed.clear();
    m_marked = 0;
    m_twins = 0;
    if (places.empty())
        return true;
    // The kept run is made first: without room for it the log is not touched.
    std::unique_ptr<UndoJournal> journal;
    if (!m_undoFolder.isEmpty()) {
        try {
            journal = UndoJournal::begin(m_undoFolder, QStringLiteral("upload"), m_logPath, qslsColumn());
        } catch (const CFileException& e) {
            error = e.description();
            return false;
        }
    }
    Connection* db = nullptr;
    std::vector<size_t> notWritten;
    try {
        db = &m_qsos.database();
        const WaitNoticeScope notice(*db, WaitNotice(m_monitor, true, m_logPath));
        Pass pass{*db, UploadWalkColumns::of(*db), nullptr, journal.get(), {}};
        db->beginTransaction();
        pass.mark = db->prepareUpdateIfUnchanged(QsoTable::name(), qslsColumn(), qslsColumn());
        if (db->rowsKnownByValues(QsoTable::name()))
            markKnownByValues(pass, places);
        else
            markInStretches(pass, places);
        if (journal)
            journal->seal();
        db->commit();
        notWritten = std::move(pass.notWritten);
    } catch (const std::exception& e) {
        rollBack(db, journal.get(), e, error);
        return false;
    }
    if (journal)
        journal->finish();
    for (size_t i : notWritten)
        changed.push_back(places[i]);
    m_marked = long(places.size() - notWritten.size());
    try {
        m_qsos.close();
    } catch (const CDbException&) {
        // The marks are committed; closing is all that failed.
    }
    return true;
}

// Rows known by their values may have twins (the same QSO logged twice, equal in every column):
// both were written to the file, and the statement that marks one marks both. They are read
// again and marked all at once, each kind of mark apart, so that the engine reaches the rows
// that share the values of an index together, whatever their places in the walk. Their keys
// hold every value of their rows, so they are unpacked a part at a time; rows that share the
// values of the index the engine searches by go into the same part.
namespace {
std::atomic<size_t> g_partSize{16384};
} // namespace

void UploadMarks::setPartSize(size_t rows)
{
    g_partSize = std::max<size_t>(rows, 1);
}

void UploadMarks::markKnownByValues(Pass& pass, const std::vector<size_t>& places)
{
    const size_t kPart = g_partSize;
    TwinCredits twins;
    const auto pump = [this] { m_monitor.PumpMessages(); };
    const QStringList searched = pass.db.searchColumns(QsoTable::name());
    std::vector<std::vector<size_t>> parts;
    std::vector<size_t> at;
    std::vector<RowKey> unpacked;
    std::vector<const RowKey*> keys;
    std::vector<quint64> digests;
    std::vector<QStringList> identities;
    for (const bool one : {false, true}) {
        const QVariantList sent{sentValue(one)}, due{dueValue(one)};
        std::vector<size_t> mine;
        for (size_t i = 0; i < places.size(); ++i) {
            if (m_marks[places[i]].wasOne == one)
                mine.push_back(i);
        }
        const size_t partCount = (mine.size() + kPart - 1) / kPart;
        parts.assign(partCount, {});
        if (partCount > 1 && !searched.isEmpty()) {
            QString text;
            for (size_t i : mine) {
                const RowKey key = m_marks[places[i]].key.unpack();
                text.clear();
                for (const QString& column : searched) {
                    for (qsizetype c = 0; c < key.names.size(); ++c) {
                        if (key.names.at(c).compare(column, Qt::CaseInsensitive) == 0)
                            text += key.values.at(c).toString();
                    }
                    text += QChar(0x1f);
                }
                parts[qHash(text) % partCount].push_back(i);
            }
        } else {
            for (size_t k = 0; k < mine.size(); ++k)
                parts[k / kPart].push_back(mine[k]);
        }
        for (std::vector<size_t>& part : parts) {
            at = std::move(part);
            unpacked.clear();
            digests.clear();
            for (size_t i : at) {
                unpacked.push_back(m_marks[places[i]].key.unpack());
                digests.push_back(m_marks[places[i]].digest);
            }
            keys.clear();
            for (const RowKey& key : unpacked)
                keys.push_back(&key);
            const std::vector<bool> unchanged = unchangedRows(pass.db, pass.columns, keys, digests, identities, pump);
            std::vector<const RowKey*> toWrite;
            for (size_t i = 0; i < keys.size(); ++i) {
                if (unchanged[i])
                    toWrite.push_back(keys[i]);
            }
            const std::vector<qint64> written = pass.mark->runEach(toWrite, sent, due, pump);
            for (size_t i = 0, w = 0; i < keys.size(); ++i) {
                const qint64 rows = unchanged[i] ? written[w++] : 0;
                if (rows > 0)
                    twins.written(*keys[i], rows);
                else if (!twins.take(*keys[i])) {
                    pass.notWritten.push_back(at[i]);
                    continue;
                }
                // The row written, with what it is, goes into the kept run.
                if (pass.journal)
                    pass.journal->add(*keys[i], {due.at(0)}, {sent.at(0)}, identities[i]);
            }
            m_monitor.PumpMessages();
        }
    }
    std::sort(pass.notWritten.begin(), pass.notWritten.end());
    m_twins = twins.together();
}

// Rows that lay one after another in the walk with the same value are read again and marked
// together, in stretches short enough for the window to hear from the run in between.
void UploadMarks::markInStretches(Pass& pass, const std::vector<size_t>& places)
{
    constexpr size_t kStretch = 65536;
    std::vector<RowKey> unpacked;
    std::vector<const RowKey*> keys;
    std::vector<quint64> digests;
    std::vector<QStringList> identities;
    for (size_t at = 0; at < places.size();) {
        const UploadMark& first = m_marks[places[at]];
        size_t end = at + 1;
        while (end < places.size() && end - at < kStretch && m_marks[places[end]].row == m_marks[places[end - 1]].row + 1
               && m_marks[places[end]].wasOne == first.wasOne)
            ++end;
        unpacked.clear();
        digests.clear();
        for (size_t i = at; i < end; ++i) {
            unpacked.push_back(m_marks[places[i]].key.unpack());
            digests.push_back(m_marks[places[i]].digest);
        }
        keys.clear();
        for (const RowKey& key : unpacked)
            keys.push_back(&key);
        const QVariantList values{sentValue(first.wasOne)}, expected{dueValue(first.wasOne)};
        const std::vector<bool> unchanged = unchangedRows(pass.db, pass.columns, keys, digests, identities);
        const size_t written = pass.notWritten.size();
        if (std::all_of(unchanged.begin(), unchanged.end(), [](bool b) { return b; })) {
            for (size_t i : pass.mark->runAdjacent(keys, values, expected))
                pass.notWritten.push_back(at + i);
        } else {
            for (size_t i = 0; i < keys.size(); ++i) {
                if (!unchanged[i] || !pass.mark->run(*keys[i], values, expected))
                    pass.notWritten.push_back(at + i);
            }
        }
        // The rows written, with what they are, go into the kept run.
        if (pass.journal) {
            size_t next = written;
            for (size_t i = 0; i < keys.size(); ++i) {
                if (next < pass.notWritten.size() && pass.notWritten[next] == at + i) {
                    ++next;
                    continue;
                }
                pass.journal->add(*keys[i], {expected.at(0)}, {values.at(0)}, identities[i]);
            }
        }
        at = end;
        m_monitor.PumpMessages();
    }
}

// A failure while marking: the transaction is rolled back, the kept run thrown away, and the
// log's recordset closed; error says why.
void UploadMarks::rollBack(Connection* db, UndoJournal* journal, const std::exception& e, QString& error)
{
    if (db) {
        try {
            db->rollback();
        } catch (const CDbException&) {
            // The failure itself is reported by the caller.
        }
    }
    if (journal)
        journal->discard();
    if (const auto* failure = dynamic_cast<const CDbException*>(&e)) {
        m_problems.noteDbError(failure->description());
        error = failure->description();
    } else if (const auto* failure = dynamic_cast<const CFileException*>(&e)) {
        error = failure->description();
    } else {
        error = QString::fromLocal8Bit(e.what());
    }
    try {
        m_qsos.close();
    } catch (const CDbException&) {
    }
}
