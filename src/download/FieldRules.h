#pragma once

#include <QString>
#include <functional>

class LineFile;
class ProblemLog;
struct FieldWarning;
struct LotwRecord;

// Brings one location field of a matched log row in line with LoTW: fill when the log has
// none (or the same, or for the grid a 4-character locator that the LoTW one refines);
// otherwise overwrite or keep by the operator's choice (0 overwrite, 1 keep), with a warning
// line either way (DecideLocationField). Returns true when the column is to take the LoTW value.
class FieldRules
{
public:
    FieldRules(const LotwRecord& record, int overwriteChoice, ProblemLog& problems, LineFile& errorFile);

    // word: the field's name in the warning ("CQ Zone", "ITU Zone", "State", "County",
    // "IOTA", "GRID"); lotw: the LoTW value; logged: the column as the row holds it.
    bool apply(const QString& word, const QString& lotw, const QString& logged, bool isGrid = false);
    // The same with the word as it stands in the program (the import's way: no copy unless a
    // warning is written).
    bool apply(QLatin1StringView word, const QString& lotw, const QString& logged, bool isGrid = false);

    // Writes the warning line of a field (the warnings counter, the problem pointer, the
    // download monitor and the error file).
    void warn(const FieldWarning& warning);

private:

    const LotwRecord& m_record;
    int m_overwriteChoice;
    ProblemLog& m_problems;
    LineFile& m_errorFile;
};
