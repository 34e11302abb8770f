#pragma once

#include <QString>

// What a run's progress counts.
enum class ProgressUnit {
    None,  // nothing is counted (the report request)
    Qsos,  // rows of the log (the upload)
    Bytes, // bytes of the report (the import)
    Download, // bytes received from LoTW ("waiting for LoTW" before the first)
    Rows,  // rows written to the log
};

// The line the status bar shows during a run, for example
// "Upload: 412,345 of 1,000,000 QSOs read, 52,100 QSOs/s, 0:11 left" or
// "Import: 23.4 of 60.7 MB of the report read, 5.1 MB/s, 0:07 left". The rate and the time
// left are given once the run has worked for a second; a total of 0 or less is not known.
// Once all is read: "Upload: all 1,000,000 QSOs read, finishing" (what is left, such as
// TQSL's signing, takes a time nobody can tell). The rate is that of the work since elapsedMs
// began, when done stood at doneBefore (a stage that goes on where it was left).
QString ProgressText(const QString& title, ProgressUnit unit, qint64 done, qint64 total, qint64 elapsedMs,
                     qint64 doneBefore = 0);

// How far the run has come, in thousandths (0 to 1000); -1 when the total is not known.
int ProgressPermille(qint64 done, qint64 total);
