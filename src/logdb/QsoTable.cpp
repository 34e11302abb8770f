#include "QsoTable.h"

namespace QsoTable {

const QString& name()
{
    static const QString table = QStringLiteral("[QSO-TAB]");
    return table;
}

const std::vector<ColumnSpec>& columns()
{
    static const std::vector<ColumnSpec> specs = {
        {QStringLiteral("[QSO-DATE]"), ColumnType::Text},       {QStringLiteral("[QSO-TIME]"), ColumnType::Text},
        {QStringLiteral("[QSO-CALL]"), ColumnType::Text},       {QStringLiteral("[QSO-RSTS]"), ColumnType::Text},
        {QStringLiteral("[QSO-RSTR]"), ColumnType::Text},       {QStringLiteral("[QSO-NAME]"), ColumnType::Text},
        {QStringLiteral("[QSO-QTH]"), ColumnType::Text},        {QStringLiteral("[QSO-NOTE]"), ColumnType::Text},
        {QStringLiteral("[QSO-PREFIX]"), ColumnType::Text},     {QStringLiteral("[QSO-CQ-ZONE]"), ColumnType::Text},
        {QStringLiteral("[QSO-ITU-ZONE]"), ColumnType::Text},   {QStringLiteral("[QSO-MODE]"), ColumnType::Text},
        {QStringLiteral("[QSO-SUBMODE]"), ColumnType::Text},    {QStringLiteral("[QSO-FREQ]"), ColumnType::Text},
        {QStringLiteral("[QSO-BAND]"), ColumnType::Text},       {QStringLiteral("[QSO-WPX]"), ColumnType::Text},
        {QStringLiteral("[QSO-STATE]"), ColumnType::Text},      {QStringLiteral("[QSO-COUNTY]"), ColumnType::Text},
        {QStringLiteral("[QSO-IOTA]"), ColumnType::Text},       {QStringLiteral("[QSO-GRID]"), ColumnType::Text},
        {QStringLiteral("[QSO-TEN-TEN]"), ColumnType::Text},    {QStringLiteral("[QSO-SPEC1]"), ColumnType::Text},
        {QStringLiteral("[QSO-SPEC2]"), ColumnType::Text},      {QStringLiteral("[QSO-CONFIRM]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSLS]"), ColumnType::Text},       {QStringLiteral("[QSO-QSL-SENT]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSL-VIA]"), ColumnType::Text},    {QStringLiteral("[QSO-MGR-NUMB]"), ColumnType::Text},
        {QStringLiteral("[QSO-VALID]"), ColumnType::Long},      {QStringLiteral("[QSO-AWARD]"), ColumnType::Long},
        {QStringLiteral("[QSO-SELECT]"), ColumnType::Long},     {QStringLiteral("[QSO-CATEGORY]"), ColumnType::Long},
        {QStringLiteral("[QSO-SAT]"), ColumnType::Text},        {QStringLiteral("[QSO-QSL-NUMBER]"), ColumnType::Text},
        {QStringLiteral("[QSO-NUMBER]"), ColumnType::Long},     {QStringLiteral("[QSO-OPRCALL]"), ColumnType::Text},
        {QStringLiteral("[QSO-QSLRDATE]"), ColumnType::Text},   {QStringLiteral("[QSO-POWER]"), ColumnType::Text},
        {QStringLiteral("[QSO-LOTWREC]"), ColumnType::Text},    {QStringLiteral("[QSO-ENDTIME]"), ColumnType::Text},
        {QStringLiteral("[QSO-SATMODE]"), ColumnType::Text},
    };
    return specs;
}

const ColumnSpec& column(QsoColumn which)
{
    return columns()[std::size_t(place(which))];
}

std::vector<ColumnSpec> columns(std::initializer_list<QsoColumn> which)
{
    std::vector<ColumnSpec> specs;
    specs.reserve(which.size());
    for (QsoColumn c : which)
        specs.push_back(column(c));
    return specs;
}

QString createStatement()
{
    QString sql = QStringLiteral("CREATE TABLE ") + name() + QStringLiteral(" (");
    bool first = true;
    for (const ColumnSpec& c : columns()) {
        if (!first)
            sql += QStringLiteral(", ");
        first = false;
        sql += c.name + (c.type == ColumnType::Long ? QStringLiteral(" INTEGER") : QStringLiteral(" TEXT"));
    }
    return sql + QLatin1Char(')');
}

} // namespace QsoTable

namespace SentMark {

bool isDue(const QString& qsls)
{
    return qsls.size() == 1 && (qsls.at(0) == QLatin1Char('0') || qsls.at(0) == QLatin1Char('1'));
}

bool isOne(const QString& qsls)
{
    return qsls == QLatin1String("1");
}

const QString& due(bool wasOne)
{
    static const QString zero = QStringLiteral("0"), one = QStringLiteral("1");
    return wasOne ? one : zero;
}

const QString& marked(bool wasOne)
{
    static const QString two = QStringLiteral("2"), three = QStringLiteral("3");
    return wasOne ? three : two;
}

bool isMarked(const QString& qsls)
{
    return qsls == QLatin1String("2") || qsls == QLatin1String("3");
}

} // namespace SentMark
