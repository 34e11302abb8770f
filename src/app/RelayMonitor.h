#pragma once

#include "options/Choices.h"
#include "platform/EventMonitor.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class ChoiceModel;

// What a run reported since its last hand-over to the window: the monitor lines and clears in
// the order they came, step icons, the counters as last shown and the choices as they stand
// at the hand-over, and messages.
struct MonitorBatch
{
    enum class Kind : quint8 { AddUpload, AddDownload, ClearUpload, ClearDownload, AddUploadUtf8 };
    struct Line
    {
        Kind kind;
        QString text;
        QByteArray utf8; // AddUploadUtf8: upload lines as UTF-8, each ended by CR LF
    };
    std::vector<Line> lines;
    std::vector<std::pair<Step, StepIcon>> icons; // in order
    bool countersShown = false;                   // ShowCounters was called: show counters (and choices)
    RunCounters counters;                         // as last shown
    std::optional<Choices> choices;
    QStringList messages;
    std::vector<bool> informational; // by message: one that tells of something done

    bool isEmpty() const { return lines.empty() && icons.empty() && !countersShown && messages.isEmpty(); }
};

// What the window and a run's worker thread share. Each flag is set by one side only.
struct RunChannel
{
    std::atomic<bool> stop{false};        // window: the operator asked to stop the run
    std::atomic<bool> linesWanted{false}; // window: hand over what is waiting
    std::atomic<bool> abandoned{false};   // window: it is going away; don't wait for it
    std::atomic<int> batchesInFlight{0};  // handed over, not yet shown
    std::atomic<qint64> done{0};          // worker: the run's progress
    std::atomic<qint64> total{0};
    std::atomic<int> stage{0};            // worker: the RunStage it is in
};

// The event monitor of an operation that runs on a worker thread. Everything it is told is
// kept in order in a batch, which goes to the window when the window asks for it (a few times
// a second) and at the end of the run; the window shows it there. So the operation reports as
// it does everywhere else, touches no widget, and is never held up by the window: a message
// box it raises is shown by the window while the operation goes on (a modal box must not keep
// a transaction of the run open for as long as it is open).
//
// The stop flag and the progress are read and written directly, without a batch.
class RelayMonitor : public EventMonitor
{
public:
    using Post = std::function<void(std::shared_ptr<MonitorBatch>)>;
    // Asks the operator on the window's thread and waits for the answer.
    using Ask = std::function<bool(const QString&)>;
    // Lines that may wait before they are handed over without being asked for; beyond two
    // such batches in flight the run waits for the window (memory stays bounded).
    static constexpr size_t kMaxWaitingLines = 500000;
    // The same for upload lines that come as UTF-8 (some twenty bytes a line).
    static constexpr qsizetype kMaxWaitingBytes = 16 << 20;

    // post hands a batch to the window (it is called on the worker thread). choices: shown
    // with the counters, as the form's refresh shows them.
    RelayMonitor(RunChannel& channel, Post post, const ChoiceModel* choices);

    void AddUploadEvent(const QString& text) override { add(MonitorBatch::Kind::AddUpload, text); }
    void AddUploadLines(QByteArrayView utf8Lines) override;
    void AddDownloadEvent(const QString& text) override { add(MonitorBatch::Kind::AddDownload, text); }
    void ClearUploadMonitor() override { add(MonitorBatch::Kind::ClearUpload, QString()); }
    void ClearDownloadMonitor() override { add(MonitorBatch::Kind::ClearDownload, QString()); }
    void ShowCounters(const RunCounters& counters) override;
    void SetStepIcon(Step step, StepIcon icon) override;
    void ShowMessage(const QString& text) override;
    void ShowInformation(const QString& text) override;
    // The question comes after everything reported before it has been handed over.
    bool AskOperator(const QString& question) override;
    void setAsk(Ask ask) { m_ask = std::move(ask); }
    void PumpMessages() override { handOverIfWanted(); }
    bool StopRequested() const override { return m_channel.stop.load(std::memory_order_relaxed); }
    void ReportStage(RunStage stage) override
    {
        m_channel.done.store(0, std::memory_order_relaxed);
        m_channel.total.store(0, std::memory_order_relaxed);
        m_channel.stage.store(int(stage), std::memory_order_relaxed);
        handOverIfWanted();
    }
    void ReportProgress(qint64 done, qint64 total) override
    {
        m_channel.done.store(done, std::memory_order_relaxed);
        m_channel.total.store(total, std::memory_order_relaxed);
        handOverIfWanted();
    }

    // Hands over whatever is waiting (the end of the run calls it).
    void handOver();

private:
    void add(MonitorBatch::Kind kind, const QString& text)
    {
        m_batch->lines.push_back({kind, text, QByteArray()});
        handOverIfWanted();
    }
    void handOverIfWanted()
    {
        if (m_channel.linesWanted.load(std::memory_order_relaxed) || m_batch->lines.size() >= kMaxWaitingLines
            || m_waitingBytes >= kMaxWaitingBytes)
            handOver();
    }

    RunChannel& m_channel;
    Post m_post;
    Ask m_ask;
    const ChoiceModel* m_choices;
    std::shared_ptr<MonitorBatch> m_batch;
    qsizetype m_waitingBytes = 0; // UTF-8 upload lines in the batch
};
