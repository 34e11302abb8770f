#pragma once

#include <QString>
#include <array>

// The form's saved QSL date and remembered radio choices ("quorvane2.dat").
struct SavedQslDates
{
    QString date;                  // text of the date field, as typed (never checked)
    int reportRange = -1;          // download choice: 0 all QSLs, 1 only since the date
    int sinceChoice = -1;          // 0 when "Only fm last QSL >" is checked, else -1
    int importScope = 1;           // load choice: 0 all records, 1 only not yet confirmed
    int overwriteChoice = 1;       // 0 overwrite, 1 do not overwrite
    std::array<int, 8> reserved{}; // numbers 5 to 12: read, never used, written as 0
};

// The longest QSL date the file keeps; a longer text is saved cut to its first 99 characters.
constexpr int kMaxQslDateLength = 99;

// Reads the file into dates; values read before a failure stay, the rest keep what they had.
// True only when all twelve numbers were read.
bool LoadQslDateFile(const QString& path, SavedQslDates& dates);
// Writes the file (reserved numbers as 0, the date cut to kMaxQslDateLength); false when it can't be opened or written.
bool SaveQslDateFile(const QString& path, const SavedQslDates& dates);
