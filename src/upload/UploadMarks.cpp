// The marks of an upload: the QSOs of the file become "sent" in the log.

#include "UploadRun.h"

#include "UploadWalk.h"
#include "logdb/CQSO2006SRC.h"
#include "logdb/QsoTable.h"
#include "platform/Errors.h"
#include "platform/EventMonitor.h"
#include "undo/UndoJournal.h"

#include <QHash>
#include <algorithm>
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

// Marks the QSOs of the file at the given places (in file order) as sent, in one transaction:
// "0" becomes "2" and "1" becomes "3", each only where the row still holds every value its
// record was made from. A row another program changed meanwhile keeps its value; its place is
// put in changed. What the marks change is kept for undo, on disk before the log commits. False
// with error when the log could not be written: nothing is then marked.
bool UploadRun::markRows(const std::vector<size_t>& places, QString& error, std::vector<size_t>& changed)
{
    static const std::vector<ColumnSpec> qsls = QsoTable::columns({QsoColumn::Qsls});
    static const QVariant zero = SentMark::due(false), one = SentMark::due(true);
    static const QVariant two = SentMark::marked(false), three = SentMark::marked(true);
    changed.clear();
    if (places.empty())
        return true;
    // The kept run is made first: without room for it the log is not touched.
    std::unique_ptr<UndoJournal> journal;
    if (!m_undoFolder.isEmpty()) {
        try {
            journal = UndoJournal::begin(m_undoFolder, QStringLiteral("upload"), m_options.sourceMdbPath, qsls);
        } catch (const CFileException& e) {
            error = e.description();
            return false;
        }
    }
    // Places in places (not in m_marks) of the rows not written.
    std::vector<size_t> notWritten;
    Connection* db = nullptr;
    try {
        db = &m_qsos->database();
        const WaitNoticeScope notice(*db, WaitNotice(m_monitor, true, m_options.sourceMdbPath));
        const UploadWalkColumns columns = UploadWalkColumns::of(*db);
        db->beginTransaction();
        const std::unique_ptr<ConditionalUpdate> mark = db->prepareUpdateIfUnchanged(QsoTable::name(), qsls, qsls);
        const QVariantList toTwo{two}, toThree{three}, wasZero{zero}, wasOne{one};
        // Rows known by their values may have twins (the same QSO logged twice, equal in every
        // column): both were written to the file, and the statement that marks one marks both.
        const bool byValues = db->rowsKnownByValues(QsoTable::name());
        TwinCredits twins;
        if (byValues) {
            // Rows known by their values are read again and marked all at once, each kind of
            // mark apart, so that the engine reaches the rows that share the values of an
            // index together, whatever their places in the walk.
            const auto pump = [this] { m_monitor.PumpMessages(); };
            for (const bool one : {false, true}) {
                std::vector<size_t> at;
                std::vector<const RowKey*> keys;
                std::vector<quint64> digests;
                for (size_t i = 0; i < places.size(); ++i) {
                    const UploadMark& m = m_marks[places[i]];
                    if (m.wasOne != one)
                        continue;
                    at.push_back(i);
                    keys.push_back(&m.key);
                    digests.push_back(m.digest);
                }
                std::vector<QStringList> identities;
                const std::vector<bool> unchanged = unchangedRows(*db, columns, keys, digests, identities, pump);
                std::vector<const RowKey*> toWrite;
                for (size_t i = 0; i < keys.size(); ++i) {
                    if (unchanged[i])
                        toWrite.push_back(keys[i]);
                }
                const std::vector<qint64> written =
                    mark->runEach(toWrite, one ? toThree : toTwo, one ? wasOne : wasZero, pump);
                for (size_t i = 0, w = 0; i < keys.size(); ++i) {
                    const qint64 rows = unchanged[i] ? written[w++] : 0;
                    if (rows > 0)
                        twins.written(*keys[i], rows);
                    else if (!twins.take(*keys[i])) {
                        notWritten.push_back(at[i]);
                        continue;
                    }
                    // The row written, with what it is, goes into the kept run.
                    if (journal)
                        journal->add(*keys[i], {one ? wasOne.at(0) : wasZero.at(0)}, {one ? toThree.at(0) : toTwo.at(0)},
                                     identities[i]);
                }
                m_monitor.PumpMessages();
            }
            std::sort(notWritten.begin(), notWritten.end());
        }
        // Rows that lay one after another in the walk with the same value are read again and
        // marked together, in stretches short enough for the window to hear from the run in
        // between.
        constexpr size_t kStretch = 65536;
        std::vector<const RowKey*> keys;
        std::vector<quint64> digests;
        std::vector<QStringList> identities;
        for (size_t at = 0; !byValues && at < places.size();) {
            const UploadMark& first = m_marks[places[at]];
            size_t end = at + 1;
            while (end < places.size() && end - at < kStretch
                   && m_marks[places[end]].row == m_marks[places[end - 1]].row + 1
                   && m_marks[places[end]].wasOne == first.wasOne)
                ++end;
            keys.clear();
            digests.clear();
            for (size_t i = at; i < end; ++i) {
                keys.push_back(&m_marks[places[i]].key);
                digests.push_back(m_marks[places[i]].digest);
            }
            const QVariantList& values = first.wasOne ? toThree : toTwo;
            const QVariantList& expected = first.wasOne ? wasOne : wasZero;
            const std::vector<bool> unchanged = unchangedRows(*db, columns, keys, digests, identities);
            const size_t written = notWritten.size();
            if (std::all_of(unchanged.begin(), unchanged.end(), [](bool b) { return b; })) {
                for (size_t i : mark->runAdjacent(keys, values, expected))
                    notWritten.push_back(at + i);
            } else {
                for (size_t i = 0; i < keys.size(); ++i) {
                    if (!unchanged[i] || !mark->run(*keys[i], values, expected))
                        notWritten.push_back(at + i);
                }
            }
            // The rows written, with what they are, go into the kept run.
            if (journal) {
                size_t next = written;
                for (size_t i = 0; i < keys.size(); ++i) {
                    if (next < notWritten.size() && notWritten[next] == at + i) {
                        ++next;
                        continue;
                    }
                    journal->add(*keys[i], {expected.at(0)}, {values.at(0)}, identities[i]);
                }
            }
            at = end;
            m_monitor.PumpMessages();
        }
        if (journal)
            journal->seal();
        db->commit();
        m_twinsMarked += twins.together();
    } catch (const std::exception& e) {
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
            m_qsos->close();
        } catch (const CDbException&) {
        }
        return false;
    }
    if (journal)
        journal->finish();
    for (size_t i : notWritten)
        changed.push_back(places[i]);
    if (m_twinsMarked > 0) {
        uploadProblem(QStringLiteral("Warning: %1 QSOs of the file are logged more than once (rows equal in every column, "
                                     "which the log cannot tell apart); each was marked as sent together with its twin.")
                          .arg(m_twinsMarked));
        m_twinsMarked = 0;
    }
    m_marked += long(places.size() - notWritten.size());
    try {
        m_qsos->close();
    } catch (const CDbException&) {
        // The marks are committed; closing is all that failed.
    }
    return true;
}

// Writes the marks an earlier upload kept because the log could not take them after LoTW took
// its QSOs. False (reported) when they can't be written now: the run then selects nothing.
bool UploadRun::writeKeptMarks()
{
    if (m_undoFolder.isEmpty())
        return true;
    const KeptMarks kept(m_undoFolder);
    if (!kept.exist())
        return true;
    QDateTime made;
    QString problem;
    if (!kept.load(m_options.sourceMdbPath, m_marks, made, problem)) {
        finishFailed(QStringLiteral("The marks that an earlier upload could not write are kept in %1, but %2. No QSO "
                                    "was selected, so that none goes to LoTW twice. Move that file away once the "
                                    "QSOs it names are marked as sent in the log.")
                         .arg(kept.path(), problem));
        m_marks.clear();
        return false;
    }
    m_monitor.AddUploadEvent(QStringLiteral("Writing the marks of the upload of %1 that LoTW took: %2 QSOs")
                                 .arg(made.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                                 .arg(m_marks.size()));
    std::vector<size_t> all(m_marks.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    QString error;
    std::vector<size_t> changed;
    if (!markRows(all, error, changed)) {
        finishFailed(QStringLiteral("The marks of an earlier upload that LoTW took could not be written yet: %1. No "
                                    "QSO was selected, so that none goes to LoTW twice; run the upload again when "
                                    "the log is free.")
                         .arg(WithoutFinalStop(error)));
        m_marks.clear();
        return false;
    }
    for (size_t place : changed) {
        QString named;
        try {
            if (m_qsos->moveToKey(m_marks[place].key))
                named = m_qsos->qsoCall + QLatin1Char(' ') + m_qsos->qsoDate + QLatin1Char(' ') + m_qsos->qsoTime;
            m_qsos->close();
        } catch (const CDbException&) {
        }
        uploadProblem(QStringLiteral("Warning: not marked as sent, changed by another program since LoTW took it: %1")
                          .arg(named.isEmpty() ? QStringLiteral("(the row is gone)") : named));
    }
    m_monitor.AddUploadEvent(QStringLiteral("Marked %1 QSOs as sent to LoTW (kept from the earlier upload)")
                                 .arg(long(all.size() - changed.size())));
    if (!kept.remove())
        uploadProblem(QStringLiteral("Warning: %1 could not be removed; its marks are written.").arg(kept.path()));
    m_marks.clear();
    m_marked = 0;
    return true;
}
