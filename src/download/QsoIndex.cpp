#include "QsoIndex.h"

#include "logdb/PackedRowKey.h"
#include "logdb/QsoTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <string>
#include <string_view>

namespace {
enum Column { Call, Date, Time, Mode, Band, Submode };

// FNV-1a over the call, date, mode and band (Latin-1 texts, every character below 256)
// with their lengths, so no text can stand in for another. The same hash from the texts and
// from their Latin-1 bytes.
template <typename Text>
std::uint64_t HashKey(const Text* parts[4])
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
        if constexpr (std::is_same_v<Text, QString>) {
            for (QChar c : *parts[i])
                mixByte(static_cast<unsigned char>(c.unicode()));
        } else {
            for (char c : *parts[i])
                mixByte(static_cast<unsigned char>(c));
        }
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
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

// A text whose characters are all Latin-1, as its bytes.
std::string Latin1(const QString& text)
{
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    for (QChar c : text)
        bytes.push_back(static_cast<char>(c.unicode()));
    return bytes;
}

} // namespace

struct QsoIndex::Best
{
    std::uint32_t exact = kNone;
    std::uint32_t bySeconds = kNone;
    int seconds = 60;
    std::string_view time;
};

const std::vector<ColumnSpec>& QsoIndex::columns()
{
    static const std::vector<ColumnSpec> specs = QsoTable::columns(
        {QsoColumn::Call, QsoColumn::Date, QsoColumn::Time, QsoColumn::Mode, QsoColumn::Band, QsoColumn::Submode});
    return specs;
}

bool QsoIndex::readTexts(const Cursor& cursor, const int (&at)[6], QString (&texts)[6])
{
    bool usable = true;
    for (int i = 0; i < 6; ++i) {
        texts[i] = cursor.text(at[i]);
        // A null column matches no "=" condition; an empty text matches ''.
        if (i != Submode && usable && texts[i].isEmpty() && cursor.value(at[i]).isNull())
            usable = false;
    }
    return usable;
}

const char* QsoIndex::entryTexts(const Entry& entry) const
{
    const char* in = m_pool.at(entry.texts);
    for (int i = 0; i < 4; ++i)
        TextPool::get(in);
    return in;
}

void QsoIndex::identity(qint64 entry, std::string_view (&texts)[5]) const
{
    // The record holds call, date, mode, band, time.
    const char* in = m_pool.at(m_entries[std::size_t(entry)].texts);
    texts[0] = TextPool::get(in);
    texts[1] = TextPool::get(in);
    texts[4] = TextPool::get(in);
    texts[3] = TextPool::get(in);
    texts[2] = TextPool::get(in);
}

char* QsoIndex::replacePayload(qint64 entry, std::size_t size)
{
    TextPool::Ref ref;
    char* out = m_pool.reserve(size, ref);
    m_entries[std::size_t(entry)].payload = ref;
    return out;
}

void QsoIndex::setKey(qint64 entry, const RowKey& key)
{
    const Entry& e = m_entries[std::size_t(entry)];
    if (e.rowid < -1)
        storeKey(std::size_t(-(e.rowid + 2)), key.values);
}

namespace {
bool isOneInteger(const QVariantList& values)
{
    return values.size() == 1 && values.front().typeId() == QMetaType::LongLong;
}
} // namespace

// Keeps values as the key at (at == keyCount(): a new one at the end).
void QsoIndex::storeKey(std::size_t at, const QVariantList& values)
{
    if (m_keys.empty() && isOneInteger(values)) {
        if (at == m_integerKeys.size())
            m_integerKeys.push_back(values.front().toLongLong());
        else
            m_integerKeys[at] = values.front().toLongLong();
        return;
    }
    if (m_keys.empty() && !m_integerKeys.empty()) {
        m_keys.reserve(m_integerKeys.size() + 1);
        for (qint64 v : m_integerKeys)
            m_keys.push_back(PackRowValues(QVariantList{QVariant(v)}));
        m_integerKeys.clear();
        m_integerKeys.shrink_to_fit();
    }
    if (at == m_keys.size())
        m_keys.push_back(PackRowValues(values));
    else
        m_keys[at] = PackRowValues(values);
}

void QsoIndex::clear()
{
    m_entries.clear();
    m_groups.clear();
    m_large.clear();
    m_pool.clear();
    m_keys.clear();
    m_integerKeys.clear();
    m_keyNames.clear();
    rehash(1024);
}

qint64 QsoIndex::addLatin1(const std::string_view (&texts)[6], const RowKey& key, std::string_view payload)
{
    if (m_entries.size() >= kNone - 1)
        throw std::length_error("the log has too many rows for the import's index");
    // The submode without the blanks around it, a-z upper-cased.
    std::string_view submode = texts[Submode];
    auto blank = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u == ' ' || (u >= '\t' && u <= '\r') || u == 0x85 || u == 0xa0;
    };
    bool clean = submode.empty() || (!blank(submode.front()) && !blank(submode.back()));
    for (char c : submode)
        clean = clean && !(c >= 'a' && c <= 'z');
    if (!clean) {
        while (!submode.empty() && blank(submode.front()))
            submode.remove_prefix(1);
        while (!submode.empty() && blank(submode.back()))
            submode.remove_suffix(1);
        m_submode.assign(submode);
        for (char& c : m_submode)
            c = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        submode = m_submode;
    }
    const std::string_view* parts[4] = {&texts[Call], &texts[Date], &texts[Mode], &texts[Band]};
    const std::uint64_t hash = HashKey(parts);

    // The row's record: its search texts, then the payload.
    Entry entry;
    std::size_t size = TextPool::recordSize(texts[Time].size()) + TextPool::recordSize(submode.size()) + payload.size();
    for (const std::string_view* part : parts)
        size += TextPool::recordSize(part->size());
    char* out = m_pool.reserve(size, entry.texts);
    char* const start = out;
    for (const std::string_view* part : parts)
        out = TextPool::put(out, *part);
    out = TextPool::put(out, texts[Time]);
    out = TextPool::put(out, submode);
    entry.payload = entry.texts + TextPool::Ref(out - start);
    if (!payload.empty())
        std::memcpy(out, payload.data(), payload.size());

    std::uint32_t g = findGroup(hash, parts);
    if (g == kNone) {
        Group group{hash, entry.texts, kNone, kNone, 0, kNone};
        if (m_groups.size() + 1 > m_buckets.size() / 2)
            rehash(m_buckets.size() * 2);
        g = std::uint32_t(m_groups.size());
        const std::size_t bucket = hash & (m_buckets.size() - 1);
        group.next = m_buckets[bucket];
        m_buckets[bucket] = g;
        m_groups.push_back(group);
    }
    Group& group = m_groups[g];

    if (key.rowid >= 0) {
        entry.rowid = key.rowid;
    } else {
        entry.rowid = -std::int64_t(keyCount()) - 2;
        storeKey(keyCount(), key.values);
        if (m_keyNames.isEmpty())
            m_keyNames = key.names;
    }
    entry.next = group.newest;
    group.newest = std::uint32_t(m_entries.size());
    ++group.size;
    m_entries.push_back(entry);
    return qint64(m_entries.size()) - 1;
}

void QsoIndex::finish()
{
    m_entries.shrink_to_fit();
    m_groups.shrink_to_fit();
    m_keys.shrink_to_fit();
    m_integerKeys.shrink_to_fit();
    for (Group& group : m_groups) {
        if (group.size > kLargeGroup)
            buildLarge(group);
    }
}

template <typename Text>
std::uint32_t QsoIndex::findGroup(std::uint64_t hash, const Text* parts[4]) const
{
    for (std::uint32_t g = m_buckets[hash & (m_buckets.size() - 1)]; g != kNone; g = m_groups[g].next) {
        const Group& group = m_groups[g];
        if (group.hash != hash)
            continue;
        const char* in = m_pool.at(group.key);
        bool same = true;
        for (int i = 0; i < 4 && same; ++i) {
            if constexpr (std::is_same_v<Text, QString>)
                same = Equals(TextPool::get(in), *parts[i]);
            else
                same = TextPool::get(in) == *parts[i];
        }
        if (same)
            return g;
    }
    return kNone;
}

void QsoIndex::rehash(std::size_t bucketCount)
{
    m_buckets.assign(bucketCount, kNone);
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        const std::size_t bucket = m_groups[g].hash & (bucketCount - 1);
        m_groups[g].next = m_buckets[bucket];
        m_buckets[bucket] = std::uint32_t(g);
    }
}

RowKey QsoIndex::keyOf(const Entry& entry) const
{
    RowKey key;
    if (entry.rowid >= 0)
        key.rowid = entry.rowid;
    else {
        key.names = m_keyNames;
        const std::size_t at = std::size_t(-(entry.rowid + 2));
        if (m_keys.empty())
            key.values = QVariantList{QVariant(m_integerKeys[at])};
        else
            key.values = UnpackRowValues(m_keys[at]);
    }
    return key;
}

void QsoIndex::buildLarge(Group& group)
{
    LargeGroup large;
    large.byTime.reserve(group.size);
    for (std::uint32_t i = group.newest; i != kNone; i = m_entries[i].next)
        large.byTime.push_back(i);
    auto texts = [this](std::uint32_t i) {
        const char* in = entryTexts(m_entries[i]);
        const std::string_view time = TextPool::get(in);
        return std::pair{time, TextPool::get(in)};
    };
    std::sort(large.byTime.begin(), large.byTime.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::string_view ta = texts(a).first, tb = texts(b).first;
        return ta != tb ? ta < tb : a < b;
    });
    for (std::uint32_t i : large.byTime) {
        if (!texts(i).second.empty())
            large.bySubmode.push_back(i);
    }
    std::sort(large.bySubmode.begin(), large.bySubmode.end(), [&](std::uint32_t a, std::uint32_t b) {
        const auto [ta, sa] = texts(a);
        const auto [tb, sb] = texts(b);
        if (ta != tb)
            return ta < tb;
        return sa != sb ? sa < sb : a < b;
    });
    // A time of exactly six characters whose last two are seconds 00 to 59.
    auto seconds = [](std::string_view time) {
        if (time.size() != 6 || time[4] < '0' || time[4] > '5' || time[5] < '0' || time[5] > '9')
            return -1;
        return (time[4] - '0') * 10 + (time[5] - '0');
    };
    // The lists are sorted by time, then entry: the first entry of a time is its lowest.
    for (std::size_t at = 0; at < large.byTime.size(); ++at) {
        const std::string_view time = texts(large.byTime[at]).first;
        if (at > 0 && texts(large.byTime[at - 1]).first == time)
            continue;
        const int s = seconds(time);
        if (s >= 0)
            large.minutes[std::string(time.substr(0, 4))].emplace_back(s, large.byTime[at]);
    }
    for (std::size_t at = 0; at < large.bySubmode.size(); ++at) {
        const auto [time, submode] = texts(large.bySubmode[at]);
        if (at > 0 && texts(large.bySubmode[at - 1]) == std::pair{time, submode})
            continue;
        const int s = seconds(time);
        if (s >= 0) {
            std::string key(time.substr(0, 4));
            key.push_back('\0');
            key.append(submode);
            large.namedMinutes[key].emplace_back(s, large.bySubmode[at]);
        }
    }
    group.large = std::uint32_t(m_large.size());
    m_large.push_back(std::move(large));
}

void QsoIndex::searchLarge(const LargeGroup& large, const QString& time, const QString& modeName,
                           const QString& submodeName, Best& any, Best& named) const
{
    auto texts = [this](std::uint32_t i) {
        const char* in = entryTexts(m_entries[i]);
        const std::string_view t = TextPool::get(in);
        return std::pair{t, TextPool::get(in)};
    };
    // The first entry (the lowest entry number) with this time; with name, also this submode.
    auto first = [&](std::string_view wanted, const std::string* name) -> std::uint32_t {
        if (!name) {
            auto it = std::lower_bound(large.byTime.begin(), large.byTime.end(), wanted,
                                       [&](std::uint32_t i, std::string_view t) { return texts(i).first < t; });
            return it != large.byTime.end() && texts(*it).first == wanted ? *it : kNone;
        }
        const std::pair<std::string_view, std::string_view> key{wanted, *name};
        auto it = std::lower_bound(large.bySubmode.begin(), large.bySubmode.end(), key,
                                   [&](std::uint32_t i, const auto& k) { return texts(i) < k; });
        return it != large.bySubmode.end() && texts(*it) == key ? *it : kNone;
    };
    std::string names[2];
    int nameCount = 0;
    for (const QString* n : {&modeName, &submodeName}) {
        if (!n->isEmpty())
            names[nameCount++] = Latin1(*n);
    }
    auto firstNamed = [&](std::string_view wanted) {
        std::uint32_t best = kNone;
        for (int n = 0; n < nameCount; ++n)
            best = std::min(best, first(wanted, &names[n]));
        return best;
    };

    const std::string wantedTime = Latin1(time);
    any.exact = first(wantedTime, nullptr);
    named.exact = firstNamed(wantedTime);
    // The seconds of the minute matter only where no exact time decides already.
    if (time.size() != 6 || (any.exact != kNone && (nameCount == 0 || named.exact != kNone)))
        return;
    const std::string minute = wantedTime.substr(0, 4);
    // The lowest seconds of the minute other than the time asked for itself.
    auto lowest = [&](const std::vector<std::pair<int, std::uint32_t>>& times, Best& best) {
        for (const auto& [seconds, entry] : times) {
            const std::string_view logged = texts(entry).first;
            if (logged == wantedTime)
                continue;
            if (seconds < best.seconds || (seconds == best.seconds && entry < best.bySeconds)) {
                best.seconds = seconds;
                best.bySeconds = entry;
                best.time = logged;
            }
            return;
        }
    };
    if (auto it = large.minutes.find(minute); it != large.minutes.end())
        lowest(it->second, any);
    for (int n = 0; n < nameCount; ++n) {
        std::string key = minute;
        key.push_back('\0');
        key.append(names[n]);
        if (auto it = large.namedMinutes.find(key); it != large.namedMinutes.end())
            lowest(it->second, named);
    }
}

QsoIndex::Match QsoIndex::find(const QString& call, const QString& date, const QString& time,
                               const QString& mode, const QString& band, const QString& modeName,
                               const QString& submodeName) const
{
    Match match;
    if (m_entries.empty())
        return match;
    const QString* parts[4] = {&call, &date, &mode, &band};
    const std::uint32_t g = findGroup(HashKey(parts), parts);
    if (g == kNone)
        return match;
    const Group& group = m_groups[g];
    const bool trySeconds = time.size() == 6;

    // The best row by time, among all rows and among those whose submode names the report's
    // mode: the exact time first (the lowest index), then the lowest seconds of the minute.
    Best any, named;
    if (group.large != kNone) {
        searchLarge(m_large[group.large], time, modeName, submodeName, any, named);
    } else {
        auto names = [&](std::string_view submode) {
            return !submode.empty()
                   && ((!modeName.isEmpty() && Equals(submode, modeName))
                       || (!submodeName.isEmpty() && Equals(submode, submodeName)));
        };
        // Entries of a group run from the newest row to the oldest; keep the lowest index.
        for (std::uint32_t i = group.newest; i != kNone; i = m_entries[i].next) {
            const char* in = entryTexts(m_entries[i]);
            const std::string_view logged = TextPool::get(in);
            const std::string_view submode = TextPool::get(in);
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
    }
    const Best& best = named.exact != kNone || named.bySeconds != kNone ? named : any;
    const std::uint32_t chosen = best.exact != kNone ? best.exact : best.bySeconds;
    if (chosen == kNone)
        return match;
    match.found = true;
    match.entry = chosen;
    match.key = keyOf(m_entries[chosen]);
    match.time = best.exact != kNone ? time : QString::fromLatin1(best.time.data(), qsizetype(best.time.size()));
    return match;
}
