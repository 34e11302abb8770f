#pragma once

#include <QString>

// A consistent copy of the log in the data folder's "backup" folder, named with the log's name
// and the date and time ("Dxbase-20261207-153012.sqlite"). A SQLite log is copied through
// SQLite's online backup, which gives a consistent copy while other programs use the log; an
// Access log is copied as a file, which is only consistent while no program has it open, so a
// log in use (its lock file is there) is refused. Returns the copy's path; throws
// CFileException with the reason when no copy was made.
QString BackUpLog(const QString& logPath, const QString& dataFolder);
