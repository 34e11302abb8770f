#include "UploadWalk.h"

#include "logdb/QsoTable.h"

namespace {

// A text column into a text kept from row to row: ASCII bytes widened in place (no new
// buffer once the text has held as many characters), anything else through the engine's
// text.
void readText(const Cursor& cursor, int column, QString& text)
{
    std::string_view bytes;
    if (!cursor.asciiText(column, bytes)) {
        text = cursor.text(column);
        return;
    }
    text.resize(qsizetype(bytes.size()));
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (char c : bytes)
        *out++ = char16_t(static_cast<unsigned char>(c));
}

} // namespace

UploadWalkColumns UploadWalkColumns::of(Connection& db)
{
    using C = QsoColumn;
    static const QsoColumn wanted[] = {
        C::Call, C::Date,    C::Time,   C::Rsts,   C::Rstr,    C::Power,   C::ItuZone, C::OprCall,
        C::Wpx,  C::Confirm, C::Name,   C::Iota,   C::Band,    C::CqZone,  C::Mode,    C::Submode,
        C::Qsls, C::Prefix,  C::Sat,    C::Freq,   C::State,   C::County,  C::Valid,
    };
    UploadWalkColumns at{};
    // One column for each place member, in their order (from call to valid).
    static_assert(sizeof wanted / sizeof wanted[0] == 23);
    int* place = &at.call;
    const bool allColumns = db.rowsKnownByValues(QsoTable::name());
    for (QsoColumn column : wanted) {
        if (allColumns) {
            *place++ = QsoTable::place(column);
        } else {
            *place++ = int(at.specs.size());
            at.specs.push_back(QsoTable::column(column));
        }
    }
    if (allColumns)
        at.specs = QsoTable::columns();
    return at;
}

void UploadWalkColumns::readSelection(const Cursor& cursor, QString& qslsText, QString& oprCallText,
                                      qint64& validValue) const
{
    readText(cursor, qsls, qslsText);
    readText(cursor, oprCall, oprCallText);
    validValue = cursor.integer(valid);
}

void UploadWalkColumns::readRecord(const Cursor& cursor, UploadQsoValues& values, QString& stateText,
                                   QString& countyText) const
{
    readText(cursor, call, values.call);
    readText(cursor, date, values.date);
    readText(cursor, time, values.time);
    readText(cursor, rstSent, values.rstSent);
    readText(cursor, rstRcvd, values.rstRcvd);
    readText(cursor, power, values.power);
    readText(cursor, ituZone, values.ituZone);
    readText(cursor, wpx, values.wpx);
    readText(cursor, confirm, values.confirm);
    readText(cursor, name, values.name);
    readText(cursor, iota, values.iota);
    readText(cursor, band, values.band);
    readText(cursor, cqZone, values.cqZone);
    readText(cursor, mode, values.mode);
    readText(cursor, submode, values.submode);
    readText(cursor, prefix, values.prefix);
    readText(cursor, sat, values.sat);
    readText(cursor, freq, values.freq);
    readText(cursor, state, stateText);
    readText(cursor, county, countyText);
}

quint64 UploadRowDigest(const UploadQsoValues& values, const QString& qsls, qint64 valid)
{
    // FNV-1a over the texts' characters, each text closed by a separator.
    quint64 digest = 0xCBF29CE484222325ull;
    const auto add = [&digest](const QString& text) {
        for (QChar c : text) {
            digest ^= c.unicode();
            digest *= 0x100000001B3ull;
        }
        digest ^= 0x1F;
        digest *= 0x100000001B3ull;
    };
    for (const QString* text : {&values.call, &values.date, &values.time, &values.rstSent, &values.rstRcvd,
                                &values.power, &values.ituZone, &values.oprCall, &values.wpx, &values.confirm,
                                &values.name, &values.iota, &values.band, &values.cqZone, &values.mode,
                                &values.submode, &values.prefix, &values.sat, &values.freq, &qsls})
        add(*text);
    for (int i = 0; i < 8; ++i) {
        digest ^= quint64(valid >> (8 * i)) & 0xFF;
        digest *= 0x100000001B3ull;
    }
    return digest;
}
