#pragma once

#include <QString>

class EventMonitor;

// A consistent copy of the log in the data folder's "backup" folder, named with the log's name
// and the date and time ("Dxbase-20261207-153012.sqlite"). A SQLite log is copied through
// SQLite's online backup, which gives a consistent copy while other programs use the log; an
// Access log is copied as a file, which is only consistent while no program has it open, so a
// log in use (its lock file is there) is refused. The copy is written under a name that ends
// in ".part" and takes its own name only once it is whole, so a copy that failed or was killed
// never passes for a backup (what such a run left is removed by the next one). Returns the
// copy's path; throws CFileException with the reason when no copy was made.
//
// monitor, when given, hears of a wait for another program that holds the log (the backup
// waits as long as a run does, then gives up), and may stop the copy.
QString BackUpLog(const QString& logPath, const QString& dataFolder, EventMonitor* monitor = nullptr);
