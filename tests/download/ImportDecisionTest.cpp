// The import's decision for one report record and the logged QSO it matched, without a log.

#include "download/ImportDecision.h"
#include "download/LotwRecord.h"

#include "Printing.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <map>
#include <string>

namespace {

using Column = ImportQsoSet::Column;

// "key=value;key=value" as a map (values may hold blanks).
std::map<std::string, QString> Fields(const char* text)
{
    std::map<std::string, QString> fields;
    for (const QString& part : QString::fromLatin1(text).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        fields[part.left(eq).trimmed().toStdString()] = part.mid(eq + 1);
    }
    return fields;
}

// A record of W1AW on 20 m CW, with the fields given: station, qsl, credits (any of DXCC,
// VUCC, WPX), cq, itu, state, county, iota, grid.
LotwRecord Record(const char* text)
{
    LotwRecord r;
    r.call = QStringLiteral("W1AW");
    r.qsoDate = QStringLiteral("20240315");
    r.timeOn = QStringLiteral("142530");
    r.bandCode = QStringLiteral("6");
    r.modeCode = QStringLiteral("2");
    for (const auto& [key, value] : Fields(text)) {
        if (key == "station")
            r.stationCall = value;
        else if (key == "qsl")
            r.qslDate = value;
        else if (key == "credits") {
            for (const char* word : {"DXCC", "VUCC", "WPX"}) {
                if (value.contains(QLatin1String(word)))
                    (word[0] == 'D' ? r.dxccCredit : word[0] == 'V' ? r.vuccCredit : r.wpxCredit) = QLatin1String(word);
            }
        } else if (key == "cq")
            r.cqZone = value;
        else if (key == "itu")
            r.ituZone = value;
        else if (key == "state")
            r.state = value;
        else if (key == "county")
            r.county = value;
        else if (key == "iota")
            r.iota = value;
        else if (key == "grid")
            r.grid = value;
        else
            ADD_FAILURE() << "unknown record field " << key;
    }
    return r;
}

// The fields of a logged QSO given over those of row: opr, confirm, lotwrec, cq, itu, state,
// county, iota, grid, award.
LoggedQso Row(const char* text, LoggedQso row = LoggedQso())
{
    for (const auto& [key, value] : Fields(text)) {
        QString* column = key == "opr"       ? &row.oprCall
                          : key == "confirm" ? &row.confirm
                          : key == "lotwrec" ? &row.lotwRec
                          : key == "cq"      ? &row.cqZone
                          : key == "itu"     ? &row.ituZone
                          : key == "state"   ? &row.state
                          : key == "county"  ? &row.county
                          : key == "iota"    ? &row.iota
                          : key == "grid"    ? &row.grid
                                             : nullptr;
        if (column)
            *column = value;
        else if (key == "award")
            row.award = value.toInt();
        else
            ADD_FAILURE() << "unknown row field " << key;
    }
    return row;
}

QStringList Texts(const LoggedQso& q)
{
    return {q.oprCall, q.confirm, q.lotwRec, q.cqZone, q.ituZone, q.state,
            q.county,  q.iota,    q.grid,    QString::number(q.award)};
}

enum Outcome { Skipped, Confirms, NoMatch };

struct Case
{
    const char* name;
    const char* record;
    const char* row;
    int scope;     // 0 every QSL, 1 QSOs not yet confirmed
    int overwrite; // 0 overwrite, 1 keep
    Outcome outcome;
    const char* rowAfter; // the fields that differ afterwards
    unsigned changed;
    bool newDxcc;
    QStringList warnings; // the ends of the warning lines
};

const Case kCases[] = {
    // Which records confirm their row.
    {"UnconfirmedRowTakesConfirmationAndQslDate", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=0", 1, 1, Confirms,
     "confirm=2;lotwrec=20240401", Column::Confirm | Column::LotwRec, false, {}},
    {"CardConfirmedRowBecomesThree", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=1;lotwrec=20230101", 1, 1,
     Confirms, "confirm=3", Column::Confirm, false, {}},
    {"RecordWithoutQslDateChangesNothing", "station=K1ABC;credits=DXCC", "opr=K1ABC;confirm=0", 0, 0, Skipped, "", 0,
     false, {}},
    {"OtherStationCallIsNoMatch", "station=K1XYZ;qsl=20240401;credits=DXCC", "opr=K1ABC;confirm=0", 0, 0, NoMatch, "",
     0, false, {}},
    {"RecordWithoutStationCallIsNoMatch", "qsl=20240401", "opr=K1ABC;confirm=0", 1, 1, NoMatch, "", 0, false, {}},
    {"StationCallComparedExactly", "station=k1abc;qsl=20240401", "opr=K1ABC;confirm=0", 1, 1, NoMatch, "", 0, false,
     {}},
    {"NoStationCallMatchesRowWithoutOperator", "qsl=20240401", "confirm=0", 1, 1, Confirms,
     "confirm=2;lotwrec=20240401", Column::Confirm | Column::LotwRec, false, {}},
    {"ConfirmedRowSkippedForUnconfirmedScope", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=2;lotwrec=20230101", 1,
     1, Skipped, "", 0, false, {}},
    {"ConfirmedRowTakenForEveryQslScopeWithoutChange", "station=K1ABC;qsl=20240401",
     "opr=K1ABC;confirm=3;lotwrec=20230101", 0, 1, Confirms, "", 0, false, {}},
    {"ConfirmedRowWithoutLotwDateTakesIt", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=2", 1, 1, Confirms,
     "lotwrec=20240401", Column::LotwRec, false, {}},
    {"OtherConfirmCodeSkippedForEveryQslScope", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=5;lotwrec=20230101",
     0, 1, Skipped, "", 0, false, {}},
    {"CreditMakesConfirmedRowDue", "station=K1ABC;qsl=20240401;credits=WPX", "opr=K1ABC;confirm=2;lotwrec=20230101", 1,
     1, Confirms, "award=4", Column::Award, false, {}},

    // The confirm code by its leading number.
    // Whether a row is due compares the code exactly; its rewrite reads its leading number.
    {"ConfirmWithLeadingBlankAndTailNotDue", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm= 1x;lotwrec=20230101", 0,
     1, Skipped, "", 0, false, {}},
    {"ConfirmWithLeadingBlankAndTail", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm= 1x", 1, 1, Confirms,
     "confirm=3;lotwrec=20240401", Column::Confirm | Column::LotwRec, false, {}},
    {"ConfirmTwoWithLeadingZeroRewritten", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=02", 1, 1, Confirms,
     "confirm=2;lotwrec=20240401", Column::Confirm | Column::LotwRec, false, {}},
    {"ConfirmWithoutDigitsReadAsZero", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=Y", 1, 1, Confirms,
     "confirm=2;lotwrec=20240401", Column::Confirm | Column::LotwRec, false, {}},
    {"ConfirmOfOtherNumberKept", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=4", 1, 1, Confirms,
     "lotwrec=20240401", Column::LotwRec, false, {}},

    // Credits.
    {"FirstDxccCreditIsNewDxcc", "station=K1ABC;qsl=20240401;credits=DXCC", "opr=K1ABC;confirm=3;lotwrec=20230101", 1, 1,
     Confirms, "award=1", Column::Award, true, {}},
    {"DxccCreditAgainIsNoNewDxcc", "station=K1ABC;qsl=20240401;credits=DXCC", "opr=K1ABC;confirm=3;lotwrec=20230101;award=1",
     1, 1, Confirms, "", 0, false, {}},
    {"CreditsKeepOtherAwardBits", "station=K1ABC;qsl=20240401;credits=DXCC VUCC WPX",
     "opr=K1ABC;confirm=3;lotwrec=20230101;award=-2147483376", 1, 1, Confirms, "award=-2147483363", Column::Award,
     true, {}},
    {"VuccCreditSetsEight", "station=K1ABC;qsl=20240401;credits=VUCC", "opr=K1ABC;confirm=3;lotwrec=20230101;award=2", 1,
     1, Confirms, "award=10", Column::Award, false, {}},

    // Location fields.
    {"EmptyLocationFieldsFilled", "station=K1ABC;qsl=20240401;cq=05;itu=08;state=CT;county=HARTFORD;iota=NA001;grid=FN31",
     "opr=K1ABC;confirm=3;lotwrec=20230101", 0, 1, Confirms,
     "cq=05;itu=08;state=CT;county=HARTFORD;iota=NA001;grid=FN31",
     Column::CqZone | Column::ItuZone | Column::State | Column::County | Column::Iota | Column::Grid, false, {}},
    {"EqualLocationFieldsUnchanged", "station=K1ABC;qsl=20240401;cq=05;grid=FN31",
     "opr=K1ABC;confirm=3;lotwrec=20230101;cq=05;grid=FN31", 0, 0, Confirms, "", 0, false, {}},
    {"LotwGridRefinesLoggedLocator", "station=K1ABC;qsl=20240401;grid=FN31PR",
     "opr=K1ABC;confirm=3;lotwrec=20230101;grid=FN31", 0, 1, Confirms, "grid=FN31PR", Column::Grid, false, {}},
    {"ShorterLotwGridIsADifference", "station=K1ABC;qsl=20240401;grid=FN31",
     "opr=K1ABC;confirm=3;lotwrec=20230101;grid=FN31PR", 0, 1, Confirms, "", 0, false,
     {QStringLiteral(" -- LoTW GRID FN31 not written - already has GRID of FN31PR")}},
    {"DifferencesOverwrittenInColumnOrder", "station=K1ABC;qsl=20240401;cq=05;itu=08;state=CT;county=HARTFORD;iota=NA001;grid=FN31",
     "opr=K1ABC;confirm=0;cq=04;itu=07;state=MA;county=SUFFOLK;iota=na001;grid=FN42", 1, 0, Confirms,
     "confirm=2;lotwrec=20240401;cq=05;itu=08;state=CT;county=HARTFORD;iota=NA001;grid=FN31",
     Column::Confirm | Column::LotwRec | Column::CqZone | Column::ItuZone | Column::State | Column::County
         | Column::Iota | Column::Grid,
     false,
     {QStringLiteral(" -- existing CQ Zone of 04 overwritten by LoTW CQ Zone of 05"),
      QStringLiteral(" -- existing ITU Zone of 07 overwritten by LoTW ITU Zone of 08"),
      QStringLiteral(" -- existing State of MA overwritten by LoTW State of CT"),
      QStringLiteral(" -- existing County of SUFFOLK overwritten by LoTW County of HARTFORD"),
      QStringLiteral(" -- existing IOTA of na001 overwritten by LoTW IOTA of NA001"),
      QStringLiteral(" -- existing GRID of FN42 overwritten by LoTW GRID of FN31")}},
    {"DifferencesKeptWithWarnings", "station=K1ABC;qsl=20240401;cq=05;county=HARTFORD",
     "opr=K1ABC;confirm=3;lotwrec=20230101;cq=04;county=SUFFOLK", 0, 1, Confirms, "", 0, false,
     {QStringLiteral(" -- LoTW CQ Zone 05 not written - already has CQ Zone of 04"),
      QStringLiteral(" -- LoTW County HARTFORD not written - already has County of SUFFOLK")}},
    {"DifferencesKeptSilentlyForOtherChoice", "station=K1ABC;qsl=20240401;cq=05", "opr=K1ABC;confirm=3;lotwrec=20230101;cq=04",
     0, 2, Confirms, "", 0, false, {}},
    {"EmptyLotwValueNeverTouchesLog", "station=K1ABC;qsl=20240401", "opr=K1ABC;confirm=3;lotwrec=20230101;cq=04;grid=FN42",
     0, 0, Confirms, "", 0, false, {}},
    {"NoWarningsForARecordThatDoesNotConfirm", "station=K1XYZ;qsl=20240401;cq=05", "opr=K1ABC;confirm=0;cq=04", 1, 0,
     NoMatch, "", 0, false, {}},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class ImportDecisionTest : public ::testing::TestWithParam<Case>
{
};

TEST_P(ImportDecisionTest, Decides)
{
    const Case& c = GetParam();
    const LotwRecord record = Record(c.record);
    const LoggedQso before = Row(c.row);
    LoggedQso row = before;
    const ImportDecision decision = DecideImport(record, row, c.scope, c.overwrite);

    EXPECT_EQ(decision.confirms, c.outcome == Confirms);
    EXPECT_EQ(decision.noMatch, c.outcome == NoMatch);
    EXPECT_EQ(decision.changed, c.changed);
    EXPECT_EQ(decision.newDxcc, c.newDxcc);
    EXPECT_EQ(Texts(row), Texts(Row(c.rowAfter, before)));
    QStringList warnings;
    for (const FieldWarning& w : decision.warnings)
        warnings.append(FieldWarningTail(w));
    EXPECT_EQ(warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(Records, ImportDecisionTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Every column the decision marks as changed holds a new value, and every new value is marked.
TEST(ImportDecision, ChangedBitsNameExactlyTheColumnsThatDiffer)
{
    for (const Case& c : kCases) {
        const LoggedQso before = Row(c.row);
        LoggedQso row = before;
        const ImportDecision decision = DecideImport(Record(c.record), row, c.scope, c.overwrite);
        const QStringList was = Texts(before), now = Texts(row);
        // Texts() order without the operator call: the written columns' bits in that order.
        const unsigned bits[] = {Column::Confirm, Column::LotwRec, Column::CqZone, Column::ItuZone, Column::State,
                                 Column::County,  Column::Iota,    Column::Grid,   Column::Award};
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(bool(decision.changed & bits[i]), was[i + 1] != now[i + 1]) << c.name << " column " << i;
        EXPECT_EQ(now[0], was[0]) << c.name << ": the operator call is never written";
    }
}

struct FieldCase
{
    const char* name;
    const char* lotw;
    const char* logged;
    bool isGrid;
    int overwrite;
    FieldOutcome outcome;
};

const FieldCase kFieldCases[] = {
    {"NoLotwValue", "", "05", false, 0, FieldOutcome::Unchanged},
    {"NoLotwValueNorLogged", "", "", false, 0, FieldOutcome::Unchanged},
    {"NothingLogged", "05", "", false, 1, FieldOutcome::Filled},
    {"SameValue", "05", "05", false, 0, FieldOutcome::Filled},
    {"GridRefinement", "FN31PR", "FN31", true, 1, FieldOutcome::Filled},
    {"RefinementOnlyForGrid", "FN31PR", "FN31", false, 1, FieldOutcome::Kept},
    {"GridOfOtherSquare", "FN31PR", "FN32", true, 0, FieldOutcome::Overwritten},
    {"LoggedLongerGrid", "FN31", "FN31PR", true, 0, FieldOutcome::Overwritten},
    {"CaseMatters", "NA001", "na001", false, 1, FieldOutcome::Kept},
    {"OtherChoiceKeepsQuietly", "05", "04", false, 2, FieldOutcome::Unchanged},
    {"NegativeChoiceKeepsQuietly", "05", "04", false, -1, FieldOutcome::Unchanged},
};

void PrintTo(const FieldCase& c, std::ostream* os)
{
    *os << c.name;
}

class LocationFieldTest : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(LocationFieldTest, Outcome)
{
    const FieldCase& c = GetParam();
    EXPECT_EQ(DecideLocationField(QString::fromLatin1(c.lotw), QString::fromLatin1(c.logged), c.isGrid, c.overwrite),
              c.outcome);
}

INSTANTIATE_TEST_SUITE_P(Fields, LocationFieldTest, ::testing::ValuesIn(kFieldCases),
                         [](const ::testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.name); });

} // namespace
