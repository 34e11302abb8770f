#pragma once

#include <QString>
#include <QStringList>

// A stand-in for TQSL, for the outcomes the real program cannot give on a test machine (a
// signed file, skipped QSOs, a kill, a hang): a shell script that writes its arguments, one a
// line, to "<script>.args", copies the file named by copyOnStart (when set) to
// "<script>.copy" the moment it starts, writes the given lines to its standard error as TQSL
// does, and then ends as told.
struct StandInTqsl
{
    enum class Ending { Exit, Hang, KillItself, Flood };

    int exitCode = 0;
    QStringList lines;
    Ending ending = Ending::Exit;
    QString copyOnStart;

    // Writes the script into folder as "tqsl" (or the name given) and returns its path.
    QString write(const QString& folder, const QString& name = QStringLiteral("tqsl")) const;

    // The arguments the script received at its last run, one per line as written.
    static QStringList receivedArguments(const QString& scriptPath);
    // Whether the script ran since it was written.
    static bool ran(const QString& scriptPath);
};
