#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// A stand-in for TQSL, for the outcomes the real program does not give at will (each exit
// status, a crash, a hang, a flood of output, a damaged signed file): a small program of the
// test suite's own (tests/support/tqsl_stand_in), copied into a test's folder, that writes its
// arguments, one a line, to "<program>.args", copies the file named by copyOnStart (when set)
// to "<program>.copy" the moment it starts, writes the given lines to its standard error as
// TQSL does, and then ends as told. What it does is written beside it as "<program>.behaviour".
struct StandInTqsl
{
    enum class Ending { Exit, Hang, KillItself, Flood };

    int exitCode = 0;
    QStringList lines;
    Ending ending = Ending::Exit;
    QString copyOnStart;
    // When set, these bytes are written as the signed file beside the file given with "-d"
    // (its extension replaced by tq8) before the program ends: an empty one, a damaged one, or
    // one made for a test.
    std::optional<QByteArray> signedFile;
    // When set, a run with "-a all" (sign again what was signed before) writes these bytes as
    // the signed file and exits 0, whatever else is set.
    std::optional<QByteArray> signedFileWhenSigningAll;

    // Puts the program into folder as "tqsl" (or the name given; on Windows with ".exe" added)
    // and returns its path.
    QString write(const QString& folder, const QString& name = QStringLiteral("tqsl")) const;

    // The arguments the program received at its last run, one per line as written. The path
    // is the one write returned, or the folder and name given to it.
    static QStringList receivedArguments(const QString& programPath);
    // Whether the program ran since it was written.
    static bool ran(const QString& programPath);
    // The path write gives for folder and name.
    static QString programPath(const QString& folder, const QString& name = QStringLiteral("tqsl"));
};
