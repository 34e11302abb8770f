#include "LotwFieldRulesReference.h"

QString TrimLeadingReportSpace(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && IsReportSpace(text.at(first)))
        ++first;
    return first == 0 ? text : text.mid(first);
}

QString LotwBandTable(const QString& band)
{
    const QString key = AsciiUpper(TrimLeadingReportSpace(band));
    for (const LotwCode& entry : LotwBandCodes()) {
        if (key == QLatin1String(entry.name))
            return QLatin1String(entry.code);
    }
    return QStringLiteral("99");
}

QString LotwModeTable(const QString& upperMode)
{
    for (const LotwCode& entry : LotwModeCodes()) {
        if (upperMode == QLatin1String(entry.name))
            return QLatin1String(entry.code);
    }
    return QString();
}

QString LotwModeCode(const QString& mode)
{
    if (mode.size() >= 16)
        return QStringLiteral("99");
    const QString upper = AsciiUpper(mode);
    const QString code = LotwModeTable(upper);
    if (!code.isEmpty())
        return code;
    return upper.contains(QLatin1String("SSTV")) ? QStringLiteral("7") : QStringLiteral("6");
}

QString LotwTime(const QString& time)
{
    if (time.size() < 4)
        return QString();
    if (time.size() < 6)
        return time.left(4) + QLatin1String("00");
    return time.left(6);
}

QString LotwDate(const QString& date)
{
    return date.size() == 8 ? date : QString();
}

bool IsUsStateAbbreviation(const QString& state)
{
    if (state.size() != 2)
        return false;
    for (const char* abbreviation : UsStateAbbreviations()) {
        if (state == QLatin1String(abbreviation))
            return true;
    }
    return false;
}

void ApplyLotwState(const QString& value, QString& state)
{
    if (value.size() != 2)
        return;
    state = IsUsStateAbbreviation(value) ? value : QString();
}

void ApplyLotwZone(const QString& value, QString& zone)
{
    if (value.isEmpty() || value.size() >= 3)
        return;
    zone = value.size() == 1 ? QLatin1Char('0') + value : value;
}

void ApplyLotwIota(const QString& value, QString& iota)
{
    if (value.size() != 6)
        return;
    QString text = value;
    text[2] = QLatin1Char('-');
    const qsizetype hyphen = text.indexOf(QLatin1Char('-'));
    iota = AsciiUpper(text.left(hyphen) + text.mid(hyphen + 1));
}

void ApplyLotwGrid(const QString& value, QString& grid)
{
    if (value.size() <= 3)
        return;
    grid = AsciiUpper(value.size() == 6 ? value : value.left(4));
}

QString LotwDxcc(const QString& value)
{
    const QString digits = TrimLeadingReportSpace(value);
    if (digits.isEmpty() || digits.size() > 9)
        return QString();
    int number = 0;
    for (QChar c : digits) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return QString();
        number = number * 10 + (c.unicode() - '0');
    }
    return QString::number(number);
}
