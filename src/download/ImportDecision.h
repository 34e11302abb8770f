#pragma once

#include "ImportQsoSet.h"

#include <QLatin1StringView>
#include <QString>
#include <vector>

struct LotwRecord;

// A location field where the log and LoTW disagree, as its warning line tells it.
struct FieldWarning
{
    QLatin1StringView word; // "CQ Zone", "ITU Zone", "State", "County", "IOTA" or "GRID"
    QString lotw;           // LoTW's value
    QString logged;         // the log's value as the row held it
    bool overwritten;       // true: the log takes LoTW's value; false: the log keeps its own
};

// What the import makes of one report record and the logged QSO it matched.
struct ImportDecision
{
    // The record confirms the row: it is due (a credit, a row without LoTW date or not yet
    // confirmed, or every QSL by the import scope), its station call is the row's operator
    // call and it carries a QSL date. Once saved it counts as used and its line goes to the
    // imported-QSO list.
    bool confirms = false;
    // The record's station call is not the row's operator call: an error ("**No Match **").
    bool noMatch = false;
    // The columns of the row that the record changed (ImportQsoSet::Column bits).
    unsigned changed = 0;
    // The record brings the row's first DXCC credit.
    bool newDxcc = false;
    // The location fields the log and LoTW disagree on, in the order of the columns.
    std::vector<FieldWarning> warnings;
};

// Decides what one record does to the row it matched, from the two alone: importScope 0 takes
// every QSL, 1 only those of QSOs not yet confirmed; overwriteChoice 0 lets LoTW's location
// values overwrite the log's, 1 keeps the log's (any other value keeps them without a warning).
// row holds the row as the run has left it so far; when the record confirms it, it holds the
// row's new values on return (copied into the row's own texts, whose buffers are kept).
ImportDecision DecideImport(const LotwRecord& record, LoggedQso& row, int importScope, int overwriteChoice);

// How one location field of a matched row meets LoTW's value.
enum class FieldOutcome {
    Unchanged,   // LoTW gives no value, or the values differ and the choice is neither 0 nor 1
    Filled,      // the log has none, the same, or (the grid) the 4-character locator LoTW refines
    Overwritten, // the values differ and the log takes LoTW's (choice 0), with a warning
    Kept,        // the values differ and the log keeps its own (choice 1), with a warning
};
FieldOutcome DecideLocationField(const QString& lotw, const QString& logged, bool isGrid, int overwriteChoice);

// The end of a field's warning line: " -- existing ... overwritten by LoTW ..." or
// " -- LoTW ... not written - already has ...".
QString FieldWarningTail(const FieldWarning& warning);
