#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// A stand-in for TQSL, for the outcomes the real program does not give at will (each exit
// status, a crash, a hang, a flood of output, a damaged signed file): a shell script that writes its arguments, one a
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
    // When set, these bytes are written as the signed file beside the file given with "-d"
    // (its extension replaced by tq8) before the script ends: an empty one, a damaged one, or
    // one made for a test.
    std::optional<QByteArray> signedFile;

    // Writes the script into folder as "tqsl" (or the name given) and returns its path.
    QString write(const QString& folder, const QString& name = QStringLiteral("tqsl")) const;

    // The arguments the script received at its last run, one per line as written.
    static QStringList receivedArguments(const QString& scriptPath);
    // Whether the script ran since it was written.
    static bool ran(const QString& scriptPath);
};
