#include "OperationRunner.h"

#include "FormMonitor.h"
#include "GuiRelay.h"
#include "RelayMonitor.h"

#include <QMetaObject>
#include <QThread>

OperationRunner::OperationRunner(FormMonitor& form, Desktop& desktop, QObject* parent)
    : QObject(parent), m_form(form), m_desktop(desktop)
{
}

OperationRunner::~OperationRunner()
{
    abandon();
}

void OperationRunner::startRun(Work work, const ChoiceModel* choices)
{
    if (m_thread)
        return;
    const unsigned run = ++m_run;
    m_channel = std::make_shared<RunChannel>();
    auto post = [this, run](std::shared_ptr<MonitorBatch> batch) {
        QMetaObject::invokeMethod(this, [this, run, batch] { apply(run, batch); }, Qt::QueuedConnection);
    };
    m_relay = std::make_unique<RelayMonitor>(*m_channel, post, choices);
    m_relayDesktop = std::make_unique<RelayDesktop>(m_desktop, this, m_channel->abandoned);
    // A question reaches the window after the batch handed over before it (both are queued to
    // this object), so the operator reads the run's lines first.
    m_relay->setAsk([this, channel = m_channel](const QString& question) {
        FormMonitor* form = &m_form;
        return CallOnThreadOf<bool>(this, channel->abandoned, [form, question] { return form->AskOperator(question); },
                                    false);
    });

    RelayMonitor* relay = m_relay.get();
    RelayDesktop* desktop = m_relayDesktop.get();
    m_thread = QThread::create([this, run, relay, desktop, work = std::move(work)] {
        try {
            work(*relay, *desktop);
        } catch (...) {
            // The operation reports its own failures; nothing may escape the thread.
            relay->ShowMessage(QStringLiteral("The operation stopped on an unexpected error."));
        }
        relay->handOver();
        QMetaObject::invokeMethod(this, [this, run] { ended(run); }, Qt::QueuedConnection);
    });
    m_thread->setObjectName(QStringLiteral("operation"));
    m_form.setRunning(true);
    m_clock.start();
    m_thread->start();
}

void OperationRunner::requestStop()
{
    if (m_thread)
        m_channel->stop.store(true);
}

bool OperationRunner::stopRequested() const
{
    return m_thread && m_channel->stop.load();
}

int OperationRunner::progressStage() const
{
    return m_thread ? m_channel->stage.load(std::memory_order_relaxed) : 0;
}

qint64 OperationRunner::progressDone() const
{
    return m_thread ? m_channel->done.load(std::memory_order_relaxed) : 0;
}

qint64 OperationRunner::progressTotal() const
{
    return m_thread ? m_channel->total.load(std::memory_order_relaxed) : 0;
}

void OperationRunner::requestLines()
{
    // A new batch is asked for only once the last one is shown: the window sets the pace.
    if (m_thread && m_channel->batchesInFlight.load() == 0)
        m_channel->linesWanted.store(true, std::memory_order_relaxed);
}

void OperationRunner::apply(unsigned run, const std::shared_ptr<MonitorBatch>& batch)
{
    if (run != m_run || !m_thread)
        return;
    m_channel->batchesInFlight.fetch_sub(1);
    m_form.apply(*batch);
}

void OperationRunner::ended(unsigned run)
{
    if (run != m_run || !m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    release();
    m_form.setRunning(false);
    emit finished();
}

void OperationRunner::release()
{
    m_relay.reset();
    m_relayDesktop.reset();
}

void OperationRunner::abandon()
{
    if (!m_thread)
        return;
    m_channel->stop.store(true);
    m_channel->abandoned.store(true);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    ++m_run; // what the run posted is not shown any more
    release();
    m_form.setRunning(false);
}
