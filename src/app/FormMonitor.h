#pragma once

#include "platform/EventMonitor.h"

#include <QElapsedTimer>
#include <QString>
#include <array>
#include <deque>
#include <functional>

class MessageBox;
class MonitorModel;
class MonitorView;
class QLabel;
class QTimer;
struct Choices;
struct MonitorBatch;

// What the form shows besides its two monitor boxes: the statics of the counters and the
// icon statics of the steps (null where the form has none), and the refresh of the choices
// that goes with the counters, given a run's choices to take first (or null).
struct FormIndicators
{
    std::array<QLabel*, kCounterCount> counters{};
    std::array<QLabel*, kStepCount> steps{};
    std::function<void(const Choices* taken)> refreshChoices;
};

// The form's event monitor: lines go to the two monitor boxes, counters to their statics
// ("%ld"), step icons to the icon statics, messages to a message box. It lives on the window's thread.
//
// Operations run on a worker thread and report through a RelayMonitor; what that hands over
// is shown here with apply(). Appended lines wait in their models and are shown in batches:
// at the next turn of the event loop when the window is idle, and during a run at a pace that
// keeps the boxes' own layout work a small share of the run.
//
// Messages are shown one at a time, in order: one that comes while another box is open waits
// for it (the same text coming again and again is shown once, with its count).
class FormMonitor : public EventMonitor
{
public:
    FormMonitor(FormIndicators indicators, MonitorView& uploadView, MonitorView& downloadView,
                MessageBox& messageBox);
    ~FormMonitor() override;

    void AddUploadEvent(const QString& text) override;
    void AddUploadLines(QByteArrayView utf8Lines) override;
    void AddDownloadEvent(const QString& text) override;
    void ClearUploadMonitor() override;
    void ClearDownloadMonitor() override;
    void ShowCounters(const RunCounters& counters) override;
    void SetStepIcon(Step step, StepIcon icon) override;
    void ShowMessage(const QString& text) override;
    void ShowInformation(const QString& text) override;
    bool AskOperator(const QString& question) override;

    // Shows what a run handed over: its lines in order, its step icons, its counters and
    // choices when it showed them, then its messages.
    void apply(const MonitorBatch& batch);

    // A run starts or ends; at its end every waiting line is shown.
    void setRunning(bool running);
    bool isRunning() const { return m_running; }
    // Shows every waiting line now, with the newest line of each box at its top.
    void showLines();

    MonitorModel& uploadModel() { return *m_uploadModel; }
    MonitorModel& downloadModel() { return *m_downloadModel; }

    // The least time between two showings of the waiting lines during a run, in milliseconds.
    static constexpr qint64 kShowInterval = 50;

private:
    void showCountersNow(const RunCounters& counters, const Choices* taken);
    void linesAdded();
    void publish(MonitorModel& model, MonitorView& view);
    void queueMessage(const QString& text, bool informational = false);
    void showQueuedMessages();

    struct QueuedMessage
    {
        QString text;
        int times = 1;
        bool informational = false;
    };

    FormIndicators m_indicators;
    MonitorView& m_uploadView;
    MonitorView& m_downloadView;
    MessageBox& m_messageBox;
    MonitorModel* m_uploadModel;
    MonitorModel* m_downloadModel;
    QTimer* m_showTimer;
    bool m_running = false;
    QElapsedTimer m_showClock;
    qint64 m_showGap = kShowInterval;
    std::deque<QueuedMessage> m_messages;
    bool m_showingMessage = false;
};
