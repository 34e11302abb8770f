#include "ImportDecision.h"

#include "LotwFieldRules.h"
#include "LotwRecord.h"

#include <limits>

namespace {

// The leading decimal number of a text as the C library reads it: leading white space, an
// optional sign, digits up to the first other character; no digits read as 0. Values
// beyond the range of a long are held at its ends.
long LeadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && IsReportSpace(text.at(i)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    constexpr long kMax = std::numeric_limits<long>::max();
    long value = 0;
    for (; i < text.size() && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9'; ++i) {
        const long digit = text.at(i).unicode() - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

bool IsDue(const LotwRecord& r, const LoggedQso& q, int importScope)
{
    const QString& confirm = q.confirm;
    const bool zeroOrOne = confirm == QLatin1String("0") || confirm == QLatin1String("1");
    const bool twoOrThree = confirm == QLatin1String("2") || confirm == QLatin1String("3");
    return r.dxccCredit == QLatin1String("DXCC") || r.vuccCredit == QLatin1String("VUCC")
           || r.wpxCredit == QLatin1String("WPX") || q.lotwRec.isEmpty() || zeroOrOne
           || (importScope == 0 && (zeroOrOne || twoOrThree));
}

} // namespace

FieldOutcome DecideLocationField(const QString& lotw, const QString& logged, bool isGrid, int overwriteChoice)
{
    if (lotw.isEmpty())
        return FieldOutcome::Unchanged;
    if (logged.isEmpty() || logged == lotw || (isGrid && QStringView(lotw).left(4) == logged))
        return FieldOutcome::Filled;
    if (overwriteChoice == 0)
        return FieldOutcome::Overwritten;
    if (overwriteChoice == 1)
        return FieldOutcome::Kept;
    return FieldOutcome::Unchanged;
}

QString FieldWarningTail(const FieldWarning& w)
{
    if (w.overwritten)
        return QLatin1String(" -- existing ") + w.word + QLatin1String(" of ") + w.logged
               + QLatin1String(" overwritten by LoTW ") + w.word + QLatin1String(" of ") + w.lotw;
    return QLatin1String(" -- LoTW ") + w.word + QLatin1Char(' ') + w.lotw + QLatin1String(" not written - already has ")
           + w.word + QLatin1String(" of ") + w.logged;
}

ImportDecision DecideImport(const LotwRecord& r, LoggedQso& q, int importScope, int overwriteChoice)
{
    ImportDecision decision;
    decision.noMatch = r.stationCall != q.oprCall;
    decision.confirms = !decision.noMatch && !r.qslDate.isEmpty() && IsDue(r, q, importScope);
    if (!decision.confirms)
        return decision;

    // A column is written only when its value changes: a value equal to the one read is
    // never empty, so the column isn't null either, and writing it again would change
    // nothing. A row that keeps every value isn't written.
    auto write = [&decision](QString& column, const QString& value, unsigned bit) {
        if (column == value)
            return;
        // Copied into the column's own buffer, which the next row read reuses.
        column.resize(0);
        column.append(value);
        decision.changed |= bit;
    };

    const long confirm = LeadingNumber(q.confirm);
    if (confirm == 0 || confirm == 2)
        write(q.confirm, QStringLiteral("2"), ImportQsoSet::Confirm);
    else if (confirm == 1 || confirm == 3)
        write(q.confirm, QStringLiteral("3"), ImportQsoSet::Confirm);

    auto field = [&](const char* word, const QString& lotw, QString& column, unsigned bit, bool isGrid) {
        switch (DecideLocationField(lotw, column, isGrid, overwriteChoice)) {
        case FieldOutcome::Unchanged:
            return;
        case FieldOutcome::Kept:
            decision.warnings.push_back({QLatin1StringView(word), lotw, column, false});
            return;
        case FieldOutcome::Overwritten:
            decision.warnings.push_back({QLatin1StringView(word), lotw, column, true});
            break;
        case FieldOutcome::Filled:
            break;
        }
        write(column, lotw, bit);
    };
    field("CQ Zone", r.cqZone, q.cqZone, ImportQsoSet::CqZone, false);
    field("ITU Zone", r.ituZone, q.ituZone, ImportQsoSet::ItuZone, false);
    field("State", r.state, q.state, ImportQsoSet::State, false);
    field("County", r.county, q.county, ImportQsoSet::County, false);
    field("IOTA", r.iota, q.iota, ImportQsoSet::Iota, false);
    field("GRID", r.grid, q.grid, ImportQsoSet::Grid, true);

    if (q.lotwRec.isEmpty())
        write(q.lotwRec, r.qslDate, ImportQsoSet::LotwRec);

    const bool dxcc = r.dxccCredit == QLatin1String("DXCC");
    const bool vucc = r.vuccCredit == QLatin1String("VUCC");
    const bool wpx = r.wpxCredit == QLatin1String("WPX");
    if (dxcc || vucc || wpx) {
        // Bits 2 and 16 to 256 and every bit above them stay as found; DXCC (1), WPX (4)
        // and VUCC (8) are set by the credits.
        const qint32 old = q.award;
        decision.newDxcc = dxcc && !(old & 1);
        qint32 mask = old;
        if (dxcc)
            mask |= 1;
        if (wpx)
            mask |= 4;
        if (vucc)
            mask |= 8;
        if (mask != old) {
            q.award = mask;
            decision.changed |= ImportQsoSet::Award;
        }
    }
    return decision;
}
