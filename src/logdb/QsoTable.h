#pragma once

#include "Connection.h"

#include <QString>
#include <initializer_list>
#include <vector>

// The columns of the log's QSO table, in exchange order (the order of the table's definition).
enum class QsoColumn : int {
    Date,      // [QSO-DATE]
    Time,      // [QSO-TIME]
    Call,      // [QSO-CALL]
    Rsts,      // [QSO-RSTS]
    Rstr,      // [QSO-RSTR]
    Name,      // [QSO-NAME]
    Qth,       // [QSO-QTH]
    Note,      // [QSO-NOTE]
    Prefix,    // [QSO-PREFIX]
    CqZone,    // [QSO-CQ-ZONE]
    ItuZone,   // [QSO-ITU-ZONE]
    Mode,      // [QSO-MODE]
    Submode,   // [QSO-SUBMODE]
    Freq,      // [QSO-FREQ]
    Band,      // [QSO-BAND]
    Wpx,       // [QSO-WPX]
    State,     // [QSO-STATE]
    County,    // [QSO-COUNTY]
    Iota,      // [QSO-IOTA]
    Grid,      // [QSO-GRID]
    TenTen,    // [QSO-TEN-TEN]
    Spec1,     // [QSO-SPEC1]
    Spec2,     // [QSO-SPEC2]
    Confirm,   // [QSO-CONFIRM]
    Qsls,      // [QSO-QSLS]
    QslSent,   // [QSO-QSL-SENT]
    QslVia,    // [QSO-QSL-VIA]
    MgrNumb,   // [QSO-MGR-NUMB]
    Valid,     // [QSO-VALID]
    Award,     // [QSO-AWARD]
    Select,    // [QSO-SELECT]
    Category,  // [QSO-CATEGORY]
    Sat,       // [QSO-SAT]
    QslNumber, // [QSO-QSL-NUMBER]
    Number,    // [QSO-NUMBER]
    OprCall,   // [QSO-OPRCALL]
    QslrDate,  // [QSO-QSLRDATE]
    Power,     // [QSO-POWER]
    LotwRec,   // [QSO-LOTWREC]
    EndTime,   // [QSO-ENDTIME]
    SatMode,   // [QSO-SATMODE]
};

// The log's QSO table as DXbase defines it: its name and its 41 columns, each with the way
// its value is exchanged (the long columns are integers, the rest texts). The recordset, the
// upload, the import, the undo journal and the demo data all take the table from here.
namespace QsoTable {

constexpr int kColumnCount = 41;

// "[QSO-TAB]", with its brackets.
const QString& name();
// Every column in exchange order.
const std::vector<ColumnSpec>& columns();
const ColumnSpec& column(QsoColumn column);
// The columns named, in the order given.
std::vector<ColumnSpec> columns(std::initializer_list<QsoColumn> which);
// The place of a column in exchange order.
constexpr int place(QsoColumn column) { return int(column); }
// The statement that creates the table as DXbase's own log holds it: "CREATE TABLE [QSO-TAB]
// ([QSO-DATE] TEXT, [QSO-TIME] TEXT, ..., [QSO-SATMODE] TEXT)", longs as INTEGER.
QString createStatement();

} // namespace QsoTable

// The upload's sent mark in [QSO-QSLS]: a QSO is due while the column holds "0" (not sent) or
// "1"; the upload marks it "2" and "3" respectively.
namespace SentMark {

// Whether a [QSO-QSLS] value makes the QSO due for upload: exactly "0" or "1".
bool isDue(const QString& qsls);
// Whether a due value is the one that becomes "3" ("1").
bool isOne(const QString& qsls);
// The due value a mark stands on: "1" when wasOne, else "0".
const QString& due(bool wasOne);
// The mark the upload writes: "3" when the value was "1", else "2".
const QString& marked(bool wasOne);
// Whether a [QSO-QSLS] value is a mark the upload writes ("2" or "3").
bool isMarked(const QString& qsls);

} // namespace SentMark
