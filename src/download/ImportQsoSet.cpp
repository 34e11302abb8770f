#include "ImportQsoSet.h"

#include "LotwFieldRules.h"
#include "logdb/QsoTable.h"
#include "logdb/Connection.h"
#include "platform/Errors.h"
#include "undo/UndoJournal.h"

#include <QByteArray>
#include <cstring>
#include <string>

namespace {
// The columns the import reads besides the six of the index, in the order of LoggedQso; the
// first nine are texts, the last the award mask.
const std::vector<ColumnSpec>& ValueColumns()
{
    using C = QsoColumn;
    static const std::vector<ColumnSpec> specs = QsoTable::columns(
        {C::OprCall, C::Confirm, C::LotwRec, C::CqZone, C::ItuZone, C::State, C::County, C::Iota, C::Grid, C::Award});
    return specs;
}
QString* TextOf(LoggedQso& q, int i)
{
    QString* texts[9] = {&q.oprCall, &q.confirm, &q.lotwRec, &q.cqZone, &q.ituZone,
                              &q.state,   &q.county,  &q.iota,    &q.grid};
    return texts[i];
}

const QString& TextOf(const LoggedQso& q, int i)
{
    return *TextOf(const_cast<LoggedQso&>(q), i);
}

bool IsAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}
} // namespace

ImportQsoSet::ImportQsoSet() = default;
ImportQsoSet::~ImportQsoSet() = default;

void ImportQsoSet::clear()
{
    m_index.clear();
    m_changed.clear();
    m_nulls.clear();
    m_originalAt.clear();
    m_originals.clear();
    m_originals.shrink_to_fit();
    m_touched = 0;
    m_changedRows = 0;
    m_twins = 0;
    m_updates.clear();
    m_updatesFor = nullptr;
}

void ImportQsoSet::load(Connection& log, const std::function<void(qint64)>& pump)
{
    clear();
    // Rows known by their values are known by all of them, as the full record reads them.
    const bool byValues = log.rowsKnownByValues(QsoTable::name());
    std::vector<ColumnSpec> columns;
    if (byValues) {
        columns = QsoTable::columns();
    } else {
        columns = QsoIndex::columns();
        columns.insert(columns.end(), ValueColumns().begin(), ValueColumns().end());
    }
    auto position = [&](const ColumnSpec& spec) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].name == spec.name)
                return int(i);
        }
        throw CDbException(QStringLiteral("The log has no column %1.").arg(spec.name));
    };
    int searchAt[6];
    for (int i = 0; i < 6; ++i)
        searchAt[i] = position(QsoIndex::columns()[std::size_t(i)]);
    int valueAt[kTexts + 1];
    for (int i = 0; i <= kTexts; ++i)
        valueAt[i] = position(ValueColumns()[std::size_t(i)]);

    std::unique_ptr<Cursor> cursor = log.select(QsoTable::name(), columns, QString(), QString());
    QString search[6];
    QByteArray latin[6];
    std::string_view bytes[6];
    std::string_view values[kTexts];
    QByteArray other[kTexts];
    qint64 rows = 0;
    while (cursor->next()) {
        if (pump && (++rows & 0x3fff) == 0)
            pump(rows);
        // Most texts are ASCII: they are taken as the engine holds them, without a copy.
        bool ascii = true;
        for (int i = 0; i < 6 && ascii; ++i)
            ascii = cursor->asciiText(searchAt[i], bytes[i]);
        qint64 entry;
        if (ascii) {
            bool searchable = true;
            // A null column matches no "=" condition; an empty text matches ''.
            for (int i = 0; i < 5 && searchable; ++i)
                searchable = !bytes[i].empty() || !cursor->value(searchAt[i]).isNull();
            if (!searchable)
                continue;
        } else {
            if (!QsoIndex::readTexts(*cursor, searchAt, search))
                continue;
            // Searched as texts: a row beyond Latin-1 is none the index keeps.
            bool latin1 = true;
            for (int i = 0; i < 5 && latin1; ++i) {
                for (QChar c : search[i])
                    latin1 = latin1 && c.unicode() <= 0xff;
            }
            if (!latin1)
                continue;
            for (int i = 0; i < 6; ++i) {
                // The submode is kept as it stands when it is Latin-1 and named nothing else.
                bool ok = true;
                for (QChar c : search[i])
                    ok = ok && c.unicode() <= 0xff;
                latin[i] = ok ? search[i].toLatin1() : QByteArray();
                bytes[i] = std::string_view(latin[i].constData(), std::size_t(latin[i].size()));
            }
        }
        for (int i = 0; i < kTexts; ++i) {
            if (!cursor->asciiText(valueAt[i], values[i])) {
                other[i] = cursor->text(valueAt[i]).toUtf8();
                values[i] = std::string_view(other[i].constData(), std::size_t(other[i].size()));
            }
        }
        entry = m_index.addLatin1(bytes, cursor->key(), encode(values, qint32(cursor->integer(valueAt[kTexts]))));
        if (entry < 0)
            continue;
        m_changed.push_back(0);
        // Which written columns are null, so that a run taken back gives them back as null.
        std::uint16_t nulls = 0;
        for (int i = 1; i < kTexts; ++i) {
            if (values[i].empty() && cursor->isNull(valueAt[i]))
                nulls = std::uint16_t(nulls | (1u << (i - 1)));
        }
        if (cursor->isNull(valueAt[kTexts]))
            nulls = std::uint16_t(nulls | (1u << (kTexts - 1)));
        m_nulls.push_back(nulls);
    }
    m_index.finish();
    m_changed.shrink_to_fit();
    m_nulls.shrink_to_fit();
    m_originalAt.assign(m_changed.size(), kNoOriginal);
}

// A row's values as the index keeps them beside its texts: the award mask, then the texts as
// UTF-8.
std::string_view ImportQsoSet::encode(const std::string_view (&texts)[kTexts], qint32 award)
{
    m_scratch.clear();
    m_scratch.append(reinterpret_cast<const char*>(&award), sizeof award);
    for (const std::string_view& text : texts) {
        const std::size_t at = m_scratch.size();
        m_scratch.resize(at + TextPool::recordSize(text.size()));
        TextPool::put(m_scratch.data() + at, text);
    }
    return m_scratch;
}

void ImportQsoSet::keep(qint64 entry, const LoggedQso& qso)
{
    // Texts of the log are kept as UTF-8 (most are ASCII, one byte a character).
    std::string bytes[kTexts];
    std::string_view texts[kTexts];
    for (int i = 0; i < kTexts; ++i) {
        const QString& text = TextOf(qso, i);
        if (IsAscii(text)) {
            bytes[i].resize(std::size_t(text.size()));
            for (qsizetype c = 0; c < text.size(); ++c)
                bytes[i][std::size_t(c)] = static_cast<char>(text.at(c).unicode());
        } else {
            bytes[i] = text.toStdString();
        }
        texts[i] = bytes[i];
    }
    // The first change of a row keeps what the log held, for the undo journal.
    std::uint64_t& original = m_originalAt[std::size_t(entry)];
    if (original == kNoOriginal) {
        const char* start = m_index.payload(entry);
        const char* in = start + sizeof(qint32);
        for (int i = 0; i < kTexts; ++i)
            TextPool::get(in);
        original = m_originals.size();
        m_originals.append(start, std::size_t(in - start));
        ++m_touched;
    }
    const std::string_view record = encode(texts, qso.award);
    std::memcpy(m_index.replacePayload(entry, record.size()), record.data(), record.size());
}

void ImportQsoSet::read(qint64 entry, LoggedQso& qso) const
{
    const char* in = m_index.payload(entry);
    std::memcpy(&qso.award, in, sizeof qso.award);
    in += sizeof qso.award;
    for (int i = 0; i < kTexts; ++i) {
        const std::string_view text = TextPool::get(in);
        QString& target = *TextOf(qso, i);
        // ASCII into the text's own buffer; other texts decoded.
        bool ascii = true;
        for (char c : text)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii)
            ReportBytes::SetLatin1(target, QByteArrayView(text.data(), qsizetype(text.size())));
        else
            target = QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
}

void ImportQsoSet::change(qint64 entry, const LoggedQso& qso, unsigned changed)
{
    if (changed == 0)
        return;
    keep(entry, qso);
    std::uint16_t& mask = m_changed[std::size_t(entry)];
    if (mask == 0)
        ++m_changedRows;
    mask = std::uint16_t(mask | changed);
}

RowUpdate& ImportQsoSet::update(Connection& log, unsigned mask)
{
    if (m_updatesFor != &log) {
        m_updates.clear();
        m_updatesFor = &log;
    }
    if (m_updates.empty())
        m_updates.resize(std::size_t(1) << kColumns);
    std::unique_ptr<RowUpdate>& update = m_updates[mask];
    if (!update) {
        std::vector<ColumnSpec> columns;
        for (int i = 0; i < kColumns; ++i) {
            if (mask & (1u << i))
                columns.push_back(ValueColumns()[std::size_t(i + 1)]); // the operator call is never written
        }
        update = log.prepareUpdate(QsoTable::name(), columns);
    }
    return *update;
}

void ImportQsoSet::run(Connection& log, qint64 entry, unsigned mask)
{
    const char* in = m_index.payload(entry);
    qint32 award;
    std::memcpy(&award, in, sizeof award);
    in += sizeof award;
    std::string_view texts[kTexts];
    for (std::string_view& text : texts)
        text = TextPool::get(in);
    UpdateValue values[kColumns];
    int count = 0;
    for (int i = 0; i < kColumns; ++i) {
        if (!(mask & (1u << i)))
            continue;
        if (i + 1 == kTexts)
            values[count++] = UpdateValue{false, {}, award};
        else
            values[count++] = UpdateValue{true, texts[i + 1], 0};
    }
    RowKey key = m_index.key(entry);
    // Rows known by their values may have twins (the same QSO logged twice, equal in every
    // column): the one confirmation is written to both.
    const qint64 rows = update(log, mask).run(key, values, count);
    if (rows > 1)
        m_twins += rows - 1;
    // A row known by its values is known by the new ones once written.
    if (key.rowid < 0)
        m_index.setKey(entry, key);
}

void ImportQsoSet::write(Connection& log, qint64 entry, const LoggedQso& qso, unsigned changed)
{
    if (changed == 0)
        return;
    LoggedQso before;
    read(entry, before);
    keep(entry, qso);
    try {
        run(log, entry, changed);
    } catch (...) {
        keep(entry, before);
        throw;
    }
}

std::vector<ColumnSpec> ImportQsoSet::writtenColumns()
{
    return {ValueColumns().begin() + 1, ValueColumns().end()};
}

namespace {
// The written columns' values of a row before and after the run (payloads: the award first,
// then the texts, the operator call not written), as the undo journal encodes them: the
// texts, then the award. A column that was null, and that the run left empty, is null.
void encodeForJournal(const char* before, const char* after, std::uint16_t nulls, UndoValues& outBefore,
                      UndoValues& outAfter)
{
    qint32 awards[2];
    std::memcpy(&awards[0], before, sizeof(qint32));
    std::memcpy(&awards[1], after, sizeof(qint32));
    const char* in[2] = {before + sizeof(qint32), after + sizeof(qint32)};
    outBefore.clear();
    outAfter.clear();
    TextPool::get(in[0]); // the operator call
    TextPool::get(in[1]);
    for (int i = 1; i < 9; ++i) {
        const std::string_view was = TextPool::get(in[0]);
        const std::string_view is = TextPool::get(in[1]);
        const bool wasNull = (nulls & (1u << (i - 1))) && was.empty();
        if (was == is) {
            // Not changed by the run: nothing to keep.
            outBefore.absent();
            outAfter.absent();
            continue;
        }
        if (wasNull)
            outBefore.null();
        else
            outBefore.text(QByteArrayView(was.data(), qsizetype(was.size())));
        if (wasNull && is.empty())
            outAfter.null();
        else
            outAfter.text(QByteArrayView(is.data(), qsizetype(is.size())));
    }
    const bool awardNull = (nulls & (1u << 8)) && awards[0] == 0;
    if (awards[0] == awards[1]) {
        outBefore.absent();
        outAfter.absent();
        return;
    }
    if (awardNull)
        outBefore.null();
    else
        outBefore.integer(awards[0]);
    if (awardNull && awards[1] == 0)
        outAfter.null();
    else
        outAfter.integer(awards[1]);
}
}

void ImportQsoSet::journal(const std::function<void(const RowKey&, QByteArrayView, QByteArrayView, QByteArrayView)>& add,
                           const std::function<void()>& pump) const
{
    UndoValues before;
    UndoValues after;
    UndoValues identity;
    std::string_view texts[5];
    qint64 done = 0;
    for (qint64 entry = 0; entry < size(); ++entry) {
        const std::uint64_t original = m_originalAt[std::size_t(entry)];
        if (original == kNoOriginal)
            continue;
        encodeForJournal(m_originals.data() + original, m_index.payload(entry), m_nulls[std::size_t(entry)], before,
                         after);
        // What the row is, as the undo journal keeps it (UTF-8; the index keeps Latin-1).
        m_index.identity(entry, texts);
        identity.clear();
        for (const std::string_view& text : texts) {
            bool ascii = true;
            for (char c : text)
                ascii = ascii && static_cast<unsigned char>(c) < 0x80;
            if (ascii)
                identity.text(QByteArrayView(text.data(), qsizetype(text.size())));
            else
                identity.text(QString::fromLatin1(text.data(), qsizetype(text.size())));
        }
        add(m_index.key(entry), before.bytes(), after.bytes(), identity.bytes());
        if (pump && (++done & 0x3ff) == 0)
            pump();
    }
}

bool ImportQsoSet::writeChanges(Connection& log, const std::function<void(qint64)>& pump, qint64& refused, QString& reason)
{
    qint64 written = 0;
    for (qint64 entry = 0; entry < size(); ++entry) {
        const unsigned mask = m_changed[std::size_t(entry)];
        if (mask == 0)
            continue;
        try {
            run(log, entry, mask);
        } catch (const CDbException& e) {
            // A log another program holds refuses every row alike: that ends the run.
            if (!log.inTransaction() || e.busy())
                throw;
            refused = entry;
            reason = e.description();
            return false;
        }
        m_changed[std::size_t(entry)] = 0;
        --m_changedRows;
        if (pump && (++written & 0x3ff) == 0)
            pump(written);
    }
    return true;
}
