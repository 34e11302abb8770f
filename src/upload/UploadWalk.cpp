#include "UploadWalk.h"

#include "logdb/CQSO2006SRC.h"

namespace {

int columnAt(const std::vector<ColumnSpec>& specs, const char* name)
{
    for (size_t i = 0; i < specs.size(); ++i) {
        if (specs[i].name == QLatin1StringView(name))
            return int(i);
    }
    return -1;
}

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
    static const char* const wanted[] = {
        "[QSO-CALL]",    "[QSO-DATE]",  "[QSO-TIME]",   "[QSO-RSTS]",   "[QSO-RSTR]",   "[QSO-POWER]",
        "[QSO-ITU-ZONE]", "[QSO-OPRCALL]", "[QSO-WPX]",  "[QSO-CONFIRM]", "[QSO-NAME]", "[QSO-IOTA]",
        "[QSO-BAND]",    "[QSO-CQ-ZONE]", "[QSO-MODE]", "[QSO-SUBMODE]", "[QSO-QSLS]",  "[QSO-PREFIX]",
        "[QSO-SAT]",     "[QSO-FREQ]",  "[QSO-STATE]",  "[QSO-COUNTY]", "[QSO-VALID]",
    };
    UploadWalkColumns at{};
    // One name for each place member, in their order (from call to valid).
    static_assert(sizeof wanted / sizeof wanted[0] == 23);
    const std::vector<ColumnSpec>& all = CQSO2006SRC::columnSpecs();
    int* place = &at.call;
    const bool allColumns = db.rowsKnownByValues(QStringLiteral("[QSO-TAB]"));
    for (const char* name : wanted) {
        const int inLog = columnAt(all, name);
        if (allColumns) {
            *place++ = inLog;
        } else {
            *place++ = int(at.specs.size());
            at.specs.push_back(all[size_t(inLog)]);
        }
    }
    if (allColumns)
        at.specs = all;
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
