#include "UpperCaseValidator.h"

namespace {
QString capitals(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        const QChar upper = c.toUpper();
        if (upper.unicode() <= 0xff)
            c = upper;
    }
    return result;
}
}

QValidator::State UpperCaseValidator::validate(QString& input, int& position) const
{
    Q_UNUSED(position);
    input = capitals(input);
    return Acceptable;
}

void UpperCaseValidator::fixup(QString& input) const
{
    input = capitals(input);
}
