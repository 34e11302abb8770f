#pragma once

#include "platform/EventMonitor.h"

#include <QElapsedTimer>

class CBrindlewickView;
class MessageBox;
class MonitorModel;
class MonitorView;

// The form's event monitor: lines go to the two monitor boxes, counters to their statics,
// step icons to the icon statics, messages to a message box.
//
// While an operation runs on the window's thread, the window is kept alive by throttled
// event pumping: PumpMessages (and every appended line) lets the window process its events at
// most every 50 ms and costs a clock reading otherwise. Appended lines are handed to the boxes
// in batches, at a pace that keeps the boxes' own layout work a small share of the run.
// Outside an operation, appended lines are shown at the next turn of the event loop.
class FormMonitor : public EventMonitor
{
public:
    FormMonitor(CBrindlewickView& view, MonitorView& uploadView, MonitorView& downloadView,
                MessageBox& messageBox);
    ~FormMonitor() override;

    void AddUploadEvent(const QString& text) override;
    void AddDownloadEvent(const QString& text) override;
    void ClearUploadMonitor() override;
    void ClearDownloadMonitor() override;
    void ShowCounters() override;
    void SetStepIcon(int controlId, int icon) override;
    void ShowMessage(const QString& text) override;
    void PumpMessages() override;
    bool StopRequested() const override { return m_stopRequested; }
    // The operator's Stop, for the operation that runs; cleared when the next one starts.
    void requestStop() { m_stopRequested = m_running; }

    // An operation starts or ends.
    void setRunning(bool running);
    bool isRunning() const { return m_running; }
    // Shows every waiting line now, with the newest line of each box at its top.
    void showLines();

    MonitorModel& uploadModel() { return *m_uploadModel; }
    MonitorModel& downloadModel() { return *m_downloadModel; }

    // How long the event pumping waits between two turns, in milliseconds.
    static constexpr qint64 kPumpInterval = 50;

private:
    void lineAdded();
    void publish(MonitorModel& model, MonitorView& view);

    CBrindlewickView& m_view;
    MonitorView& m_uploadView;
    MonitorView& m_downloadView;
    MessageBox& m_messageBox;
    MonitorModel* m_uploadModel;
    MonitorModel* m_downloadModel;
    bool m_running = false;
    bool m_stopRequested = false;
    bool m_showPosted = false;
    bool m_countersPending = false; // counters set during a run, shown at the next pump
    void showCountersNow();
    QElapsedTimer m_pumpClock;
    QElapsedTimer m_showClock;
    qint64 m_showGap = kPumpInterval;
};
