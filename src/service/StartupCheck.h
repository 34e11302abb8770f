#pragma once

#include <QString>

class EventMonitor;

// The start-up check of a log, which the window makes before it shows the form and the batch
// command before it runs a command: an engine for the log's path, the log can be opened, and
// it is DXbase's version.
struct LogCheck
{
    enum class Result {
        Usable,
        NoEngine,     // no engine for the path (the Access driver off Windows ...)
        Failed,       // the engine's own description of what went wrong
        Busy,         // another program held the log for longer than the engine waits
        WrongVersion, // not a log of DXbase's version
    };
    Result result = Result::Usable;
    // What the operator is told; empty when the log is usable. A busy log's text ends with
    // "then gave up.": each front end says what to do about it.
    QString text;

    bool usable() const { return result == Result::Usable; }
};

// Makes the check on a connection of its own, let go of again before it returns: nothing
// holds the log afterwards. monitor (may be null) is told while the engine waits for the log.
LogCheck CheckLogAtStart(const QString& logPath, EventMonitor* monitor);

// The data folder of the batch command: the reason it cannot be used (it is a file, it does
// not exist, it holds no options), or an empty text.
QString DataFolderProblem(const QString& dataFolder, const QString& optionsFile);
