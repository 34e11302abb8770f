#include "FormMonitor.h"

#include "CBrindlewickView.h"
#include "MonitorModel.h"
#include "MonitorView.h"
#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

FormMonitor::FormMonitor(CBrindlewickView& view, MonitorView& uploadView, MonitorView& downloadView,
                         MessageBox& messageBox)
    : m_view(view),
      m_uploadView(uploadView),
      m_downloadView(downloadView),
      m_messageBox(messageBox),
      m_uploadModel(new MonitorModel(&uploadView)),
      m_downloadModel(new MonitorModel(&downloadView))
{
    m_uploadView.setModel(m_uploadModel);
    m_downloadView.setModel(m_downloadModel);
}

FormMonitor::~FormMonitor() = default;

void FormMonitor::AddUploadEvent(const QString& text)
{
    if (m_uploadModel->append(text))
        lineAdded();
}

void FormMonitor::AddDownloadEvent(const QString& text)
{
    if (m_downloadModel->append(text))
        lineAdded();
}

void FormMonitor::ClearUploadMonitor()
{
    m_uploadModel->clear();
}

void FormMonitor::ClearDownloadMonitor()
{
    m_downloadModel->clear();
}

void FormMonitor::ShowCounters()
{
    // An import refreshes the counters a few times per record: while an operation runs they
    // reach the form with the next pump (a few times a second), and all of them at its end.
    if (m_running) {
        m_countersPending = true;
        PumpMessages();
        return;
    }
    showCountersNow();
}

void FormMonitor::showCountersNow()
{
    m_countersPending = false;
    for (const auto& [controlId, value] : counters()) {
        if (auto* label = qobject_cast<QLabel*>(m_view.control(controlId)))
            label->setText(QString::asprintf("%ld", value));
    }
    m_view.showChoices();
}

void FormMonitor::SetStepIcon(int controlId, int icon)
{
    m_view.setStepIcon(controlId, icon);
}

void FormMonitor::ShowMessage(const QString& text)
{
    m_messageBox.show(text);
}

void FormMonitor::PumpMessages()
{
    if (m_pumpClock.isValid() && m_pumpClock.elapsed() < kPumpInterval)
        return;
    if (!m_showClock.isValid() || m_showClock.elapsed() >= m_showGap)
        showLines();
    if (m_countersPending)
        showCountersNow();
    QCoreApplication::processEvents();
    m_pumpClock.start();
}

void FormMonitor::setRunning(bool running)
{
    if (!running && m_countersPending)
        showCountersNow();
    m_running = running;
    m_stopRequested = false;
    m_pumpClock.invalidate();
    m_showGap = kPumpInterval;
}

void FormMonitor::showLines()
{
    QElapsedTimer cost;
    cost.start();
    publish(*m_uploadModel, m_uploadView);
    publish(*m_downloadModel, m_downloadView);
    // A box of a million lines takes a while to lay out; wait long enough between two batches
    // that this stays a small share of the run.
    m_showGap = qMax(kPumpInterval, 16 * cost.elapsed());
    m_showClock.start();
}

void FormMonitor::publish(MonitorModel& model, MonitorView& view)
{
    if (model.publish() > 0)
        view.scrollToLast();
}

void FormMonitor::lineAdded()
{
    if (m_running) {
        PumpMessages();
        return;
    }
    if (!m_showPosted) {
        m_showPosted = true;
        QTimer::singleShot(0, &m_uploadView, [this] {
            m_showPosted = false;
            showLines();
        });
    }
}
