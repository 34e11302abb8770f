#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <memory>

class ChoiceModel;
class Desktop;
class EventMonitor;
class FormMonitor;
class QThread;
class RelayDesktop;
class RelayMonitor;
struct MonitorBatch;
struct RunChannel;

// Runs the form's operations, one at a time, on a worker thread of their own. The operation
// reports through a RelayMonitor, whose batches the form's monitor shows in order on the
// window's thread, and asks for the browser, the file viewer and the clipboard through a
// RelayDesktop. The operation opens (and closes) its own database connections on its thread.
// What the run leaves for the form (its counters, what its problem lines leave for the next
// run's) the operation hands back itself, through what it was started with.
class OperationRunner : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(EventMonitor& monitor, Desktop& desktop)>;

    OperationRunner(FormMonitor& form, Desktop& desktop, QObject* parent = nullptr);
    // Stops a run that is still going and waits for its end.
    ~OperationRunner() override;

    // Starts work on a worker thread; nothing when a run is going. choices: the choices the run
    // works on, shown with its counters.
    void startRun(Work work, const ChoiceModel* choices);
    // From startRun until finished() has been emitted.
    bool isRunning() const { return m_thread != nullptr; }

    // The operator's Stop: the operation sees it through StopRequested.
    void requestStop();
    bool stopRequested() const;
    // The run's progress as it last reported it, and the time since it started.
    qint64 progressDone() const;
    qint64 progressTotal() const;
    int progressStage() const;
    qint64 elapsedMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

    // Asks the run to hand over what it reported (the form does this a few times a second).
    void requestLines();

    // Stops the run and waits for its end without showing anything more of it: the window is
    // going away. finished() is not emitted.
    void abandon();

signals:
    // The run has ended and everything it reported has been shown.
    void finished();

private:
    void apply(unsigned run, const std::shared_ptr<MonitorBatch>& batch);
    void ended(unsigned run);
    void release();

    FormMonitor& m_form;
    Desktop& m_desktop;
    std::shared_ptr<RunChannel> m_channel;
    std::unique_ptr<RelayMonitor> m_relay;
    std::unique_ptr<RelayDesktop> m_relayDesktop;
    QThread* m_thread = nullptr;
    unsigned m_run = 0; // number of the current run; what an older one posts is dropped
    QElapsedTimer m_clock;
};
