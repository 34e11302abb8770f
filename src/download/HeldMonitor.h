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
// the counters as saved; discard() forgets it and sets the counters back to nothing (the rows
// were not saved).
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
    void ShowCounters() override;
    void SetStepIcon(int controlId, int icon) override { m_icons.emplace_back(controlId, icon); }
    void ShowMessage(const QString& text) override { m_real.ShowMessage(text); }
    void PumpMessages() override { m_real.PumpMessages(); }
    bool StopRequested() const override { return m_real.StopRequested(); }
    void ReportProgress(qint64 done, qint64 total) override { m_real.ReportProgress(done, total); }
    void ReportStage(RunStage stage) override { m_real.ReportStage(stage); }

    // Monitor lines held.
    qint64 heldLines() const { return m_lineCount; }
    // Hands the lines, the icons and the counters over to the real monitor (the counters as
    // they stand here, shown once at the end) and starts afresh.
    void release();
    // Forgets the lines and icons held and sets every counter back to zero.
    void discard();

private:
    EventMonitor& m_real;
    QByteArray m_lines; // each line: its length (4 bytes), then its UTF-16 text
    qint64 m_lineCount = 0;
    std::vector<std::pair<int, int>> m_icons;
    QElapsedTimer m_sinceShown;
};
