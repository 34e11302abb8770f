#pragma once

#include <QValidator>

// Turns typed letters into capitals, as the call-sign edits of the options dialog do. A letter
// whose capital is not a single-byte character stays as typed.
class UpperCaseValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
    void fixup(QString& input) const override;
};
