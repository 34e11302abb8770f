#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <cstdint>

// The counters a run keeps, as the form and the batch command name them.
enum class Counter : std::uint8_t {
    UploadReadIn,     // "QSOs Read-in" of the upload
    UploadAdifOut,    // "ADIF Output"
    DownloadReadIn,   // "QSOs Read-in" of the import
    DownloadRecsUsed, // "LoTW Recs Used"
    DownloadErrors,   // "QSOs w/errors"
    DownloadNewDxcc,  // "New DXCC Credits"
    DownloadWarnings, // "Warnings"
};
inline constexpr int kCounterCount = 7;

// The markers of the upload and download steps, and the pointer at the error file.
enum class Step : std::uint8_t { MakeAdif, SignAdif, MakeTq8, Clipboard, Upload, Download, ProblemPointer };
inline constexpr int kStepCount = 7;

// What a step marker shows: nothing, a tick (done), a red arrow (look at the error file).
enum class StepIcon : std::uint8_t { Blank, Tick, RedArrow };

// The stage a long run is in, for the progress the window shows: the import reads the log,
// then matches the report's records, then saves the log; each stage counts its own progress.
enum class RunStage : int { Running = 0, ReadingLog = 1, Matching = 2, Saving = 3 };

// The counters of one run, each known once the run has set it: a front end shows the known
// ones and leaves the others as they were (an upload does not touch the download counters).
class RunCounters
{
public:
    void set(Counter counter, long value)
    {
        m_values[index(counter)] = value;
        m_known |= bit(counter);
    }
    void add(Counter counter, long amount = 1) { set(counter, value(counter) + amount); }
    // 0 for a counter not set.
    long value(Counter counter) const { return m_values[index(counter)]; }
    bool isSet(Counter counter) const { return (m_known & bit(counter)) != 0; }
    bool isEmpty() const { return m_known == 0; }
    // Sets every known counter back to 0.
    void zero()
    {
        for (long& value : m_values)
            value = 0;
    }
    // Calls f(counter, value) for every known counter, in the order of Counter.
    template <class F>
    void forEachSet(F&& f) const
    {
        for (int i = 0; i < kCounterCount; ++i)
            if (m_known & (1u << i))
                f(Counter(i), m_values[std::size_t(i)]);
    }
    // A counter as the form shows it ("%ld").
    static QString format(long value) { return QString::number(value); }

    bool operator==(const RunCounters&) const = default;

private:
    static std::size_t index(Counter counter) { return std::size_t(counter); }
    static unsigned bit(Counter counter) { return 1u << unsigned(counter); }
    std::array<long, kCounterCount> m_values{};
    unsigned m_known = 0;
};

// The one way an operation reports: monitor lines on the upload and the download side,
// counters and step markers, messages and questions, progress and stages, and the operator's
// Stop. It holds nothing of the run: the run keeps its counters and hands them over to be
// shown; the problem lines are put together by the run's ProblemLog. The form implements it
// with widgets (through the relay to the window's thread), the batch command with stdout and
// stderr, tests with a recorder.
class EventMonitor
{
public:
    virtual ~EventMonitor() = default;

    virtual void AddUploadEvent(const QString& text) = 0;
    // Upload monitor lines as the upload file holds them: UTF-8, each line ended by CR LF
    // (bytes after the last CR LF are a line too). By default each goes to AddUploadEvent; a
    // front end that shows bytes can take them as they are.
    virtual void AddUploadLines(QByteArrayView utf8Lines);
    virtual void AddDownloadEvent(const QString& text) = 0;
    virtual void ClearUploadMonitor() = 0;
    virtual void ClearDownloadMonitor() = 0;
    // Shows the run's counters as they stand (the known ones), and the choices with them
    // where the front end shows choices.
    virtual void ShowCounters(const RunCounters& counters) = 0;
    virtual void SetStepIcon(Step step, StepIcon icon) = 0;
    // A modal message with the application title and an OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // The same for a message that tells of something done (the information icon, not the
    // warning one, where the front end shows icons).
    virtual void ShowInformation(const QString& text) { ShowMessage(text); }
    // A modal question with the buttons Yes and No (the default), answered by the operator
    // while the run waits; false where nobody can answer (the batch command decides such
    // questions by its options beforehand).
    virtual bool AskOperator(const QString& question)
    {
        Q_UNUSED(question);
        return false;
    }
    // Lets the window deliver waiting events; nothing where there is no window.
    virtual void PumpMessages() {}
    // Shows the lines given so far at once, where a front end holds them back (the batch
    // command's buffered stdout): for a line that says the run is waiting.
    virtual void FlushLines() {}
    // Whether the operator asked to stop the run (the form's Stop or Escape). A run looks at it
    // between two QSOs or records and ends cleanly there; a long wait looks at it too.
    virtual bool StopRequested() const { return false; }
    // How far the run has come: done of total (rows of the log for the upload, bytes of the
    // report for the import); a total of 0 or less is not known. Called often: it must be cheap.
    virtual void ReportProgress(qint64 done, qint64 total)
    {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }
    // A new stage begins; its progress starts from nothing.
    virtual void ReportStage(RunStage stage) { Q_UNUSED(stage); }
};
