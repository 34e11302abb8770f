#pragma once

#include <QString>

// The program's own message texts, keyed by their string-table numbers.
namespace Strings {
enum Id : int {
    AppTitle = 57344,
    VersionError = 61449,
    LotwFileEmpty = 61450,
    RequiredBlank = 61452,
    TqslNotFound = 61455,
    EngineMissing = 61456,
};

// The text of a string-table entry; empty for a number the table does not hold.
QString text(int id);

// A count with its noun: "1 row", "2 rows" (plural: the noun with an "s" unless given).
QString counted(qint64 count, const char* singular, const char* plural = nullptr);
}
