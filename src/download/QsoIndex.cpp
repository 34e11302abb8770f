#include "QsoIndex.h"

#include <cstring>
#include <string_view>

namespace {
enum Column { Call, Date, Time, Mode, Band, Submode };

// The submode as the index keeps it: without surrounding blanks, a-z upper-cased; empty when
// it holds a character beyond Latin-1 (which no report name can equal). A submode that is
// already so is shared, not copied.
QString SubmodeKey(const QString& text)
{
    bool clean = text.isEmpty() || (!text.front().isSpace() && !text.back().isSpace());
    for (QChar c : text) {
        if (c.unicode() > 0xff)
            return QString();
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            clean = false;
    }
    if (clean)
        return text;
    QString key = text.trimmed();
    for (QChar& c : key) {
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(char16_t(c.unicode() - 'a' + 'A'));
    }
    return key;
}

// FNV-1a over the call, date, mode and band (Latin-1 texts, every character below 256)
// with their lengths, so no text can stand in for another.
std::uint64_t HashKey(const QString* parts[4])
{
    std::uint64_t h = 1469598103934665603ull;
    auto mixByte = [&h](unsigned char byte) {
        h ^= byte;
        h *= 1099511628211ull;
    };
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t size = std::uint32_t(parts[i]->size());
        const auto* sizeBytes = reinterpret_cast<const unsigned char*>(&size);
        for (std::size_t b = 0; b < sizeof size; ++b)
            mixByte(sizeBytes[b]);
        for (QChar c : *parts[i])
            mixByte(static_cast<unsigned char>(c.unicode()));
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

std::string_view ReadText(const std::string& pool, std::uint64_t& offset)
{
    std::uint32_t size;
    std::memcpy(&size, pool.data() + offset, sizeof size);
    const std::string_view text(pool.data() + offset + sizeof size, size);
    offset += sizeof size + size;
    return text;
}

bool Equals(std::string_view text, QStringView value)
{
    if (text.size() != std::size_t(value.size()))
        return false;
    const QChar* chars = value.constData();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) != chars[i].unicode())
            return false;
    }
    return true;
}
} // namespace

const std::vector<ColumnSpec>& QsoIndex::columns()
{
    static const std::vector<ColumnSpec> specs = {
        {QStringLiteral("[QSO-CALL]"), ColumnType::Text}, {QStringLiteral("[QSO-DATE]"), ColumnType::Text},
        {QStringLiteral("[QSO-TIME]"), ColumnType::Text}, {QStringLiteral("[QSO-MODE]"), ColumnType::Text},
        {QStringLiteral("[QSO-BAND]"), ColumnType::Text}, {QStringLiteral("[QSO-SUBMODE]"), ColumnType::Text},
    };
    return specs;
}

void QsoIndex::build(Connection& log)
{
    std::unique_ptr<Cursor> cursor = log.select(QStringLiteral("[QSO-TAB]"), columns(), QString(), QString());
    build(*cursor);
}

void QsoIndex::build(Cursor& cursor)
{
    m_entries.clear();
    m_pool.clear();
    m_keys.clear();
    m_keyNames.clear();
    rehash(1024);
    QString texts[6];
    while (cursor.next()) {
        bool usable = true;
        // The five search columns; the submode only steers the choice among equal rows.
        for (int i = 0; i < 5 && usable; ++i) {
            texts[i] = cursor.text(i);
            // A null column matches no "=" condition; an empty text matches ''.
            if (texts[i].isEmpty() && cursor.value(i).isNull())
                usable = false;
            // A report text is Latin-1: it never equals a text with a character beyond it.
            for (QChar c : std::as_const(texts[i])) {
                if (c.unicode() > 0xff) {
                    usable = false;
                    break;
                }
            }
        }
        if (!usable)
            continue;
        texts[Submode] = SubmodeKey(cursor.text(Submode));
        add(texts, cursor.key());
    }
    m_pool.shrink_to_fit();
    m_entries.shrink_to_fit();
}

void QsoIndex::add(const QString (&texts)[6], const RowKey& key)
{
    const QString* parts[4] = {&texts[Call], &texts[Date], &texts[Mode], &texts[Band]};
    Entry entry;
    entry.hash = HashKey(parts);
    entry.offset = m_pool.size();
    for (const QString* text :
         {&texts[Call], &texts[Date], &texts[Mode], &texts[Band], &texts[Time], &texts[Submode]}) {
        const std::uint32_t size = std::uint32_t(text->size());
        m_pool.append(reinterpret_cast<const char*>(&size), sizeof size);
        // The texts come from Latin-1 bytes: each character is one byte.
        for (QChar c : *text)
            m_pool.push_back(static_cast<char>(c.unicode()));
    }
    if (key.rowid >= 0) {
        entry.rowid = key.rowid;
    } else {
        entry.rowid = -std::int64_t(m_keys.size()) - 2;
        m_keys.push_back(key.values);
        if (m_keyNames.isEmpty())
            m_keyNames = key.names;
    }
    if (m_entries.size() + 1 > m_buckets.size() / 2)
        rehash(m_buckets.size() * 2);
    const std::size_t bucket = entry.hash & (m_buckets.size() - 1);
    entry.next = m_buckets[bucket];
    m_buckets[bucket] = std::uint32_t(m_entries.size());
    m_entries.push_back(entry);
}

void QsoIndex::rehash(std::size_t bucketCount)
{
    m_buckets.assign(bucketCount, kNone);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::size_t bucket = m_entries[i].hash & (bucketCount - 1);
        m_entries[i].next = m_buckets[bucket];
        m_buckets[bucket] = std::uint32_t(i);
    }
}

RowKey QsoIndex::keyOf(const Entry& entry) const
{
    RowKey key;
    if (entry.rowid >= 0)
        key.rowid = entry.rowid;
    else {
        key.names = m_keyNames;
        key.values = m_keys[std::size_t(-(entry.rowid + 2))];
    }
    return key;
}

QsoIndex::Match QsoIndex::find(const QString& call, const QString& date, const QString& time,
                               const QString& mode, const QString& band, const QString& modeName,
                               const QString& submodeName) const
{
    Match match;
    if (m_entries.empty())
        return match;
    const QString* parts[4] = {&call, &date, &mode, &band};
    const std::uint64_t hash = HashKey(parts);
    const bool trySeconds = time.size() == 6;

    // The best row by time, among all rows and among those whose submode names the report's
    // mode: the exact time first (the lowest index), then the lowest seconds of the minute.
    struct Best
    {
        std::uint32_t exact = kNone;
        std::uint32_t bySeconds = kNone;
        int seconds = 60;
        std::string_view time;
    } any, named;
    auto names = [&](std::string_view submode) {
        return !submode.empty()
               && ((!modeName.isEmpty() && Equals(submode, modeName))
                   || (!submodeName.isEmpty() && Equals(submode, submodeName)));
    };
    // Entries of a bucket run from the newest row to the oldest; keep the lowest index.
    for (std::uint32_t i = m_buckets[hash & (m_buckets.size() - 1)]; i != kNone; i = m_entries[i].next) {
        const Entry& entry = m_entries[i];
        if (entry.hash != hash)
            continue;
        std::uint64_t offset = entry.offset;
        if (!Equals(ReadText(m_pool, offset), call) || !Equals(ReadText(m_pool, offset), date)
            || !Equals(ReadText(m_pool, offset), mode) || !Equals(ReadText(m_pool, offset), band))
            continue;
        const std::string_view logged = ReadText(m_pool, offset);
        const std::string_view submode = ReadText(m_pool, offset);
        if (Equals(logged, time)) {
            any.exact = i; // lower indexes come later in the chain
            if (names(submode))
                named.exact = i;
            continue;
        }
        if (!trySeconds || logged.size() != 6 || !Equals(logged.substr(0, 4), QStringView(time).left(4)))
            continue;
        const char tens = logged[4];
        const char units = logged[5];
        if (tens < '0' || tens > '5' || units < '0' || units > '9')
            continue;
        const int seconds = (tens - '0') * 10 + (units - '0');
        for (Best* best : {&any, &named}) {
            if (best == &named && !names(submode))
                continue;
            if (seconds <= best->seconds) {
                best->seconds = seconds;
                best->bySeconds = i;
                best->time = logged;
            }
        }
    }
    const Best& best = named.exact != kNone || named.bySeconds != kNone ? named : any;
    const std::uint32_t chosen = best.exact != kNone ? best.exact : best.bySeconds;
    if (chosen == kNone)
        return match;
    match.found = true;
    match.key = keyOf(m_entries[chosen]);
    match.time = best.exact != kNone ? time : QString::fromLatin1(best.time.data(), qsizetype(best.time.size()));
    return match;
}
