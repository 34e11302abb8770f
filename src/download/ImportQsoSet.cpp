#include "ImportQsoSet.h"

#include "logdb/CQSO2006SRC.h"
#include "logdb/Connection.h"
#include "platform/Errors.h"

#include <QByteArray>

namespace {
const QString kTable = QStringLiteral("[QSO-TAB]");

// The columns the import reads besides the six of the index, in the order of LoggedQso; the
// first nine are texts, the last the award mask.
const std::vector<ColumnSpec>& ValueColumns()
{
    static const std::vector<ColumnSpec> specs = {
        {QStringLiteral("[QSO-OPRCALL]"), ColumnType::Text},  {QStringLiteral("[QSO-CONFIRM]"), ColumnType::Text},
        {QStringLiteral("[QSO-LOTWREC]"), ColumnType::Text},  {QStringLiteral("[QSO-CQ-ZONE]"), ColumnType::Text},
        {QStringLiteral("[QSO-ITU-ZONE]"), ColumnType::Text}, {QStringLiteral("[QSO-STATE]"), ColumnType::Text},
        {QStringLiteral("[QSO-COUNTY]"), ColumnType::Text},   {QStringLiteral("[QSO-IOTA]"), ColumnType::Text},
        {QStringLiteral("[QSO-GRID]"), ColumnType::Text},     {QStringLiteral("[QSO-AWARD]"), ColumnType::Long},
    };
    return specs;
}
constexpr int kTexts = 9;

QString* TextOf(LoggedQso& q, int i)
{
    QString* texts[kTexts] = {&q.oprCall, &q.confirm, &q.lotwRec, &q.cqZone, &q.ituZone,
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
    m_pool.clear();
    m_values.clear();
    m_awards.clear();
    m_changed.clear();
    m_changedRows = 0;
    m_updates.clear();
    m_updatesFor = nullptr;
}

void ImportQsoSet::load(Connection& log, const std::function<void()>& pump)
{
    clear();
    // Rows known by their values are known by all of them, as the full record reads them.
    const bool byValues = log.rowsKnownByValues(kTable);
    std::vector<ColumnSpec> columns;
    if (byValues) {
        columns = CQSO2006SRC::columnSpecs();
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

    std::unique_ptr<Cursor> cursor = log.select(kTable, columns, QString(), QString());
    QString search[6];
    LoggedQso qso;
    qint64 rows = 0;
    while (cursor->next()) {
        if (pump && (++rows & 0x3fff) == 0)
            pump();
        if (!QsoIndex::readTexts(*cursor, searchAt, search))
            continue;
        const qint64 entry = m_index.add(search, cursor->key());
        if (entry < 0)
            continue;
        for (int i = 0; i < kTexts; ++i)
            *TextOf(qso, i) = cursor->text(valueAt[i]);
        qso.award = qint32(cursor->integer(valueAt[kTexts]));
        m_values.emplace_back();
        m_awards.push_back(0);
        m_changed.push_back(0);
        keep(entry, qso);
    }
    m_index.finish();
    m_values.shrink_to_fit();
    m_awards.shrink_to_fit();
    m_changed.shrink_to_fit();
}

void ImportQsoSet::keep(qint64 entry, const LoggedQso& qso)
{
    // Texts of the log are kept as UTF-8 (most are ASCII, one byte a character).
    QByteArray other[kTexts];
    std::size_t size = 0;
    for (int i = 0; i < kTexts; ++i) {
        const QString& text = TextOf(qso, i);
        if (!IsAscii(text))
            other[i] = text.toUtf8();
        size += TextPool::recordSize(std::size_t(other[i].isNull() ? text.size() : other[i].size()));
    }
    TextPool::Ref ref;
    char* out = m_pool.reserve(size, ref);
    for (int i = 0; i < kTexts; ++i) {
        if (!other[i].isNull()) {
            out = TextPool::put(out, std::string_view(other[i].constData(), std::size_t(other[i].size())));
            continue;
        }
        const QString& text = TextOf(qso, i);
        std::size_t n = std::size_t(text.size());
        while (n >= 0x80) {
            *out++ = char(0x80 | (n & 0x7f));
            n >>= 7;
        }
        *out++ = char(n);
        for (QChar c : text)
            *out++ = static_cast<char>(c.unicode());
    }
    m_values[std::size_t(entry)] = ref;
    m_awards[std::size_t(entry)] = qso.award;
}

void ImportQsoSet::read(qint64 entry, LoggedQso& qso) const
{
    const char* in = m_pool.at(m_values[std::size_t(entry)]);
    for (int i = 0; i < kTexts; ++i) {
        const std::string_view text = TextPool::get(in);
        *TextOf(qso, i) = text.empty() ? QString() : QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    qso.award = m_awards[std::size_t(entry)];
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
        update = log.prepareUpdate(kTable, columns);
    }
    return *update;
}

void ImportQsoSet::run(Connection& log, qint64 entry, const LoggedQso& qso, unsigned mask)
{
    QVariantList values;
    for (int i = 0; i < kColumns; ++i) {
        if (!(mask & (1u << i)))
            continue;
        if (i + 1 == kTexts)
            values.append(QVariant(qso.award));
        else
            values.append(TextOf(qso, i + 1));
    }
    RowKey key = m_index.key(entry);
    update(log, mask).run(key, values);
    // A row known by its values is known by the new ones once written.
    if (key.rowid < 0)
        m_index.setKey(entry, key);
}

void ImportQsoSet::write(Connection& log, qint64 entry, const LoggedQso& qso, unsigned changed)
{
    if (changed == 0)
        return;
    run(log, entry, qso, changed);
    keep(entry, qso);
}

bool ImportQsoSet::writeChanges(Connection& log, const std::function<void()>& pump, qint64& refused, QString& reason)
{
    LoggedQso qso;
    qint64 written = 0;
    for (qint64 entry = 0; entry < size(); ++entry) {
        const unsigned mask = m_changed[std::size_t(entry)];
        if (mask == 0)
            continue;
        read(entry, qso);
        try {
            run(log, entry, qso, mask);
        } catch (const CDbException& e) {
            if (!log.inTransaction())
                throw;
            refused = entry;
            reason = e.description();
            return false;
        }
        m_changed[std::size_t(entry)] = 0;
        --m_changedRows;
        if (pump && (++written & 0x3ff) == 0)
            pump();
    }
    return true;
}
