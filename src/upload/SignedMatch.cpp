#include "SignedMatch.h"

#include "SignedFile.h"
#include "TaggedFields.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace {

// FNV-1a over the texts' characters, each text closed by a separator.
class Digest
{
public:
    Digest& add(const QString& text)
    {
        for (QChar c : text)
            mix(c.unicode());
        mix(0x1F);
        return *this;
    }
    quint64 value() const { return m_value; }

private:
    void mix(char16_t c)
    {
        m_value ^= quint64(c);
        m_value *= 0x100000001B3ull;
    }
    quint64 m_value = 0xCBF29CE484222325ull;
};

// The time of a QSO as TQSL signs it, HHMMSS: a time of hours and minutes gets 00 seconds,
// "HH:MM:SSZ" loses its separators.
QString signedTime(const QString& time)
{
    QString digits;
    for (QChar c : time) {
        if (c.isDigit())
            digits += c;
    }
    if (digits.size() == 4)
        digits += QLatin1String("00");
    return digits;
}

QString signedDate(const QString& date)
{
    QString digits = date;
    digits.remove(QLatin1Char('-'));
    return digits;
}

quint64 signKey(const QString& call, const QString& date, const QString& time, const QString& band,
                const QString& satName, const QString& propMode)
{
    return Digest()
        .add(call.trimmed().toUpper())
        .add(signedDate(date.trimmed()))
        .add(signedTime(time.trimmed()))
        .add(band.trimmed().toUpper())
        .add(satName.trimmed().toUpper())
        .add(propMode.trimmed().toUpper())
        .value();
}

quint64 modeKey(const QString& tqslMode)
{
    return Digest().add(tqslMode.trimmed().toUpper()).value();
}

// The fields of the upload file's records that the comparison needs.
class UploadRecords : public TaggedFields::Handler
{
public:
    explicit UploadRecords(std::vector<UploadFileRecord>& records) : m_records(records) {}

    void field(QByteArrayView name, QByteArrayView value, qint64 line, qint64 offset) override
    {
        if (m_firstLine == 0) {
            m_firstLine = line;
            m_offset = offset;
        }
        const auto is = [&name](const char* n) { return name.compare(QByteArrayView(n), Qt::CaseInsensitive) == 0; };
        QString* target = is("CALL")       ? &m_qso.call
                          : is("QSO_DATE") ? &m_qso.date
                          : is("TIME_ON")  ? &m_qso.time
                          : is("BAND")     ? &m_qso.band
                          : is("MODE")     ? &m_qso.mode
                          : is("SAT_NAME") ? &m_sat
                          : is("PROP_MODE") ? &m_prop
                                           : nullptr;
        if (target)
            *target = QString::fromUtf8(value);
    }

    void tag(QByteArrayView name, qint64 line, qint64) override
    {
        if (name.compare(QByteArrayView("eoh"), Qt::CaseInsensitive) == 0) {
            reset();
            return;
        }
        if (name.compare(QByteArrayView("eor"), Qt::CaseInsensitive) != 0)
            return;
        UploadFileRecord record;
        record.key = signKey(m_qso.call, m_qso.date, m_qso.time, m_qso.band, m_sat, m_prop);
        record.mode = modeKey(TqslSignedMode(m_qso.mode));
        record.firstLine = m_firstLine == 0 ? line : m_firstLine;
        record.lastLine = line;
        record.offset = m_offset;
        m_records.push_back(record);
        if (!m_done)
            m_first = m_qso;
        m_done = true;
        reset();
    }

    // The first record read.
    const UploadFileQso& first() const { return m_first; }
    bool done() const { return m_done; }

private:
    void reset()
    {
        m_qso = UploadFileQso();
        m_sat.clear();
        m_prop.clear();
        m_firstLine = 0;
        m_offset = 0;
    }

    std::vector<UploadFileRecord>& m_records;
    UploadFileQso m_qso;
    UploadFileQso m_first;
    QString m_sat;
    QString m_prop;
    qint64 m_firstLine = 0;
    qint64 m_offset = 0;
    bool m_done = false;
};

} // namespace

QString TqslSignedMode(const QString& adifMode)
{
    static const QHash<QString, QString> byMode = [] {
        static const char* const pairs[][2] = {
            {"AMTORFEC", "AMTOR"}, {"TOR", "AMTOR"},       {"ASCI", "RTTY"},         {"BPSK125", "PSK125"},
            {"BPSK31", "PSK31"},   {"BPSK63", "PSK63"},    {"QPSK125", "PSK125"},    {"QPSK31", "PSK31"},
            {"QPSK63", "PSK63"},   {"CHIP128", "CHIP"},    {"CHIP64", "CHIP"},       {"CLO", "CLOVER"},
            {"DOMINOEX", "DOMINO"}, {"DOMINOF", "DOMINO"}, {"FMHELL", "HELL"},       {"FSKHELL", "HELL"},
            {"HELL80", "HELL"},    {"PSKHELL", "HELL"},    {"ISCAT-A", "ISCAT"},     {"ISCAT-B", "ISCAT"},
            {"JT4A", "JT4"},       {"JT4B", "JT4"},        {"JT4C", "JT4"},          {"JT4D", "JT4"},
            {"JT4E", "JT4"},       {"JT4F", "JT4"},        {"JT4G", "JT4"},          {"JT65A", "JT65"},
            {"JT65B", "JT65"},     {"JT65B2", "JT65"},     {"JT65C", "JT65"},        {"JT65C2", "JT65"},
            {"JT9-1", "JT9"},      {"JT9-10", "JT9"},      {"JT9-2", "JT9"},         {"JT9-30", "JT9"},
            {"JT9-5", "JT9"},      {"JT9A", "JT9"},        {"JT9B", "JT9"},          {"JT9C", "JT9"},
            {"JT9D", "JT9"},       {"JT9E", "JT9"},        {"JT9E FAST", "JT9"},     {"JT9F", "JT9"},
            {"JT9F FAST", "JT9"},  {"JT9G", "JT9"},        {"JT9G FAST", "JT9"},     {"JT9H", "JT9"},
            {"JT9H FAST", "JT9"},  {"LSB", "SSB"},         {"USB", "SSB"},           {"OLIVIA 16/1000", "OLIVIA"},
            {"OLIVIA 16/500", "OLIVIA"}, {"OLIVIA 32/1000", "OLIVIA"}, {"OLIVIA 4/125", "OLIVIA"},
            {"OLIVIA 4/250", "OLIVIA"},  {"OLIVIA 8/250", "OLIVIA"},   {"OLIVIA 8/500", "OLIVIA"},
            {"OPERA-BEACON", "OPERA"}, {"OPERA-QSO", "OPERA"}, {"PAC", "PACTOR"},    {"PAC2", "PACTOR"},
            {"PAC3", "PACTOR"},    {"PAC4", "PACTOR"},     {"PAX2", "PAX"},          {"PCW", "CW"},
            {"PKT", "PACKET"},     {"PSKAM10", "PSKAM"},   {"PSKAM31", "PSKAM"},     {"PSKAM50", "PSKAM"},
            {"QRA64A", "QRA64"},   {"QRA64B", "QRA64"},    {"QRA64C", "QRA64"},      {"QRA64D", "QRA64"},
            {"QRA64E", "QRA64"},   {"ROS-EME", "ROS"},     {"ROS-HF", "ROS"},        {"ROS-MF", "ROS"},
            {"THRB", "THROB"},     {"THRBX", "THROB"},     {"FSQCALL", "DATA"},      {"JS8", "DATA"},
            {"MFSK", "DATA"},      {"MFSK11", "DATA"},     {"MFSK128", "DATA"},      {"MFSK22", "DATA"},
            {"MFSK31", "DATA"},    {"MFSK32", "DATA"},     {"MFSK4", "DATA"},        {"MFSK64", "DATA"},
            {"PSK", "DATA"},       {"PSK1000", "DATA"},    {"PSK250", "DATA"},       {"PSK500", "DATA"},
            {"QPSK250", "DATA"},   {"QPSK500", "DATA"},    {"SIM31", "DATA"},        {"V4", "DATA"},
        };
        QHash<QString, QString> map;
        for (const auto& pair : pairs)
            map.insert(QString::fromLatin1(pair[0]), QString::fromLatin1(pair[1]));
        return map;
    }();
    const QString upper = adifMode.trimmed().toUpper();
    return byMode.value(upper, upper);
}

bool ReadUploadFileRecords(const QString& path, std::vector<UploadFileRecord>& records, QString& problem)
{
    records.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
        return false;
    }
    UploadRecords handler(records);
    TaggedFields fields;
    try {
        for (;;) {
            const QByteArray piece = file.read(1024 * 1024);
            if (piece.isEmpty())
                break;
            fields.feed(piece, handler);
        }
    } catch (const TaggedFields::Damaged& damaged) {
        problem = damaged.text;
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        problem = file.errorString();
        return false;
    }
    return true;
}

bool ReadUploadFileQso(QFile& file, qint64 offset, UploadFileQso& qso)
{
    if (!file.isOpen() || !file.seek(offset))
        return false;
    std::vector<UploadFileRecord> records;
    UploadRecords handler(records);
    TaggedFields fields;
    try {
        while (!handler.done()) {
            const QByteArray piece = file.read(16 * 1024);
            if (piece.isEmpty())
                return false;
            fields.feed(piece, handler);
        }
    } catch (const TaggedFields::Damaged&) {
        return false;
    }
    qso = handler.first();
    return true;
}

SignedMatch MatchSignedFile(const std::vector<UploadFileRecord>& records, const QString& signedPath)
{
    SignedMatch match;
    match.isSigned.assign(records.size(), false);
    // The records by key, each key's records in file order.
    std::vector<quint32> order(records.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = quint32(i);
    std::sort(order.begin(), order.end(), [&records](quint32 a, quint32 b) {
        return records[a].key != records[b].key ? records[a].key < records[b].key : a < b;
    });
    SignedFileReader reader;
    const bool read = reader.read(signedPath, [&](const SignedContact& contact) {
        const quint64 key = signKey(contact.call, contact.date, contact.time, contact.band, contact.satName,
                                    contact.propMode);
        const auto [from, to] = std::equal_range(order.begin(), order.end(), key, [&records](const auto& a, const auto& b) {
            if constexpr (std::is_same_v<std::decay_t<decltype(a)>, quint64>)
                return a < records[b].key;
            else
                return records[a].key < b;
        });
        const quint64 mode = modeKey(contact.mode);
        auto taken = to;
        for (auto it = from; it != to; ++it) {
            if (match.isSigned[*it])
                continue;
            if (records[*it].mode == mode) {
                taken = it;
                break;
            }
            if (taken == to)
                taken = it;
        }
        if (taken == to) {
            ++match.foreign;
            return;
        }
        match.isSigned[*taken] = true;
        ++match.signedCount;
    });
    match.contacts = reader.contacts();
    match.stationCall = reader.stationCall();
    if (!read) {
        match.problem = reader.problem();
    } else if (match.foreign > 0) {
        match.problem = QStringLiteral("it holds %1 QSOs that are not in the upload file").arg(match.foreign);
    }
    match.usable = match.problem.isEmpty();
    if (!match.usable) {
        match.isSigned.assign(records.size(), false);
        match.signedCount = 0;
    }
    return match;
}
