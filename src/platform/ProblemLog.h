#pragma once

#include "EventMonitor.h"

#include <QString>
#include <memory>

class QFile;
class QIODevice;

// The record a problem line is about: the texts it quotes.
struct ProblemRecord
{
    QString call;
    QString qsoDate;
    QString timeOn;
    QString bandCode;
    QString modeCode;
    QString state;
    QString county;
};

// An error line ("ERROR:  ") or a warning line ("Warning: ").
enum class ProblemKind { Error = 1, Warning = 2 };

// The band and mode texts of a record's codes ("14" for band code "6", "CW" for mode code "2").
struct BandModeTexts
{
    QString band;
    QString mode;
    bool operator==(const BandModeTexts&) const = default;
};

// Sets the texts from a record's band and mode codes; a code that is not in its table leaves
// its text as it was (a record with band code "99" shows the band of the record before).
void DecodeBandMode(const QString& bandCode, const QString& modeCode, BandModeTexts& texts);

// The problem line, without CR LF: the kind's prefix, the last database error, three blanks,
// the message, then the record's call, date and time, the band and mode texts, state and
// county.
QString ProblemLineText(ProblemKind kind, const QString& lastDbError, const QString& message,
                        const ProblemRecord& record, const BandModeTexts& texts);

// What a problem line takes from what came before it: the description of the last database
// failure the upload caught (never cleared), and the band and mode texts of the last known
// codes. The window keeps it from run to run, as the form kept it; a batch command starts
// with none.
struct ProblemMemory
{
    QString lastDbError;
    BandModeTexts texts;
    bool operator==(const ProblemMemory&) const = default;
};

// What a run leaves for its front end to show: its counters, and what its problem lines leave
// for the next run's.
struct RunResult
{
    RunCounters counters;
    ProblemMemory problems;
};

// Writes a run's problem lines: to the download monitor and, with CR LF, to the error file
// when one is open. It owns the error file of the upload (created afresh, each line written
// as it comes); the import hands it the device of its own held error file instead. A warning
// also counts in the run's warnings counter, which is shown at once, and points the problem
// pointer at the error file.
class ProblemLog
{
public:
    ProblemLog(EventMonitor& monitor, RunCounters& counters);
    ~ProblemLog();
    ProblemLog(const ProblemLog&) = delete;
    ProblemLog& operator=(const ProblemLog&) = delete;

    EventMonitor& monitor() const { return m_monitor; }
    RunCounters& counters() const { return m_counters; }

    // What the next problem line starts from; memory() is what the lines so far left.
    void setMemory(ProblemMemory memory) { m_memory = std::move(memory); }
    const ProblemMemory& memory() const { return m_memory; }
    // A database failure caught: its description is quoted by every later problem line.
    void noteDbError(const QString& description) { m_memory.lastDbError = description; }

    // Writes one problem line about record with message. A failed write of the error file
    // throws CFileException.
    void LogRecordEvent(ProblemKind kind, const QString& message, const ProblemRecord& record);
    // A warning: one more in the warnings counter, shown at once, and the red arrow on the
    // problem pointer.
    void countWarning();
    // The band and mode texts after the codes of a record (see DecodeBandMode above), as the
    // next problem line shows them.
    const BandModeTexts& DecodeBandMode(const QString& bandCode, const QString& modeCode);

    // Creates (or truncates) the error file at path and writes the problem lines there as
    // they come; false, and no error file, when it can't be created.
    bool createErrorFile(const QString& path);
    // Writes the problem lines to device (null: none) instead.
    void setErrorDevice(QIODevice* device);
    // Writes no more to the error file (and closes the one it created).
    void closeErrorFile();
    bool hasErrorFile() const { return m_errorFile != nullptr; }
    // Writes one line with CR LF to the error file, if one is open; false with the reason
    // when it can't be written.
    bool writeErrorLine(const QString& line, QString* failure = nullptr);

private:
    EventMonitor& m_monitor;
    RunCounters& m_counters;
    ProblemMemory m_memory;
    std::unique_ptr<QFile> m_ownFile;
    QIODevice* m_errorFile = nullptr;
};
