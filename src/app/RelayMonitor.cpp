#include "RelayMonitor.h"

#include "options/ChoiceModel.h"

#include <QThread>

RelayMonitor::RelayMonitor(RunChannel& channel, Post post, const ChoiceModel* choices)
    : m_channel(channel), m_post(std::move(post)), m_choices(choices), m_batch(std::make_shared<MonitorBatch>())
{
}

void RelayMonitor::AddUploadLines(QByteArrayView utf8Lines)
{
    // Lines that come one after another share one text.
    std::vector<MonitorBatch::Line>& lines = m_batch->lines;
    if (lines.empty() || lines.back().kind != MonitorBatch::Kind::AddUploadUtf8)
        lines.push_back({MonitorBatch::Kind::AddUploadUtf8, QString(), QByteArray()});
    lines.back().utf8.append(utf8Lines);
    m_waitingBytes += utf8Lines.size();
    handOverIfWanted();
}

void RelayMonitor::ShowCounters(const RunCounters& counters)
{
    // Only the last counters of a batch reach the screen (an upload shows its counters twice
    // per QSO); the choices are taken when the batch is handed over.
    m_batch->countersShown = true;
    m_batch->counters = counters;
    handOverIfWanted();
}

void RelayMonitor::SetStepIcon(Step step, StepIcon icon)
{
    m_batch->icons.emplace_back(step, icon);
    handOverIfWanted();
}

void RelayMonitor::ShowInformation(const QString& text)
{
    m_batch->messages.append(text);
    m_batch->informational.push_back(true);
    handOver();
}

void RelayMonitor::ShowMessage(const QString& text)
{
    m_batch->messages.append(text);
    m_batch->informational.push_back(false);
    // A message is handed over at once: the operator should read it while the run goes on.
    handOver();
}

bool RelayMonitor::AskOperator(const QString& question)
{
    handOver();
    return m_ask ? m_ask(question) : false;
}

void RelayMonitor::handOver()
{
    m_channel.linesWanted.store(false, std::memory_order_relaxed);
    if (m_batch->isEmpty())
        return;
    // The window shows batches as fast as they come; should it fall behind (or be stuck), the
    // run waits rather than heaping up lines.
    while (m_channel.batchesInFlight.load() >= 2 && !m_channel.abandoned.load())
        QThread::msleep(2);
    if (m_batch->countersShown) {
        if (m_choices)
            m_batch->choices = m_choices->choices();
    }
    m_channel.batchesInFlight.fetch_add(1);
    m_waitingBytes = 0;
    std::shared_ptr<MonitorBatch> batch = std::move(m_batch);
    m_batch = std::make_shared<MonitorBatch>();
    m_batch->lines.reserve(batch->lines.size());
    m_post(std::move(batch));
}
