#pragma once

#include "platform/EventMonitor.h"

#include <QElapsedTimer>

#include <QByteArray>
#include <utility>
#include <vector>

// What an import reports about its records, held until the log has committed the rows they
// stand for: download monitor lines and step icons. The counters are shown as they go, a few
// times a second, as provisional ones. Messages, waiting events, progress and the Stop request
// reach the real monitor at once. release() hands what is held over in the order it came, with
// the run's counters as saved; discard() forgets it and sets the run's counters back to
// nothing (the rows were not saved).
class HeldMonitor : public EventMonitor
{
public:
    explicit HeldMonitor(EventMonitor& real) : m_real(real) {}

    void AddUploadEvent(const QString& text) override { m_real.AddUploadEvent(text); }
    void AddUploadLines(QByteArrayView utf8Lines) override { m_real.AddUploadLines(utf8Lines); }
    void AddDownloadEvent(const QString& text) override;
    void ClearUploadMonitor() override { m_real.ClearUploadMonitor(); }
    void ClearDownloadMonitor() override { m_real.ClearDownloadMonitor(); }
    // The counters as they stand are shown now and then, provisional until the log is saved
    // (release) or set back (discard).
    void ShowCounters(const RunCounters& counters) override;
    void SetStepIcon(Step step, StepIcon icon) override { m_icons.emplace_back(step, icon); }
    void ShowMessage(const QString& text) override { m_real.ShowMessage(text); }
    void PumpMessages() override { m_real.PumpMessages(); }
    bool StopRequested() const override { return m_real.StopRequested(); }
    void ReportProgress(qint64 done, qint64 total) override { m_real.ReportProgress(done, total); }
    void ReportStage(RunStage stage) override { m_real.ReportStage(stage); }

    // Hands the lines and the icons over to the real monitor, then shows counters there (once,
    // at the end), and starts afresh.
    void release(const RunCounters& counters);
    // Forgets the lines and icons held, sets every counter of the run back to zero and shows
    // them so.
    void discard(RunCounters& counters);

private:
    EventMonitor& m_real;
    QByteArray m_lines; // each line: its length (4 bytes), then its text
    std::vector<std::pair<Step, StepIcon>> m_icons;
    QElapsedTimer m_sinceShown;
};
